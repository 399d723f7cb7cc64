#include <gtest/gtest.h>

#include <vector>

#include "device/byte_order.h"
#include "engines/dahua/dahua_layout.h"
#include "scan/scan_parameters.h"

namespace orvane {
namespace {

std::vector<uint8_t> ValidHeader(uint32_t unit = 4096, uint32_t per_block = 512, uint32_t entries = 100) {
  std::vector<uint8_t> h(512, 0);
  StoreLE32(&h[0x2C], unit);
  StoreLE32(&h[0x30], per_block);
  StoreLE32(&h[0x4C], entries);
  StoreLE32(&h[0x148], kDahuaAreaMarker);
  return h;
}

void PutSlot(std::vector<uint8_t>& buf, const DahuaVariant& v, int slot, uint64_t header_sector,
             uint64_t base_sector) {
  const size_t at = v.first_slot + static_cast<size_t>(slot) * 64;
  StoreLE64(&buf[at], header_sector);
  StoreLE64(&buf[at + v.base_field], base_sector);
}

TEST(DahuaLayout, AreaHeaderLimits) {
  EXPECT_TRUE(IsValidAreaHeader(ValidHeader()));
  EXPECT_TRUE(IsValidAreaHeader(ValidHeader(4096, 2560)));   // exactly 10 MiB blocks
  EXPECT_FALSE(IsValidAreaHeader(ValidHeader(4096, 2561)));
  EXPECT_FALSE(IsValidAreaHeader(ValidHeader(1000, 2)));     // unit not a multiple of 512
  EXPECT_FALSE(IsValidAreaHeader(ValidHeader(4096, 0)));
  EXPECT_FALSE(IsValidAreaHeader(ValidHeader(4096, 512, 0)));
  EXPECT_TRUE(IsValidAreaHeader(ValidHeader(4096, 512, 16384000)));
  EXPECT_FALSE(IsValidAreaHeader(ValidHeader(4096, 512, 16384001)));
  // A 64-bit product: 2^20 * 2^12 wraps to 0 in 32 bits and must still fail.
  EXPECT_FALSE(IsValidAreaHeader(ValidHeader(1u << 20, 1u << 12)));
  auto h = ValidHeader();
  h[0x148] = 0;
  EXPECT_FALSE(IsValidAreaHeader(h));
  EXPECT_FALSE(IsValidAreaHeader(std::span<const uint8_t>(ValidHeader().data(), 0x14B)));
}

TEST(DahuaLayout, TableSlotLimitsAndPruning) {
  const DahuaVariant& v = DahuaVariantFor(BrandDahua);
  std::vector<uint8_t> buf(kDahuaTableBytes, 0);
  StoreLE32(&buf[v.marker_position], kDahuaAreaMarker);
  PutSlot(buf, v, 0, 0x200000, 100);
  PutSlot(buf, v, 1, 8, 200);
  PutSlot(buf, v, 2, 0x200001, 300);
  auto areas = AreasFromTable(buf, v);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas[0], (DahuaArea{0x200000ull * 512, 100 * 512}));
  EXPECT_EQ(areas[1], (DahuaArea{8 * 512, 200 * 512}));

  // Bases 100, 200, 150, 300: the first base that does not rise ends the list.
  PutSlot(buf, v, 2, 8, 150);
  PutSlot(buf, v, 3, 8, 300);
  EXPECT_EQ(AreasFromTable(buf, v).size(), 2u);

