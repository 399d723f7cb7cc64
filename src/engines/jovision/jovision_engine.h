#pragma once
// Jovision recorder disks: 512 MiB areas whose index blocks describe the
// recordings (fast parse), and JVS recording files found sector by sector
// (deep parse).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "scan/recording_entry.h"
#include "scan/scan_parameters.h"

namespace orvane {

class SourceDevice;
class TaskWriter;

inline constexpr int64_t kJvsAreaSize = 0x20000000;
inline constexpr uint32_t kJvsAreaMagic = 0x6B62766A;  // "jvbk"
inline constexpr size_t kJvsIndexBlockSize = 0xC000;
inline constexpr uint32_t kJvsIndexBlockType = 0x66;
inline constexpr uint32_t kJvsMaxPieces = 2446;
inline constexpr size_t kJvsRecordingHeadSize = 17;
inline constexpr size_t kJvsPieceSize = 12;
inline constexpr size_t kJvsFileRecordSize = 14;

// The first 2 MiB of an area carry its header.
bool IsJvsArea(std::span<const uint8_t> area_head);

// One recording of the fast parse: an index block, or a fast task record.
struct JvsRecording {
  uint32_t size = 0;
  uint8_t channel = 0;
  uint32_t start = 0;  // seconds since 1970
  uint32_t end = 0;
  std::vector<FragmentExtent> pieces;
};

// Whole seconds after the start, a started second counting as one.
uint32_t JvsEndTime(uint32_t start, uint32_t duration_ms);
// Decodes the index block at `at` of `buffer`; false when the bytes there are
// not one (or the block does not lie wholly inside the buffer).
bool ParseJvsIndexBlock(std::span<const uint8_t> buffer, size_t at, JvsRecording& out);

// Appends the fast task record of `r` to `out`.
void EncodeJvsRecording(const JvsRecording& r, std::vector<uint8_t>& out);
// Decodes the record at the start of `bytes`: the bytes it takes, or 0 when
// it does not lie wholly inside them.
size_t DecodeJvsRecording(std::span<const uint8_t> bytes, JvsRecording& out);

// A recording file starts in the sector at `at` (the header's second "JVS",
// its start code and the slice byte behind it must lie inside `buffer`).
bool IsJvsFileStart(std::span<const uint8_t> buffer, size_t at);

struct JvsFileRecord {
  uint64_t offset = 0;
  uint32_t size = 0;
  uint8_t channel = 0;
  bool operator==(const JvsFileRecord&) const = default;
};
void EncodeJvsFileRecord(const JvsFileRecord& r, uint8_t* out);
JvsFileRecord DecodeJvsFileRecord(const uint8_t* in);

class JovisionEngine {
 public:
  static constexpr int64_t kStep = 0x200000;
  static constexpr int32_t kIndexReadSize = 0x20C000;
  static constexpr int32_t kSectorReadSize = 0x200200;
  static constexpr int64_t kPiecesFlushAt = 100'000;
  static constexpr size_t kFilesFlushAt = 500'000;
  static constexpr int64_t kGroupLimit = 0x3FFFFFFF;

  explicit JovisionEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);

 private:
  void Reset();
  bool OpenTask(TaskWriter& writer);
  void ScanAreas(SourceDevice& device);
  void ScanIndex(SourceDevice& device, TaskWriter& writer, int64_t area, int64_t end);
  void WriteRecordings(TaskWriter& writer);
  void ScanSectors(SourceDevice& device);
  void WriteFiles(TaskWriter& writer);
  void ReadRecordings(class TaskReader& reader);
  void ReadFiles(class TaskReader& reader, int32_t page);

  ScanParameters& params_;
  ScanProgress progress_;
  std::vector<JvsRecording> recordings_;
  std::vector<JvsFileRecord> files_;
  int64_t pending_pieces_ = 0;
};

}  // namespace orvane
