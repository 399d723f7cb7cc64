#include "scan/task_head.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "scan/scan_parameters.h"

namespace orvane {
namespace {

uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 2000) << 26) | (static_cast<uint32_t>(mo) << 22) |
         (static_cast<uint32_t>(d) << 17) | (static_cast<uint32_t>(h) << 12) |
         (static_cast<uint32_t>(mi) << 6) | static_cast<uint32_t>(s);
}

TEST(TaskHead, RoundTripsAndReadsShortHeadsAsZero) {
  TaskHead h;
  h.file_length = 49 + 21 * 3;
  h.scan_position = 1 << 20;
  h.region_end = 0x1234567890LL;
  h.smart_value = 0x160000;
  h.buffer = 2097152;
  h.mode = 2;
  h.brand = 8;
  h.version = 2;
  h.time_kind = 4;
  uint8_t bytes[kTaskHeadSize];
  h.Encode(bytes);
  EXPECT_EQ(TaskHead::Decode(bytes), h);
  EXPECT_EQ(bytes[48], 4);
  EXPECT_EQ(bytes[40], 8);

  // Cut inside the region end: its four low bytes are kept, the rest is zero.
  TaskHead part = TaskHead::Decode(std::span<const uint8_t>(bytes, 20));
  EXPECT_EQ(part.file_length, h.file_length);
  EXPECT_EQ(part.scan_position, h.scan_position);
  EXPECT_EQ(part.region_end, 0x34567890LL);
  EXPECT_EQ(part.brand, 0);
  EXPECT_EQ(TaskHead::Decode({}), TaskHead{});
}

TEST(TimeText, EachKindDecodesItsWord) {
  const uint32_t p = Packed(2018, 10, 5, 1, 2, 3);
  EXPECT_EQ(FormatTimeText(TimePacked, p), "2018-10-05 01-02-03");
  EXPECT_EQ(FormatTimeText(TimePackedAlt, p), "2018-10-05 01-02-03");
  EXPECT_EQ(FormatDateText(TimePacked, p), "2018-10-05");
  // Packed fields print as stored, without range checks.
  EXPECT_EQ(FormatTimeText(TimePacked, Packed(2018, 15, 31, 31, 63, 63)), "2018-15-31 31-63-63");
  const uint32_t reversed = 18u | (10u << 6) | (5u << 10) | (1u << 15) | (2u << 20) | (3u << 26);
  EXPECT_EQ(FormatTimeText(TimePackedReversed, reversed), "2018-10-05 01-02-03");
  EXPECT_EQ(FormatTimeText(TimeUnixUtc, 0), "1970-01-01 00-00-00");
  EXPECT_EQ(FormatTimeText(TimeUnixUtc, 951782400), "2000-02-29 00-00-00");
  EXPECT_EQ(FormatTimeText(TimeUnixCalendar, 4294967295u), "2106-02-07 06-28-15");
  EXPECT_EQ(FormatTimeText(TimeUnixCalendar, 1704067199), "2023-12-31 23-59-59");
  EXPECT_EQ(FormatTimeText(0, p), "");
  EXPECT_EQ(FormatTimeText(6, p), "");
  EXPECT_EQ(FormatDateText(9, p), "");
}

TEST(PackedTime, ValidityBoundsAndRecentYears) {
  EXPECT_TRUE(IsValidPackedTime(Packed(2010, 1, 1, 0, 0, 0)));
  EXPECT_TRUE(IsValidPackedTime(Packed(2024, 6, 1, 12, 0, 0)));
  EXPECT_TRUE(IsValidPackedTime(Packed(2037, 12, 31, 24, 60, 60)));
  EXPECT_FALSE(IsValidPackedTime(Packed(2038, 1, 1, 0, 0, 0)));
  EXPECT_FALSE(IsValidPackedTime(Packed(2009, 12, 31, 0, 0, 0)));
  EXPECT_TRUE(IsValidPackedTime(Packed(2015, 0, 0, 0, 0, 0)));  // month 0 passes
  EXPECT_FALSE(IsValidPackedTime(Packed(2015, 13, 1, 0, 0, 0)));
  EXPECT_FALSE(IsValidPackedTime(Packed(2015, 1, 1, 25, 0, 0)));
  EXPECT_FALSE(IsValidPackedTime(Packed(2015, 1, 1, 0, 61, 0)));
  EXPECT_FALSE(IsValidPackedTime(Packed(2015, 1, 1, 0, 0, 61)));
  EXPECT_FALSE(IsValidPackedTime(0));
}

