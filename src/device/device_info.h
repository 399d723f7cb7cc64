#pragma once
// One drive or image of the device list.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

inline constexpr int32_t kDeviceKindNone = 0;
inline constexpr int32_t kDeviceKindPhysical = 2;
inline constexpr int32_t kDeviceKindImage = 3;
inline constexpr int32_t kSectorSize = 512;

// The bytes behind an opened device. The real one reads a file descriptor;
// tests put doubles here to record requests or simulate bad sectors.
class ReadBackend {
 public:
  virtual ~ReadBackend() = default;
  // Reads up to `length` bytes at `offset`: bytes read, 0 at the end, -1 on error.
  virtual int64_t ReadAt(int64_t offset, void* buffer, size_t length) = 0;
  // Byte length of the medium, or -1 when unknown.
  virtual int64_t Size() = 0;
  // Asks for [offset, offset + length) to be fetched in the background,
  // ahead of the reads that will want it; a hint that may be ignored.
  virtual void Prefetch(int64_t /*offset*/, int64_t /*length*/) {}
  // Whether all of [offset, offset + length) is known to be in memory
  // already, so that asking for it would only cost the asking.
  virtual bool Resident(int64_t /*offset*/, int64_t /*length*/) { return false; }
  // How far the kernel reads ahead of a stream on this medium by itself, in
  // bytes; -1 when not known.
  virtual int64_t KernelReadAhead() { return -1; }
  // After a failed read: the kernel is to read nothing beyond what is asked.
  virtual void StopReadAhead() {}
};

using BackendFactory = std::function<std::unique_ptr<ReadBackend>()>;

struct PartitionDetails;  // per-file-system derived positions (partitions.h)

struct PartitionRecord {
  int32_t kind = 0;   // file-system code; 0 until a probe succeeds
  int32_t unit = 0;   // bytes per sector of the file system
  int64_t start = 0;  // byte offset on the device
  int64_t length = 0;
  std::string name;   // "Partition%d", or the mount point that holds it
  std::string label;  // kept empty
  std::shared_ptr<const PartitionDetails> details;
};

struct DeviceInfo {
  std::string name;    // drive: vendor + model + revision; image: full path
  std::string serial;  // drive: serial without spaces; image: the second text
  int32_t sector_size = kSectorSize;
  int32_t number = -1;  // drive: its number; image: device count × 10 when added
  int32_t kind = kDeviceKindNone;
  int64_t size = 0;
  std::vector<PartitionRecord> partitions;

  // Where the bytes are: the /dev node of a drive, the file of an image.
  // Empty for an image means `name`.
  std::string path;
  // When set, the device opens through this instead of `path` (test doubles).
  std::shared_ptr<const BackendFactory> backend;

  const std::string& OpenPath() const { return path.empty() ? name : path; }
};

}  // namespace orvane
