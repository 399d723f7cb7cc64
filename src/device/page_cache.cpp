#include "device/page_cache.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace orvane {

namespace {
// How many of the pages of [offset, offset + length) the page cache holds,
// or -1 where the kernel cannot say (before Linux 6.5).
int64_t CachedPages(int fd, int64_t offset, int64_t length) {
#ifdef __linux__
  // The same number on every architecture; older headers lack its name.
  constexpr long kCachestat = 451;
  struct {
    uint64_t off, len;
  } range{static_cast<uint64_t>(offset), static_cast<uint64_t>(length)};
  struct {
    uint64_t nr_cache, nr_dirty, nr_writeback, nr_evicted, nr_recently_evicted;
  } stat{};
  if (::syscall(kCachestat, fd, &range, &stat, 0) == 0) return static_cast<int64_t>(stat.nr_cache);
#else
  (void)fd;
  (void)offset;
  (void)length;
#endif
  return -1;
}
}  // namespace

bool RangeResident(int fd, int64_t offset, int64_t length) {
  static const int64_t page = std::max<long>(::sysconf(_SC_PAGESIZE), 1);
  if (length <= 0 || offset < 0) return false;
  const int64_t pages = (offset + length - 1) / page - offset / page + 1;
  return CachedPages(fd, offset, length) == pages;
}

}  // namespace orvane