TEST(PackedTime, GapIsTheTrueDifferenceAcrossMonthAndYearEnds) {
  EXPECT_EQ(PackedTimeGap(Packed(2018, 3, 4, 10, 0, 0), Packed(2018, 3, 4, 10, 0, 9)), 9);
  EXPECT_EQ(PackedTimeGap(Packed(2018, 3, 4, 10, 0, 9), Packed(2018, 3, 4, 10, 0, 0)), -9);
  EXPECT_EQ(PackedTimeGap(Packed(2018, 3, 4, 10, 0, 0), Packed(2018, 3, 5, 11, 1, 1)),
            86400 + 3600 + 61);
  EXPECT_EQ(PackedTimeGap(Packed(2018, 1, 31, 23, 59, 55), Packed(2018, 2, 1, 0, 0, 5)), 10);
  EXPECT_EQ(PackedTimeGap(Packed(2016, 2, 28, 0, 0, 0), Packed(2016, 3, 1, 0, 0, 0)), 2 * 86400);
  EXPECT_EQ(PackedTimeGap(Packed(2019, 12, 31, 23, 59, 59), Packed(2020, 1, 1, 0, 0, 0)), 1);
  // Damaged fields stay defined.
  EXPECT_EQ(PackedTimeGap(Packed(2018, 0, 0, 0, 0, 0), Packed(2018, 0, 0, 0, 0, 1)), 1);
  (void)PackedTimeGap(Packed(2018, 15, 31, 31, 63, 63), Packed(2010, 0, 0, 0, 0, 0));
}

TEST(TaskPages, CountsPerBrandAndMode) {
  ScanParameters p;
  p.brand = BrandHikvision;
  auto pages = [&](int64_t records, int64_t size) {
    p.head.file_length = kTaskHeadSize + records * size;
    return TaskPageCount(p);
  };
  EXPECT_EQ(pages(0, 21), 0);
  EXPECT_EQ(pages(1, 21), 1);
  EXPECT_EQ(pages(20'000'000, 21), 1);
  EXPECT_EQ(pages(20'000'001, 21), 2);
  p.brand = BrandBoli;
  EXPECT_EQ(pages(40'000'001, 17), 3);
  p.brand = BrandDahua;
  p.mode = ScanModeFast;
  EXPECT_EQ(pages(0, 33), 1);
  EXPECT_EQ(pages(99'000'000, 33), 1);
  p.mode = ScanModeDeep;
  p.version = 1;
  EXPECT_EQ(pages(99'000'000, 1), 1);
  p.version = 2;
  EXPECT_EQ(pages(20'000'001, 22), 2);
  p.brand = BrandJovision;
  EXPECT_EQ(pages(20'000'001, 14), 2);
  p.mode = ScanModeUnset;
  EXPECT_EQ(pages(5, 14), 0);
  p.brand = 9;
  EXPECT_EQ(pages(5, 21), 0);
}

TEST(TaskHeadFile, ReadAndApply) {
  const auto path = std::filesystem::temp_directory_path() / "orvane_head_test.tak";
  TaskHead h;
  h.file_length = 49;
  h.scan_position = 1048576;
  h.region_end = 1 << 30;
  h.mode = 2;
  h.brand = 2;
  h.version = 1;
  h.buffer = 4096;
  h.smart_value = 512;
  uint8_t bytes[kTaskHeadSize];
  h.Encode(bytes);
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  }
  ScanParameters p;
  p.task_path = path.string();
  ASSERT_TRUE(ReadTaskHead(p, true));
  ApplyTaskHead(p);
  EXPECT_EQ(p.region_start, 1048576);
  EXPECT_EQ(p.region_start / 512, 2048);
  EXPECT_EQ(p.region_end, 1 << 30);
  EXPECT_EQ(p.brand, 2);
  EXPECT_EQ(p.buffer, 4096);
  std::filesystem::remove(path);
  EXPECT_FALSE(ReadTaskHead(p, true));
}

}  // namespace
}  // namespace orvane
