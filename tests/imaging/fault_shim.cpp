// A preload library that makes one file read like a disk with bad sectors,
// for comparing the rescue copy with other imaging programs on the very same
// faults. ORVANE_FAULT_FILE names the file; ORVANE_FAULT_SECTORS lists bad
// 512-byte sectors as "first+count,first+count". As on Linux, a read that
// meets a bad sector returns the bytes before it, and a read that starts in
// one fails with EIO.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

#define MAX_FDS 4096
#define MAX_RANGES 4096

unsigned char faulty_fd[MAX_FDS];
int64_t bad_begin[MAX_RANGES], bad_end[MAX_RANGES];
int bad_count = -1;
char fault_path[PATH_MAX];

void load_plan(void) {
  if (bad_count >= 0) return;
  bad_count = 0;
  const char* file = getenv("ORVANE_FAULT_FILE");
  if (!file || !realpath(file, fault_path)) fault_path[0] = 0;
  const char* list = getenv("ORVANE_FAULT_SECTORS");
  while (list && *list && bad_count < MAX_RANGES) {
    char* end = nullptr;
    const long long first = strtoll(list, &end, 10);
    if (end == list) break;
    long long count = 1;
    if (*end == '+') count = strtoll(end + 1, &end, 10);
    bad_begin[bad_count] = static_cast<int64_t>(first) * 512;
    bad_end[bad_count] = static_cast<int64_t>(first + count) * 512;
    ++bad_count;
    if (*end != ',') break;
    list = end + 1;
  }
}

void note_open(int fd, const char* path) {
  load_plan();
  if (fd < 0 || fd >= MAX_FDS) return;
  char real[PATH_MAX];
  faulty_fd[fd] = fault_path[0] && realpath(path, real) && strcmp(real, fault_path) == 0;
}

// How many bytes from `pos` may be read before a bad sector; -1 when `pos`
// lies in one.
int64_t readable_from(int64_t pos, size_t count) {
  int64_t limit = static_cast<int64_t>(count);
  for (int i = 0; i < bad_count; ++i) {
    if (pos >= bad_begin[i] && pos < bad_end[i]) return -1;
    if (bad_begin[i] > pos && bad_begin[i] - pos < limit) limit = bad_begin[i] - pos;
  }
  return limit;
}

#define REAL(name) (reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name)))

int open_mode(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, int) : 0;
}

bool is_faulty(int fd) { return fd >= 0 && fd < MAX_FDS && faulty_fd[fd]; }

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = open_mode(flags, ap);
  va_end(ap);
  const int fd = REAL(open)(path, flags, mode);
  note_open(fd, path);
  return fd;
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = open_mode(flags, ap);
  va_end(ap);
  const int fd = REAL(open64)(path, flags, mode);
  note_open(fd, path);
  return fd;
}

int __open_2(const char* path, int flags) { return open(path, flags); }
int __open64_2(const char* path, int flags) { return open64(path, flags); }

int openat(int dir, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int mode = open_mode(flags, ap);
  va_end(ap);
  const int fd = REAL(openat)(dir, path, flags, mode);
  note_open(fd, path);
  return fd;
}

int close(int fd) {
  if (fd >= 0 && fd < MAX_FDS) faulty_fd[fd] = 0;
  return REAL(close)(fd);
}

ssize_t read(int fd, void* buf, size_t count) {
  if (is_faulty(fd) && count > 0) {
    const int64_t allowed = readable_from(lseek(fd, 0, SEEK_CUR), count);
    if (allowed < 0) {
      errno = EIO;
      return -1;
    }
    count = static_cast<size_t>(allowed);
  }
  return REAL(read)(fd, buf, count);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  if (is_faulty(fd) && count > 0) {
    const int64_t allowed = readable_from(offset, count);
    if (allowed < 0) {
      errno = EIO;
      return -1;
    }
    count = static_cast<size_t>(allowed);
  }
  return REAL(pread)(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
  return pread(fd, buf, count, offset);
}

}  // extern "C"
