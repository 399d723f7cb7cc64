#include "scan/task_head.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "device/byte_order.h"
#include "device/notify.h"
#include "device/path_kind.h"
#include "scan/scan_parameters.h"

namespace orvane {

void TaskHead::Encode(uint8_t out[kTaskHeadSize]) const {
  StoreLE64(out + 0, static_cast<uint64_t>(file_length));
  StoreLE64(out + 8, static_cast<uint64_t>(scan_position));
  StoreLE64(out + 16, static_cast<uint64_t>(region_end));
  StoreLE64(out + 24, static_cast<uint64_t>(smart_value));
  StoreLE32(out + 32, static_cast<uint32_t>(buffer));
  StoreLE32(out + 36, static_cast<uint32_t>(mode));
  StoreLE32(out + 40, static_cast<uint32_t>(brand));
  StoreLE32(out + 44, static_cast<uint32_t>(version));
  out[48] = time_kind;
}

TaskHead TaskHead::Decode(std::span<const uint8_t> bytes) {
  // Missing bytes read as zero, byte by byte: a head cut inside a field keeps
  // the low bytes that are there.
  uint8_t b[kTaskHeadSize] = {};
  // An empty span may have no data at all, which memcpy must not be given.
  if (!bytes.empty()) std::memcpy(b, bytes.data(), std::min<size_t>(bytes.size(), kTaskHeadSize));
  TaskHead h;
  h.file_length = static_cast<int64_t>(LoadLE64(b + 0));
  h.scan_position = static_cast<int64_t>(LoadLE64(b + 8));
  h.region_end = static_cast<int64_t>(LoadLE64(b + 16));
  h.smart_value = static_cast<int64_t>(LoadLE64(b + 24));
  h.buffer = static_cast<int32_t>(LoadLE32(b + 32));
  h.mode = static_cast<int32_t>(LoadLE32(b + 36));
  h.brand = static_cast<int32_t>(LoadLE32(b + 40));
  h.version = static_cast<int32_t>(LoadLE32(b + 44));
  h.time_kind = b[48];
  return h;
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  // Normalise the month into 1..12 first so that damaged fields stay defined.
  int64_t m0 = m - 1;
  y += (m0 >= 0 ? m0 / 12 : -((11 - m0) / 12));
  m0 = ((m0 % 12) + 12) % 12;
  const int64_t mm = m0 + 1;
  // Howard Hinnant's days_from_civil on the normalised date, then the day
  // counted on from the first of the month.
  const int64_t yy = y - (mm <= 2 ? 1 : 0);
  const int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
  const int64_t yoe = yy - era * 400;
  const int64_t doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (d - 1);
}

namespace {

CivilTime FromUnixSeconds(uint64_t v) {
  CivilTime t;
  int64_t days = static_cast<int64_t>(v / 86400);
  const int64_t rem = static_cast<int64_t>(v % 86400);
  t.hour = static_cast<int>(rem / 3600);
  t.minute = static_cast<int>(rem / 60 % 60);
  t.second = static_cast<int>(rem % 60);
  int year = 1970;
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  while (days >= (leap(year) ? 366 : 365)) {
    days -= leap(year) ? 366 : 365;
    ++year;
  }
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (month < 11) {
    int len = kMonthDays[month] + (month == 1 && leap(year) ? 1 : 0);
    if (days < len) break;
    days -= len;
    ++month;
  }
  t.year = year;
  t.month = month + 1;
  t.day = static_cast<int>(days) + 1;
  return t;
}

CivilTime FromPacked(uint32_t v) {
  return {static_cast<int>(v >> 26) + 2000, static_cast<int>((v >> 22) & 15),
          static_cast<int>((v >> 17) & 31), static_cast<int>((v >> 12) & 31),
          static_cast<int>((v >> 6) & 63),  static_cast<int>(v & 63)};
}

CivilTime FromPackedReversed(uint32_t v) {
  return {static_cast<int>(v & 63) + 2000, static_cast<int>((v >> 6) & 15),
          static_cast<int>((v >> 10) & 31), static_cast<int>((v >> 15) & 31),
          static_cast<int>((v >> 20) & 63), static_cast<int>(v >> 26)};
}

}  // namespace

bool DecodeTime(uint8_t kind, uint32_t v, CivilTime& out) {
  switch (kind) {
    case TimePacked:
    case TimePackedAlt:
      out = FromPacked(v);
      return true;
    case TimePackedReversed:
      out = FromPackedReversed(v);
      return true;
    case TimeUnixUtc:
    case TimeUnixCalendar:
      out = FromUnixSeconds(v);
      return true;
    default:
      return false;
  }
}

std::string FormatTimeText(uint8_t kind, uint32_t value) {
  CivilTime t;
  if (!DecodeTime(kind, value, t)) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d-%02d-%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::string FormatDateText(uint8_t kind, uint32_t value) {
  CivilTime t;
  if (!DecodeTime(kind, value, t)) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
  return buf;
}

bool IsValidPackedTime(uint32_t v) {
  const uint32_t year = v >> 26;
  if (year < 10 || year > static_cast<uint32_t>(kLatestPlausibleYear - 2000)) return false;
  if (((v >> 22) & 15) > 12) return false;
  if (((v >> 12) & 31) > 24) return false;
  if (((v >> 6) & 63) > 60) return false;
  if ((v & 63) > 60) return false;
  return v != 0;
}

int64_t PackedTimeGap(uint32_t earlier, uint32_t later) {
  auto seconds = [](uint32_t v) {
    const CivilTime t = FromPacked(v);
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL +
           t.second;
  };
  return seconds(later) - seconds(earlier);
}

bool ReadTaskHead(ScanParameters& p, bool silent) {
  std::ifstream in;
  if (IsMediumPath(p.task_path)) in.open(p.task_path, std::ios::binary);
  if (!in.is_open()) {
    if (!silent) PostError(kMsgOpenTaskFailed);
    return false;
  }
  uint8_t bytes[kTaskHeadSize] = {};
  in.read(reinterpret_cast<char*>(bytes), kTaskHeadSize);
  const auto got = static_cast<size_t>(in.gcount());
  p.head = TaskHead::Decode(std::span<const uint8_t>(bytes, got));
  return true;
}

void ApplyTaskHead(ScanParameters& p) {
  p.mode = p.head.mode;
  p.brand = p.head.brand;
  p.version = p.head.version;
  p.buffer = p.head.buffer;
  p.smart_value = p.head.smart_value;
  p.region_end = p.head.region_end;
  p.region_start = p.head.scan_position;
}

int32_t PagesForRecords(int64_t n) {
  if (n <= 0) return 0;
  const int64_t pages = n / kRecordsPerPage + (n % kRecordsPerPage != 0 ? 1 : 0);
  return pages > INT32_MAX ? INT32_MAX : static_cast<int32_t>(pages);
}

int32_t TaskPageCount(const ScanParameters& p) {
  auto fixed = [&](int64_t record_size) {
    if (p.head.file_length <= kTaskHeadSize) return 0;
    return PagesForRecords((p.head.file_length - kTaskHeadSize) / record_size);
  };
  switch (p.brand) {
    case BrandHikvision:
      return fixed(21);
    case BrandBoli:
      return fixed(17);
    case BrandDahua:
    case BrandWfs:
    case BrandHuayi:
    case BrandMeidianBell:
    case BrandZhiling:
      if (p.mode == ScanModeFast) return 1;
      if (p.mode == ScanModeDeep) return p.version == 1 ? 1 : fixed(22);
      return 0;
    case BrandJovision:
      if (p.mode == ScanModeFast) return 1;
      if (p.mode == ScanModeDeep) return fixed(14);
      return 0;
    default:
      return 0;
  }
}

}  // namespace orvane
