// Fast-parse records and their grouping, and the paging of run records.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/byte_order.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_fast.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "engines/dahua/dahua_test_util.h"

namespace orvane {
namespace {

using namespace dahua_test;

const uint32_t kT0 = synth::PackTime(2016, 5, 3, 10, 0, 0);

FastRecord Block(uint32_t index, uint8_t channel, uint32_t next, uint32_t prev, uint32_t start = kT0) {
  FastRecord r;
  r.channel = channel;
  r.block = index;
  r.next = next;
  r.previous = prev;
  r.start_time = start;
  r.end_time = start + 10;
  r.block_size = 0x100000;
  r.offset = 0x1000000 + uint64_t{index} * 0x100000;
  return r;
}

TEST(DahuaFastGrouping, FollowsLinksWithinAChannel) {
  std::map<uint32_t, FastRecord> m;
  m[9] = Block(9, 1, 100, 7, kT0 + 2);
  m[5] = Block(5, 1, 7, 100, kT0 + 1);
  m[7] = Block(7, 1, 9, 5, kT0);
  std::vector<RecordingEntry> out;
  GroupFastRecords(m, out);
  ASSERT_EQ(out.size(), 1u);
  ASSERT_EQ(out[0].fragments.size(), 3u);
  EXPECT_EQ(out[0].fragments[0].offset, 0x1500000);
  EXPECT_EQ(out[0].fragments[1].offset, 0x1700000);
  EXPECT_EQ(out[0].fragments[2].offset, 0x1900000);
  EXPECT_EQ(out[0].start_time, kT0);
  EXPECT_EQ(out[0].end_time, kT0 + 12);
  EXPECT_EQ(out[0].size, 3 * 0x100000);
  EXPECT_TRUE(m.empty());

  // Block 7 of another channel splits the chain into three.
  m[5] = Block(5, 1, 7, 100);
  m[7] = Block(7, 2, 9, 5);
  m[9] = Block(9, 1, 100, 7);
  out.clear();
  GroupFastRecords(m, out);
  EXPECT_EQ(out.size(), 3u);

  // The backward walk puts blocks in front; a loop of links ends.
  m[3] = Block(3, 4, 2, 1);
  m[1] = Block(1, 4, 3, 2);
  m[2] = Block(2, 4, 1, 3);
  out.clear();
  GroupFastRecords(m, out);
  ASSERT_EQ(out.size(), 1u);
  ASSERT_EQ(out[0].fragments.size(), 3u);
  EXPECT_EQ(out[0].fragments[0].offset, 0x1300000);  // 1's previous is 2, then 3
  EXPECT_EQ(out[0].fragments[1].offset, 0x1200000);
  EXPECT_EQ(out[0].fragments[2].offset, 0x1100000);
}

void WriteTask(const std::string& path, const TaskHead& head, const std::vector<uint8_t>& body) {
  uint8_t h[49];
  head.Encode(h);
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(h), 49);
  f.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

TEST(DahuaFastReader, AreasGroupSeparatelyAndDuplicatesCount) {
  synth::TempDir tmp;
  std::vector<uint8_t> body;
  auto add = [&body](const FastRecord& r) {
    body.resize(body.size() + 33);
    EncodeFastRecord(r, body.data() + body.size() - 33);
  };
  add(Block(1, 1, 2, 0));
  add(Block(2, 1, 3, 1));
  add(Block(2, 1, 9, 1, kT0 + 100));  // duplicate index: counted, not kept
  add(FastRecord{});                   // terminator of area 1
  add(Block(3, 1, 4, 2));              // links to area 1's blocks stay in area 2
  add(FastRecord{});
  add(Block(7, 1, 0, 0));              // no terminator: not grouped
  TaskHead head;
  head.mode = ScanModeFast;
  head.version = 2;
  head.brand = BrandZhiling;
  head.file_length = 49 + static_cast<int64_t>(body.size());
  WriteTask(tmp.File("t.tak"), head, body);
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  ScanParameters p;
  p.brand = BrandZhiling;
  p.task_path = tmp.File("t.tak");
  LoadTaskPage(p, 0);
  ASSERT_EQ(p.recordings.size(), 2u);
  EXPECT_EQ(p.recordings[0].fragments.size(), 2u);
  EXPECT_EQ(p.recordings[0].end_time, kT0 + 10);
  EXPECT_EQ(p.recordings[1].fragments.size(), 1u);
  EXPECT_EQ(sink.last_found().found_count, 5);
  p.mode = ScanModeFast;
  EXPECT_EQ(TaskPageCount(p), 1);
}

TEST(DahuaFastParse, StopStillWritesTheAreaAndItsTerminator) {
  synth::TempDir tmp;
  synth::DahuaDisk disk(BrandDahua, tmp.File("d.img"), int64_t{5} << 30);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.block_size = 0x10000;
  area.entries = 70000;  // an index of more than one 2 MiB piece
  area.data_offset = 0x400000;
  disk.AddArea(area);
  for (uint32_t b : {10u, 20u, 69000u}) {
    synth::DahuaRecordingSpec r;
    r.blocks = {b};
    r.frames = 5;
    r.end = synth::BlockEnd::kOpen;
    r.start_time = kT0;
    disk.Plant(r);
  }
  disk.Finish();
  const DeviceInfo dev = synth::ImageDevice(tmp.File("d.img"));
  struct StopSink final : NotifySink {
    ScanParameters* p = nullptr;
    void Text(NotifyCode, std::string_view) override {}
    void Found(const ScanProgress&) override {}
    void Range(int64_t) override {}
    void Totals(const ExportTotals&) override {}
    void Position(int64_t) override { p->stop.store(1); }
  } stop;
  ScanParameters p;
  SetUpParse(p, dev, BrandDahua, ScanModeFast, 1, tmp.File("t.tak"));
  stop.p = &p;
  {
    ScopedNotifySink scope(&stop);
    RunParse(p);
  }
  // Two records of the first index piece and the terminator.
  EXPECT_EQ(p.head.file_length, 49 + 3 * 33);
  LoadTaskPage(p, 0);
  EXPECT_EQ(p.recordings.size(), 2u);
  // Without the stop all three are found.
  stop.p = nullptr;
  RunParse(p);
  LoadTaskPage(p, 0);
  EXPECT_EQ(p.recordings.size(), 3u);
  EXPECT_EQ(p.head.file_length, 49 + 4 * 33);
}

TEST(DahuaRunReader, PageOneStartsAtItsByte) {
  synth::TempDir tmp;
  const int64_t page1 = 49 + 440000000LL;
  ASSERT_EQ(page1, 440000049);
  {
    synth::SparseImage f(tmp.File("t.tak"), page1 + 3 * 22);
    TaskHead head;
    head.mode = ScanModeDeep;
    head.version = 2;
    head.brand = BrandDahua;
    head.file_length = page1 + 3 * 22;
    uint8_t h[49];
    head.Encode(h);
    f.Write(0, h, 49);
    uint8_t r[22];
    // One run on page 0, two on page 1 (in reverse time order).
    EncodeRunRecord({0x1000, 500, 1, kT0, kT0 + 1, 1}, r);
    f.Write(49, r, 22);
    EncodeRunRecord({0x9000, 700, 2, kT0 + 50, kT0 + 60, 1}, r);
    f.Write(page1, r, 22);
    EncodeRunRecord({0x5000, 300, 1, kT0 + 5, kT0 + 9, 1}, r);
    f.Write(page1 + 22, r, 22);
  }
  ScanParameters p;
  p.brand = BrandDahua;
  p.mode = ScanModeDeep;
  p.version = 2;
  p.task_path = tmp.File("t.tak");
  ASSERT_TRUE(ReadTaskHead(p, true));
  EXPECT_EQ(TaskPageCount(p), 2);
  LoadTaskPage(p, 1);
  ASSERT_EQ(p.recordings.size(), 1u);
  const auto& rec = p.recordings[0];
  ASSERT_EQ(rec.fragments.size(), 2u);  // page 0's run is not on this page
  EXPECT_EQ(rec.fragments[0], (FragmentExtent{0x5000, 300}));
  EXPECT_EQ(rec.fragments[1], (FragmentExtent{0x9000, 700}));
  EXPECT_EQ(rec.channel, 1);
  EXPECT_EQ(rec.start_time, kT0 + 5);
  EXPECT_EQ(rec.end_time, kT0 + 60);
  EXPECT_EQ(rec.size, 1000);
  LoadTaskPage(p, 0);
  ASSERT_EQ(p.recordings.size(), 1u);
  EXPECT_EQ(p.recordings[0].fragments[0].offset, 0x1000);
}

// Records of bytes no device has (an offset of 2^63 or more, or an end past
// the largest offset) are dropped by every reader, before any offset is
// added to; so are the empty chunks of a body of zeros, which would
// otherwise all be kept.
TEST(DahuaTaskReaders, RecordsOutsideDeviceOffsetsAndEmptyChunksAreNotKept) {
  synth::TempDir tmp;
  const std::string path = tmp.File("t.tak");
  constexpr uint64_t kTop = 0x8000000000000000ULL;
  const uint64_t offsets[] = {kTop, kTop - 64, 0x400000};
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  auto load = [&](int32_t mode, int32_t version, const std::vector<uint8_t>& body,
                  int64_t zeros = 0) {
    TaskHead head;
    head.mode = mode;
    head.version = version;
    head.brand = BrandHuayi;
    head.file_length = 49 + static_cast<int64_t>(body.size()) + zeros;
    WriteTask(path, head, body);
    std::filesystem::resize_file(path, static_cast<uintmax_t>(head.file_length));
    ScanParameters p;
    p.brand = BrandHuayi;
    p.task_path = path;
    LoadTaskPage(p, 0);
    std::vector<FragmentExtent> all;
    for (const auto& r : p.recordings)
      for (const auto& f : r.fragments) all.push_back(f);
    return all;
  };
  {  // version 1: chunks whose runs reach their end, a head of 100 bytes each
    std::vector<uint8_t> body;
    for (uint64_t offset : offsets) {
      ChunkSummary s;
      s.offset = static_cast<int64_t>(offset);
      s.length = 0x200000;
      s.first_time = s.last_time = kT0;
      s.reaches_end = 1;
      s.head_length = 100;
      body.resize(body.size() + ChunkRecordSize(s));
      EncodeChunkRecord(s, body.data() + body.size() - ChunkRecordSize(s));
    }
    EXPECT_EQ(load(ScanModeDeep, 1, body, 64 << 20),
              (std::vector<FragmentExtent>{{0x400000 + 100, 0x200000 - 100}}));
    EXPECT_EQ(sink.last_found().found_count, 1);
  }
  {  // version 2
    std::vector<uint8_t> body(3 * 22);
    for (int k = 0; k < 3; ++k)
      EncodeRunRecord({static_cast<int64_t>(offsets[k]), 100, 1, kT0, kT0, 1}, &body[k * 22]);
    EXPECT_EQ(load(ScanModeDeep, 2, body), (std::vector<FragmentExtent>{{0x400000, 100}}));
  }
  {  // fast parse: one area's blocks and its terminator
    std::vector<uint8_t> body(4 * 33, 0);
    for (int k = 0; k < 3; ++k) {
      FastRecord r = Block(static_cast<uint32_t>(k), 1, 100, 100);
      r.offset = offsets[k];
      EncodeFastRecord(r, &body[k * 33]);
    }
    EXPECT_EQ(load(ScanModeFast, 1, body), (std::vector<FragmentExtent>{{0x400000, 0x100000}}));
  }
}

// A table whose slots all lead to one index (a crafted or damaged disk):
// the index is read once. And a stop ends the parse before the next area.
TEST(DahuaFastParse, EachIndexIsReadOnceAndAStopEndsTheAreas) {
  synth::TempDir tmp;
  const int32_t brand = BrandDahua;
  const DahuaVariant& v = DahuaVariantFor(brand);
  synth::DahuaDisk disk(brand, tmp.File("d.img"), 16 << 20);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.block_size = 0x100000;
  area.entries = 16;
  area.index_offset = 0x1000;   // index at 0x201000, 512 bytes
  area.data_offset = 0x100000;  // data at 0x300000
  disk.AddArea(area);
  for (uint32_t b : {0u, 3u}) {
    synth::DahuaRecordingSpec r;
    r.blocks = {b};
    r.frames = 5;
    r.end = synth::BlockEnd::kOpen;
    r.start_time = kT0;
    disk.Plant(r);
  }
  disk.Finish();
  // Three more slots, with bases between the first area's base and its
  // index; their headers lead to that index (the last one to an index of
  // twice the entries that ends inside it) and to the same data.
  auto header_at = [](int k) { return int64_t{0x202000} + k * 512; };
  for (int k = 1; k <= 3; ++k) {
    const int64_t base = 0x200000 + k * 512;
    const int64_t index = k == 3 ? 0x200E00 : 0x201000;
    uint8_t field[8];
    StoreLE64(field, static_cast<uint64_t>(header_at(k) - base) / 512);
    disk.image().Write(static_cast<int64_t>(v.first_slot) + k * 64, field, 8);
    StoreLE64(field, static_cast<uint64_t>(base) / 512);
    disk.image().Write(static_cast<int64_t>(v.first_slot + v.base_field) + k * 64, field, 8);
    uint8_t h[512] = {};
    StoreLE32(h + 0x2C, 512);             // unit
    StoreLE32(h + 0x30, 0x100000 / 512);  // units per block
    StoreLE32(h + 0x44, static_cast<uint32_t>((index - base) / 512));
    StoreLE32(h + 0x48, static_cast<uint32_t>((0x300000 - base) / 512));
    StoreLE32(h + 0x4C, k == 3 ? 32 : 16);
    StoreLE32(h + 0x148, kDahuaAreaMarker);
    disk.image().Write(header_at(k), h, sizeof h);
  }
  const DeviceInfo dev = synth::ImageDevice(tmp.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, brand, ScanModeFast, 1, tmp.File("t.tak"));
  ParseAndLoad(p);
  // Two blocks in use and one terminator, read from the first area only.
  EXPECT_EQ(p.head.file_length, 49 + 3 * 33);
  EXPECT_EQ(p.recordings.size(), 2u);

  struct StopSink final : NotifySink {
    ScanParameters* p = nullptr;
    int areas = 0;
    void Text(NotifyCode, std::string_view) override {}
    void Found(const ScanProgress&) override {}
    void Range(int64_t) override { ++areas; }
    void Totals(const ExportTotals&) override {}
    void Position(int64_t) override { p->stop.store(1); }
  } stop;
  // Each slot with an index of its own now; the stop comes while the first
  // area's index is read.
  for (int k = 1; k <= 3; ++k) {
    uint8_t units[4];
    StoreLE32(units, static_cast<uint32_t>((0x204000 + k * 0x1000 - (0x200000 + k * 512)) / 512));
    disk.image().Write(header_at(k) + 0x44, units, 4);
  }
  stop.p = &p;
  {
    ScopedNotifySink scope(&stop);
    RunParse(p);
  }
  EXPECT_EQ(stop.areas, 1);
  EXPECT_EQ(p.head.file_length, 49 + 3 * 33);
}

TEST(DahuaFastParse, AnIndexRunningPastTheMediumEndCostsOneMessage) {
  synth::TempDir tmp;
  synth::DahuaDisk disk(BrandDahua, tmp.File("d.img"), 16 << 20);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.block_size = 0x100000;
  area.entries = 16;
  area.index_offset = 0x1000;
  area.data_offset = 0x100000;
  disk.AddArea(area);
  synth::DahuaRecordingSpec r;
  r.blocks = {2};
  r.frames = 5;
  r.end = synth::BlockEnd::kOpen;
  r.start_time = kT0;
  disk.Plant(r);
  disk.Finish();
  // The header claims a million entries: 32 MB of index on a 16 MiB disk.
  uint8_t count[4];
  StoreLE32(count, 1000000);
  disk.image().Write(0x200000 + 512 + 0x4C, count, 4);
  const DeviceInfo dev = synth::ImageDevice(tmp.File("d.img"));
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  ScanParameters p;
  SetUpParse(p, dev, BrandDahua, ScanModeFast, 1, tmp.File("t.tak"));
  ParseAndLoad(p);
  EXPECT_EQ(sink.Count(kMsgReadFailed), 1);
  bool planted = false;
  for (const auto& rec : p.recordings) planted |= rec.fragments[0].offset == 0x300000 + 0x200000;
  EXPECT_TRUE(planted);
}

}  // namespace
}  // namespace orvane