  // A header sector with a non-zero high half ends the table.
  PutSlot(buf, v, 1, 0x100000008ull, 200);
  EXPECT_EQ(AreasFromTable(buf, v).size(), 1u);
}

TEST(DahuaLayout, FallbackProbesPerVariant) {
  for (int32_t brand : {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling}) {
    const DahuaVariant& v = DahuaVariantFor(brand);
    const bool probes_8400 = brand == BrandDahua || brand == BrandMeidianBell;
    std::vector<uint8_t> buf(kDahuaTableBytes, 0);
    auto h = ValidHeader();
    std::copy(h.begin(), h.end(), buf.begin() + 0x8400);
    auto areas = AreasFromTable(buf, v);
    EXPECT_EQ(areas.size(), probes_8400 ? 1u : 0u) << brand;
    if (probes_8400) {
      EXPECT_EQ(areas[0], (DahuaArea{0x8400, 0}));
    }
    std::copy(h.begin(), h.end(), buf.begin() + 0x4400);
    areas = AreasFromTable(buf, v);
    ASSERT_EQ(areas.size(), 1u) << brand;
    EXPECT_EQ(areas[0], (DahuaArea{0x4400, 0}));
  }
}

TEST(DahuaLayout, TablePositionSeparatesVariants) {
  // A table at 0x628 with its marker at 0x710 belongs to Huayi and Zhiling.
  std::vector<uint8_t> low(kDahuaTableBytes, 0);
  StoreLE32(&low[0x710], kDahuaAreaMarker);
  PutSlot(low, DahuaVariantFor(BrandHuayi), 0, 8, 2048);
  std::vector<uint8_t> high(kDahuaTableBytes, 0);
  StoreLE32(&high[0x3D34], kDahuaAreaMarker);
  PutSlot(high, DahuaVariantFor(BrandDahua), 0, 8, 2048);
  for (int32_t brand : {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling}) {
    const bool low_table = brand == BrandHuayi || brand == BrandZhiling;
    EXPECT_EQ(AreasFromTable(low, DahuaVariantFor(brand)).size(), low_table ? 1u : 0u) << brand;
    EXPECT_EQ(AreasFromTable(high, DahuaVariantFor(brand)).size(), low_table ? 0u : 1u) << brand;
  }
}

TEST(DahuaLayout, IndexEntryInUse) {
  std::vector<uint8_t> b(32, 0);
  b[1] = 0xF3;  // high bits ignored: channel 4
  StoreLE32(&b[4], 0x28000000);
  StoreLE32(&b[8], 0x28000010);
  StoreLE32(&b[12], 100);
  StoreLE32(&b[20], 7);
  auto e = DecodeIndexEntry(b);
  EXPECT_EQ(e.channel, 4);
  EXPECT_TRUE(IndexEntryInUse(e, 100));  // a link equal to the count passes
  StoreLE32(&b[12], 101);
  EXPECT_FALSE(IndexEntryInUse(DecodeIndexEntry(b), 100));
  StoreLE32(&b[12], 1);
  StoreLE32(&b[24], 101);
  EXPECT_FALSE(IndexEntryInUse(DecodeIndexEntry(b), 100));
  StoreLE32(&b[24], 0);
  StoreLE32(&b[8], 0);
  EXPECT_FALSE(IndexEntryInUse(DecodeIndexEntry(b), 100));
}

TEST(DahuaLayout, FrameClassification) {
  const uint32_t magic = DahuaVariantFor(BrandDahua).magic;
  std::vector<uint8_t> f(24, 0);
  StoreLE32(&f[0], magic);
  f[4] = 0xFC;
  f[6] = 2;
  StoreLE32(&f[12], 20);
  StoreLE32(&f[16], 0x28000000);
  EXPECT_EQ(ParseFrameHeader(f, magic).kind, kDahuaNoFrame);
  StoreLE32(&f[12], 21);
  auto r = ParseFrameHeader(f, magic);
  EXPECT_EQ(r.kind, kDahuaTimeFrame);
  EXPECT_EQ(r.channel, 3);
  EXPECT_EQ(r.time, 0x28000000u);
  EXPECT_EQ(r.length, 21u);
  // Another variant's magic is no frame.
  EXPECT_EQ(ParseFrameHeader(f, DahuaVariantFor(BrandHuayi).magic).kind, kDahuaNoFrame);
  // A bad time does not demote a time frame to a plain one.
  StoreLE32(&f[16], 0);
  EXPECT_EQ(ParseFrameHeader(f, magic).kind, kDahuaNoFrame);
  f[4] = 0xF0;
  r = ParseFrameHeader(f, magic);
  EXPECT_EQ(r.kind, kDahuaPlainFrame);
  EXPECT_EQ(r.time, 0u);
  StoreLE32(&f[12], 0x1FFFFF);
  EXPECT_EQ(ParseFrameHeader(f, magic).kind, kDahuaPlainFrame);
  StoreLE32(&f[12], 0x200000);
  EXPECT_EQ(ParseFrameHeader(f, magic).kind, kDahuaNoFrame);
  // Channel byte 255 wraps to 0.
  f[4] = 0xFD;
  f[6] = 255;
  StoreLE32(&f[12], 100);
  StoreLE32(&f[16], 0x28000000);
  EXPECT_EQ(ParseFrameHeader(f, magic).channel, 0);
  EXPECT_EQ(ParseFrameHeader(std::span<const uint8_t>(f.data(), 19), magic).kind, kDahuaNoFrame);
}

}  // namespace
}  // namespace orvane
