#pragma once
// The 49-byte head of a task file and the encodings of record times.

#include <cstdint>
#include <span>
#include <string>

namespace orvane {

struct ScanParameters;

inline constexpr int64_t kTaskHeadSize = 49;
inline constexpr int64_t kRecordsPerPage = 20'000'000;
// Latest year a recorder time may carry and still count as plausible.
inline constexpr int kLatestPlausibleYear = 2037;

enum TimeKind : uint8_t {
  TimeKindNone = 0,
  TimePacked = 1,          // year-2000 in bits 26..31 down to seconds in 0..5
  TimePackedReversed = 2,  // year-2000 in bits 0..5 up to seconds in 26..31
  TimeUnixUtc = 3,         // seconds since 1970, broken down as UTC
  TimePackedAlt = 4,       // as TimePacked
  TimeUnixCalendar = 5,    // unsigned seconds since 1970, own calendar
};

struct TaskHead {
  int64_t file_length = 0;    // whole file, head included
  int64_t scan_position = 0;  // how far a deep scan got, bytes
  int64_t region_end = 0;
  int64_t smart_value = 0;
  int32_t buffer = 0;
  int32_t mode = 0;
  int32_t brand = 0;
  int32_t version = 0;
  uint8_t time_kind = 0;

  void Encode(uint8_t out[kTaskHeadSize]) const;
  // Missing bytes of a short head read as zero.
  static TaskHead Decode(std::span<const uint8_t> bytes);
  bool operator==(const TaskHead&) const = default;
};

struct CivilTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Fields of a time word by kind; false for a kind outside 1..5.
bool DecodeTime(uint8_t kind, uint32_t value, CivilTime& out);
// "%04d-%02d-%02d %02d-%02d-%02d", or empty for an unknown kind.
std::string FormatTimeText(uint8_t kind, uint32_t value);
// "%04d-%02d-%02d", or empty for an unknown kind.
std::string FormatDateText(uint8_t kind, uint32_t value);

// The lenient plausibility test of a PackedTime word (years 2010..2037).
bool IsValidPackedTime(uint32_t value);
// Later minus earlier in seconds, by the calendar (month and year ends count
// their true length). Negative when `later` is earlier.
int64_t PackedTimeGap(uint32_t earlier, uint32_t later);
// Days since 1970-01-01 of a civil date; months outside 1..12 roll over into
// the neighbouring years and days count on from the first of the month.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

// Reads the head of the task file at the task path into `p.head`. When the
// file cannot be opened it returns false and, unless silent, posts
// "打开任务文件失败".
bool ReadTaskHead(ScanParameters& p, bool silent);
// Mode, brand, version, buffer, smart value, region end from the head; region
// start from the head's scan position.
void ApplyTaskHead(ScanParameters& p);
// Pages of the task by the parameters' brand, mode and version.
int32_t TaskPageCount(const ScanParameters& p);
// Pages for n fixed-size records.
int32_t PagesForRecords(int64_t n);

}  // namespace orvane
