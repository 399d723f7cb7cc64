#pragma once
// Expert Witness images (E01, E02, ...: a set of segment files holding the
// acquired medium in checksummed, possibly compressed chunks) read through
// libewf as one medium, by absolute byte offset of the acquired disk.
//
// Bytes the image cannot vouch for read as failed, exactly like a bad
// sector of a drive (a request that touches them fails as a whole): chunks
// whose checksum or decompression fails, and the sectors the imager itself
// recorded as unreadable.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/byte_range.h"
#include "device/device_info.h"

namespace orvane {

class EwfBackend final : public ReadBackend {
 public:
  // Whether the file at `path` starts with an EWF segment signature.
  static bool IsEwfFile(const std::string& path);
  // Opens the segment set `path` belongs to (any of its segment files may be
  // given; the others are found by their names). Null on failure, with the
  // reason in `problem` when it is given.
  static std::unique_ptr<EwfBackend> Open(const std::string& path, std::string* problem = nullptr);
  ~EwfBackend() override;
  EwfBackend(const EwfBackend&) = delete;
  EwfBackend& operator=(const EwfBackend&) = delete;

  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override;
  int64_t Size() override { return media_size_; }

 private:
  struct Handle;
  explicit EwfBackend(std::unique_ptr<Handle> handle);
  // Reads from libewf without looking at checksums; bytes read or -1 (a
  // chunk that cannot be decompressed fails the whole request).
  int64_t ReadChunks(int64_t offset, uint8_t* out, size_t length);
  // Start of the first unreadable byte in [offset, offset + length), or -1.
  int64_t FirstUnreadable(int64_t offset, int64_t length);

  std::unique_ptr<Handle> handle_;
  int64_t media_size_ = 0;
  int64_t sector_bytes_ = kSectorSize;
  // The sectors the imager could not read, as the image lists them.
  std::vector<ByteRange> acquiry_errors_;
  // One libewf handle is not safe to read from two threads at once.
  std::mutex mu_;
};

}  // namespace orvane
