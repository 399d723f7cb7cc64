#include "device/kernel_read_ahead.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <charconv>

namespace orvane {

namespace {

// Anything larger is not a setting but a misreading.
constexpr int64_t kMostKiB = int64_t{1} << 30;

// The number in a sysfs attribute of a few bytes, or -1.
int64_t ReadKiB(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[32];
  const ssize_t n = ::read(fd, text, sizeof text);
  ::close(fd);
  if (n <= 0) return -1;
  int64_t kib = -1;
  const auto [end, error] = std::from_chars(text, text + n, kib);
  if (error != std::errc() || (end != text + n && *end != '\n') || kib < 0 || kib > kMostKiB)
    return -1;
  return kib * 1024;
}

int64_t FromStat(int fd, const struct stat& st) {
  if (S_ISBLK(st.st_mode)) {
    long sectors = 0;
    if (fd < 0 || ::ioctl(fd, BLKRAGET, &sectors) != 0 || sectors < 0 || sectors > kMostKiB * 2)
      return -1;
    return static_cast<int64_t>(sectors) * 512;
  }
  if (!S_ISREG(st.st_mode)) return -1;
  return FileSystemReadAhead(st.st_dev);
}

}  // namespace

int64_t BlockDeviceReadAhead(const std::string& sys_root, unsigned major, unsigned minor) {
  const std::string device =
      sys_root + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  if (const int64_t bytes = ReadKiB(device + "/queue/read_ahead_kb"); bytes >= 0) return bytes;
  // A partition's directory lies inside its disk's.
  return ReadKiB(device + "/../queue/read_ahead_kb");
}

int64_t KernelReadAhead(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
  return FromStat(fd, st);
}

int64_t FileSystemReadAhead(uint64_t st_dev) {
  return BlockDeviceReadAhead("/sys", major(st_dev), minor(st_dev));
}

void StopKernelReadAhead(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM); }

}  // namespace orvane
