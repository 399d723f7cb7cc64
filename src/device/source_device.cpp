#include "device/source_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "device/image_backend.h"
#include "device/kernel_read_ahead.h"
#include "device/page_cache.h"
#include "device/path_kind.h"

namespace orvane {

std::unique_ptr<FileBackend> FileBackend::Open(const std::string& path) {
  if (!IsMediumPath(path)) return nullptr;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<FileBackend>(new FileBackend(fd));
}

FileBackend::~FileBackend() { ::close(fd_); }

int64_t FileBackend::ReadAt(int64_t offset, void* buffer, size_t length) {
  if (offset < 0) return -1;
  // A short count is handed on as it is: only the next call can tell the end
  // of the medium (0) from a bad sector (EIO), and SourceDevice makes it.
  for (;;) {
    const ssize_t n = ::pread(fd_, buffer, length, offset);
    if (n >= 0) return static_cast<int64_t>(n);
    if (errno != EINTR) return -1;
  }
}

int64_t DescriptorLength(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  if (S_ISBLK(st.st_mode)) {
    uint64_t bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) return -1;
    return static_cast<int64_t>(bytes);
  }
  return st.st_size;
}

int64_t FileBackend::Size() { return DescriptorLength(fd_); }

void FileBackend::Prefetch(int64_t offset, int64_t length) {
  // Queues the reads and returns.
  ::posix_fadvise(fd_, offset, length, POSIX_FADV_WILLNEED);
}

bool FileBackend::Resident(int64_t offset, int64_t length) {
  return RangeResident(fd_, offset, length);
}

int64_t FileBackend::KernelReadAhead() { return orvane::KernelReadAhead(fd_); }

void FileBackend::StopReadAhead() { StopKernelReadAhead(fd_); }

std::unique_ptr<ReadBackend> OpenDeviceBackend(const DeviceInfo& device) {
  if (device.kind != kDeviceKindPhysical && device.kind != kDeviceKindImage) return nullptr;
  if (device.backend && *device.backend) return (*device.backend)();
  // An image may come in pieces (split raw, E01 segments) behind one path.
  if (device.kind == kDeviceKindImage) return OpenImageBackend(device.OpenPath());
  return FileBackend::Open(device.OpenPath());
}

void SourceDevice::Open(const DeviceInfo& device, uint32_t /*access*/) {
  Close();
  if (device.kind != kDeviceKindPhysical && device.kind != kDeviceKindImage) {
    status_ = kStatusFailed;
    return;
  }
  backend_ = OpenDeviceBackend(device);
  if (!backend_) {
    status_ = kStatusFailed;
    return;
  }
  kind_ = device.kind;
  prefetch_.KernelReadsAhead(backend_->KernelReadAhead());
}

void SourceDevice::Close() {
  prefetcher_.reset();
  backend_.reset();
  kind_ = kDeviceKindNone;
  prefetch_ = SequentialPrefetch();
  medium_size_ = -1;
  kernel_read_ahead_stopped_ = false;
}

int64_t SourceDevice::Size() {
  if (!backend_) return 0;
  int64_t s = backend_->Size();
  return s > 0 ? s : 0;
}

// Reads [offset, offset + length) with as many backend calls as it takes.
// A call may come back short without being at the end: on Linux a read that
// meets a bad sector returns the bytes before it, and only the next call
// fails. So a short count is followed up, and the read ends either at the end
// of the medium (a call returning 0) or at a failure (`failed`). Returns the
// bytes read.
size_t SourceDevice::ReadRaw(int64_t offset, uint8_t* buffer, size_t length, bool& failed) {
  failed = false;
  size_t done = 0;
  while (done < length) {
    const int64_t n =
        backend_->ReadAt(offset + static_cast<int64_t>(done), buffer + done, length - done);
    if (n < 0) {
      failed = true;
      break;
    }
    if (n == 0) break;
    done += std::min(static_cast<size_t>(n), length - done);
  }
  return done;
}

void SourceDevice::Read(int64_t offset, void* buffer, int32_t length) {
  status_ = kStatusOk;
  read_length_ = 0;
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

  bool failed = false;
  if (offset % kSectorSize == 0 && len % kSectorSize == 0) {
    read_length_ = static_cast<int32_t>(ReadRaw(offset, out, len, failed));
  } else {
    ReadUnaligned(offset, out, len, failed);
  }
  // Nothing at all is a failure too: the request lies past the end.
  if (failed || read_length_ == 0) {
    fail();
    if (failed) {
      prefetch_.Stop();
      if (!kernel_read_ahead_stopped_) backend_->StopReadAhead();
      kernel_read_ahead_stopped_ = true;
    }
    return;
  }
  if (medium_size_ < 0 && len >= static_cast<size_t>(SequentialPrefetch::kStreamRead))
    medium_size_ = std::max<int64_t>(backend_->Size(), 0);
  const ByteRange next = prefetch_.AfterRead(offset, read_length_, medium_size_);
  if (next.empty()) return;
  if (!prefetcher_) prefetcher_ = std::make_unique<BackgroundPrefetch>(*backend_);
  prefetcher_->Ask(next);
}

// A head sector, a middle run read straight into the caller's buffer, a tail
// sector. Each part is read only when the one before it was whole, so that
// `read_length_` always counts one unbroken run from the buffer's start.
void SourceDevice::ReadUnaligned(int64_t offset, uint8_t* out, size_t length, bool& failed) {
  uint8_t sector[kSectorSize];
  size_t copied = 0;
  int64_t position = offset;
  auto done = [&] { read_length_ = static_cast<int32_t>(copied); };

  const auto rem = static_cast<size_t>(offset % kSectorSize);
  if (rem != 0) {
    std::memset(sector, 0, sizeof sector);
    const int64_t sector_start = offset - static_cast<int64_t>(rem);
    const size_t got = ReadRaw(sector_start, sector, kSectorSize, failed);
    const size_t want = std::min<size_t>(kSectorSize - rem, length);
    copied = std::min(got > rem ? got - rem : 0, want);
    std::memcpy(out, sector + rem, copied);
    if (copied < want) return done();
    failed = false;  // whatever failed lay outside the request
    position = sector_start + kSectorSize;
  }

  const size_t remaining = length - copied;
  const size_t tail = remaining % kSectorSize;
  const size_t middle = remaining - tail;
  if (middle > 0) {
    const size_t got = ReadRaw(position, out + copied, middle, failed);
    copied += got;
    if (failed || got < middle) return done();
    position += static_cast<int64_t>(middle);
  }

  if (tail > 0) {
    std::memset(sector, 0, sizeof sector);
    const size_t got = ReadRaw(position, sector, kSectorSize, failed);
    const size_t n = std::min(got, tail);
    std::memcpy(out + copied, sector, n);
    copied += n;
    if (n == tail) failed = false;
  }
  done();
}

}  // namespace orvane
