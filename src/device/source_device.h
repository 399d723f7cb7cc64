#pragma once
// The one way the program reads a disk: by absolute byte offset, read-only.
// After every call the status is kStatusOk or kStatusFailed; the reader never
// reports anything itself.

#include <cstdint>
#include <memory>

#include "device/background_prefetch.h"
#include "device/device_info.h"
#include "device/sequential_prefetch.h"

namespace orvane {

inline constexpr int32_t kStatusOk = 50002;
inline constexpr int32_t kStatusFailed = 50003;
inline constexpr uint32_t kGenericRead = 0x80000000u;

// Byte length of an open regular file, or a block device's capacity; -1
// when it cannot be learned.
int64_t DescriptorLength(int fd);

// The real backend: pread on a descriptor opened O_RDONLY | O_CLOEXEC.
class FileBackend final : public ReadBackend {
 public:
  // Returns null when the path cannot be opened.
  static std::unique_ptr<FileBackend> Open(const std::string& path);
  ~FileBackend() override;
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override;
  int64_t Size() override;
  void Prefetch(int64_t offset, int64_t length) override;
  bool Resident(int64_t offset, int64_t length) override;
  int64_t KernelReadAhead() override;
  void StopReadAhead() override;

 private:
  explicit FileBackend(int fd) : fd_(fd) {}
  int fd_;
};

// The bytes behind a drive or an image of the device list, read-only: the
// test double when one is set, else the drive, the image file or the pieces
// of a split or E01 image. Null when it cannot be opened.
std::unique_ptr<ReadBackend> OpenDeviceBackend(const DeviceInfo& device);

class SourceDevice {
 public:
  SourceDevice() = default;
  ~SourceDevice() { Close(); }
  SourceDevice(const SourceDevice&) = delete;
  SourceDevice& operator=(const SourceDevice&) = delete;

  // Opens the drive or image the device names. Only read access exists; the
  // mask is kept for callers that pass one.
  void Open(const DeviceInfo& device, uint32_t access = kGenericRead);
  // Reads `length` bytes at `offset` into `buffer`. Aligned requests are one
  // read; others go through a head sector, a middle run and a tail sector.
  // A read that reaches past the end of the medium succeeds with the bytes
  // up to the end; one that stops short inside the medium (a bad sector)
  // fails, and the bytes before the bad spot stay in the buffer. What lies
  // behind `read_length()` is left as it was.
  void Read(int64_t offset, void* buffer, int32_t length);
  // Byte length of the open medium (image file or drive), or 0 when unknown.
  int64_t Size();
  void Close();
  // Reads from here on ask the kernel for nothing ahead of them: for a
  // second reader of a stream that another device already keeps fetched.
  void ReadNothingAhead() { prefetch_.Stop(); }

  int32_t status() const { return status_; }
  bool ok() const { return status_ == kStatusOk; }
  int64_t failed_offset() const { return failed_offset_; }
  // Bytes at the start of the buffer that the last Read filled from the
  // medium: all of them after a full read, fewer at the end of the medium
  // or in front of an unreadable spot.
  int32_t read_length() const { return read_length_; }
  int32_t kind() const { return kind_; }
  bool is_open() const { return kind_ != kDeviceKindNone; }

 private:
  size_t ReadRaw(int64_t offset, uint8_t* buffer, size_t length, bool& failed);
  void ReadUnaligned(int64_t offset, uint8_t* out, size_t length, bool& failed);

  int32_t status_ = kStatusOk;
  int64_t failed_offset_ = 0;
  int32_t read_length_ = 0;
  int32_t kind_ = kDeviceKindNone;
  std::unique_ptr<ReadBackend> backend_;
  SequentialPrefetch prefetch_;
  std::unique_ptr<BackgroundPrefetch> prefetcher_;  // ends before the backend
  int64_t medium_size_ = -1;                        // learned at the first stream
  bool kernel_read_ahead_stopped_ = false;          // after a failed read
};

}  // namespace orvane
