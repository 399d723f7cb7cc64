#pragma once
// Boli recorder disks: frames with a 20-byte header carved from the raw
// region, one 17-byte task record per frame that another frame follows.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "device/scan_bytes.h"
#include "scan/scan_parameters.h"

namespace orvane {

class SourceDevice;
class TaskWriter;

// Fields of a Boli time word, year in the lowest bits.
bool IsValidReversedTime(uint32_t value);
// The same fields moved to PackedTime positions: a key that sorts by time.
uint32_t ReversedToPacked(uint32_t value);
// The disk header of the first sector (512 bytes).
bool IsBoliHeader(std::span<const uint8_t> sector);

inline constexpr size_t kBoliFrameHeaderSize = 20;
inline constexpr uint32_t kBoliMinPayload = 16;
inline constexpr uint32_t kBoliMaxPayload = 0x800000;
// The 20 bytes at `p` form a frame header (payload length, time, start code).
bool IsBoliFrameHeader(const uint8_t* p);

struct BoliFrameRecord {
  uint8_t channel = 0;
  uint32_t size = 0;  // payload + 16
  uint32_t time = 0;  // reversed packed time
  uint64_t offset = 0;
  bool operator==(const BoliFrameRecord&) const = default;
};
inline constexpr size_t kBoliRecordSize = 17;
void EncodeBoliRecord(const BoliFrameRecord& r, uint8_t* out);
BoliFrameRecord DecodeBoliRecord(const uint8_t* in);

// The frames found and not yet written: up to half a million, on large
// pages (see ScanAllocator).
using BoliFrames = std::vector<BoliFrameRecord, ScanAllocator<BoliFrameRecord>>;

class BoliEngine {
 public:
  static constexpr int64_t kStep = 0x200000;
  static constexpr int32_t kReadSize = 0x200200;
  static constexpr size_t kFlushAt = 500'000;
  // A recording is closed after the frame that takes it past this size.
  static constexpr int64_t kGroupLimit = 0x3FFFFFFF;

  explicit BoliEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);

  // Scans one buffer read at `position` (at least kStep + 20 bytes, zero
  // behind what was read) and returns where the next buffer starts. The
  // successor of a frame that ends behind the buffer is read from `device`.
  int64_t ScanBuffer(SourceDevice& device, std::span<const uint8_t> buffer, int64_t position);
  const BoliFrames& pending() const { return pending_; }
  const ScanProgress& progress() const { return progress_; }

 private:
  void Reset();
  void CarveFrames(SourceDevice& device);
  bool Flush(TaskWriter& writer);

  ScanParameters& params_;
  ScanProgress progress_;
  BoliFrames pending_;
};

}  // namespace orvane
