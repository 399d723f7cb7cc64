#include "imaging/unread_areas.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "device/notify.h"
#include "device/source_device.h"
#include "imaging/rescue_double.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

// Unread areas answer as bad sectors do, so every reader's handling of
// those applies, and the medium under them is never asked.
TEST(UnreadAreas, ReadLikeBadSectorsWithoutTouchingTheMedium) {
  auto plan = std::make_shared<rescue_test::FaultPlan>();
  plan->size = 1 << 20;
  auto map = std::make_shared<RescueMap>(4096, 64 * 1024);
  map->Mark(4096, 64 * 1024, kAreaFinished);
  map->Mark(8192, 1024, kAreaBadSector);
  map->Mark(16384, 512, kAreaNonScraped);
  UnreadAreasBackend backend(std::make_unique<rescue_test::LinuxLikeBadSectors>(plan), map);

  std::vector<uint8_t> buffer(32768);
  EXPECT_EQ(backend.ReadAt(4096, buffer.data(), 8192), 4096);  // up to the bad area
  EXPECT_EQ(backend.ReadAt(8192, buffer.data(), 512), -1);
  EXPECT_EQ(backend.ReadAt(9216, buffer.data(), 16384), 16384 - 9216);
  EXPECT_EQ(backend.ReadAt(0, buffer.data(), 4096), 4096);      // before the map's range
  EXPECT_EQ(backend.ReadAt(69632, buffer.data(), 4096), 4096);  // after it
  for (const auto& read : plan->reads) {
    EXPECT_FALSE(read.offset < 9216 && read.offset + read.length > 8192) << read.offset;
    EXPECT_FALSE(read.offset < 16896 && read.offset + read.length > 16384) << read.offset;
  }

  RecordingEntry entry;
  entry.fragments.push_back({0, 10000});      // 1024 of the bad area and nothing more
  entry.fragments.push_back({16000, 1000});   // all 512 non-scraped bytes
  entry.fragments.push_back({200000, 4096});  // outside the map
  EXPECT_EQ(MissingBytes(*map, entry), 1024 + 512);

  // Every SourceDevice opened on the wrapped device sees the same.
  const DeviceInfo device = WithUnreadAreas(rescue_test::FaultyDevice(plan), map);
  SourceDevice source;
  source.Open(device);
  source.Read(8192, buffer.data(), 512);
  EXPECT_FALSE(source.ok());
  source.Read(12288, buffer.data(), 512);
  EXPECT_TRUE(source.ok());
  EXPECT_EQ(buffer[0], rescue_test::PatternByte(12288));
}

// Reading ahead stops in front of the first unread area: on a failing drive
// a read ahead into it would cost what the map spares.
TEST(UnreadAreas, ReadAheadStopsInFrontOfAnUnreadArea) {
  struct Medium final : ReadBackend {
    std::vector<ByteRange>* asked;
    explicit Medium(std::vector<ByteRange>* a) : asked(a) {}
    int64_t ReadAt(int64_t, void*, size_t length) override { return static_cast<int64_t>(length); }
    int64_t Size() override { return 1 << 30; }
    void Prefetch(int64_t offset, int64_t length) override {
      asked->push_back(ByteRange::FromLength(offset, length));
    }
  };
  std::vector<ByteRange> asked;
  auto map = std::make_shared<RescueMap>(0, 1 << 30);
  map->Mark(0, 1 << 30, kAreaFinished);
  map->Mark(40 << 20, 4096, kAreaBadSector);
  UnreadAreasBackend backend(std::make_unique<Medium>(&asked), map);
  backend.Prefetch(8 << 20, 16 << 20);
  backend.Prefetch(32 << 20, 16 << 20);
  backend.Prefetch(40 << 20, 16 << 20);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].begin, 8 << 20);
  EXPECT_EQ(asked[0].end, 24 << 20);
  EXPECT_EQ(asked[1].begin, 32 << 20);
  EXPECT_EQ(asked[1].end, 40 << 20);
}

TEST(UnreadAreas, MapBesideAnImage) {
  synth::TempDir dir;
  const std::string image = dir.File("disk.img");
  EXPECT_EQ(MapBesideImage(image), "");
  std::ofstream(image + ".mapfile") << "x";
  EXPECT_EQ(MapBesideImage(image), image + ".mapfile");
  std::ofstream(image + ".map") << "x";
  EXPECT_EQ(MapBesideImage(image), image + ".map");

  // Opened with a map beside it, the image reads through it; a broken map
  // is reported and not used.
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  DeviceInfo device = synth::ImageDevice(image);
  EXPECT_FALSE(UseMapBesideImage(device));
  EXPECT_FALSE(device.backend);
  EXPECT_EQ(sink.texts(NotifyCode::Error).size(), 1u);
  RescueMap map(0, 4096);
  map.Mark(0, 4096, kAreaFinished);
  map.Mark(1024, 512, kAreaBadSector);
  ASSERT_TRUE(SaveRescueMap(image + ".map", map, "test"));
  std::ofstream(image) << std::string(4096, 'a');
  device = synth::ImageDevice(image);
  EXPECT_TRUE(UseMapBesideImage(device));
  EXPECT_TRUE(sink.Has("使用映射文件:" + image + ".map"));
  SourceDevice source;
  source.Open(device);
  std::vector<uint8_t> buffer(512);
  source.Read(1024, buffer.data(), 512);
  EXPECT_FALSE(source.ok());
  source.Read(512, buffer.data(), 512);
  EXPECT_TRUE(source.ok());
}

}  // namespace
}  // namespace orvane
