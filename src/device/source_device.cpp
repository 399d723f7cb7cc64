#include "device/source_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "device/image_backend.h"

namespace orvane {

std::unique_ptr<FileBackend> FileBackend::Open(const std::string& path) {
  if (path.empty()) return nullptr;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<FileBackend>(new FileBackend(fd));
}

FileBackend::~FileBackend() { ::close(fd_); }

int64_t FileBackend::ReadAt(int64_t offset, void* buffer, size_t length) {
  if (offset < 0) return -1;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  // A regular file or block device returns short only at its end; keep asking
  // so that an interrupted call is not mistaken for one.
  while (done < length) {
    ssize_t n = ::pread(fd_, out + done, length - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t DescriptorLength(int fd) {
  struct stat st{};
  if (::fstat(fd, &st) != 0) return -1;
  if (S_ISBLK(st.st_mode)) {
    uint64_t bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) return -1;
    return static_cast<int64_t>(bytes);
  }
  return st.st_size;
}

int64_t FileBackend::Size() { return DescriptorLength(fd_); }

void SourceDevice::Open(const DeviceInfo& device, uint32_t /*access*/) {
  Close();
  if (device.kind != kDeviceKindPhysical && device.kind != kDeviceKindImage) {
    status_ = kStatusFailed;
    return;
  }
  if (device.backend && *device.backend) {
    backend_ = (*device.backend)();
  } else if (device.kind == kDeviceKindImage) {
    backend_ = OpenImageBackend(device.OpenPath());
  } else {
    backend_ = FileBackend::Open(device.OpenPath());
  }
  if (!backend_) {
    status_ = kStatusFailed;
    return;
  }
  kind_ = device.kind;
}

void SourceDevice::Close() {
  backend_.reset();
  kind_ = kDeviceKindNone;
}

int64_t SourceDevice::Size() {
  if (!backend_) return 0;
  int64_t s = backend_->Size();
  return s > 0 ? s : 0;
}

// One underlying read. It fails when the backend fails or returns nothing; a
// short read counts as success and leaves the rest of the buffer as it was.
bool SourceDevice::ReadRaw(int64_t offset, uint8_t* buffer, size_t length) {
  if (!backend_ || offset < 0) return false;
  return backend_->ReadAt(offset, buffer, length) > 0;
}

void SourceDevice::Read(int64_t offset, void* buffer, int32_t length) {
  status_ = kStatusOk;
  auto fail = [&] {
    status_ = kStatusFailed;
    failed_offset_ = offset;
  };
  if (!backend_ || length < 0 || offset < 0) {
    fail();
    return;
  }
  if (length == 0) return;
  auto* out = static_cast<uint8_t*>(buffer);
  const size_t len = static_cast<size_t>(length);

  if (offset % kSectorSize == 0 && len % kSectorSize == 0) {
    if (!ReadRaw(offset, out, len)) fail();
    return;
  }

  uint8_t sector[kSectorSize];
  size_t copied = 0;
  int64_t position = offset;
  const int64_t rem = offset % kSectorSize;
  if (rem != 0) {
    std::memset(sector, 0, sizeof sector);
    const int64_t sector_start = offset - rem;
    if (!ReadRaw(sector_start, sector, kSectorSize)) return fail();
    copied = std::min<size_t>(kSectorSize - static_cast<size_t>(rem), len);
    std::memcpy(out, sector + rem, copied);
    position = sector_start + kSectorSize;
  }

  const size_t remaining = len - copied;
  const size_t tail = remaining % kSectorSize;
  const size_t middle = remaining - tail;
  if (middle > 0) {
    std::vector<uint8_t> temp(middle, 0);
    if (!ReadRaw(position, temp.data(), middle)) return fail();
    std::memcpy(out + copied, temp.data(), middle);
    copied += middle;
    position += static_cast<int64_t>(middle);
  }

  if (tail > 0) {
    std::memset(sector, 0, sizeof sector);
    if (!ReadRaw(position, sector, kSectorSize)) return fail();
    std::memcpy(out + copied, sector, tail);
  }
}

}  // namespace orvane
