// The WFS engine under bad sectors, stops and resumes, damaged task files and
// refused settings.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "engines/wfs/wfs_align.h"
#include "engines/wfs/wfs_blocks.h"
#include "engines/wfs/wfs_engine.h"
#include "engines/wfs/wfs_segments.h"
#include "engines/wfs/wfs_test_util.h"
#include "scan/task_head.h"

namespace orvane {
namespace {

using synth::PackTime;
using synth::WfsDisk;
using wfs_test::WfsRun;

constexpr int64_t kB = 0x200000;

uint32_t At(int hour) { return PackTime(2016, 5, 17, hour, 0, 0); }

struct Disk {
  synth::TempDir dir;
  WfsDisk disk{dir.File("wfs.img")};
  Disk() {
    disk.Plant(1, At(10), {1, 4, 7});
    disk.Plant(2, At(12), {2, 5, 9});
    disk.Plant(3, At(14), {3, 6, 11});
  }
};

std::vector<FragmentExtent> Frags(const RecordingEntry& r) {
  return {r.fragments.begin(), r.fragments.end()};
}

// Every 2 MiB block of the planted recordings ends inside some fragment
// that starts within that block: nothing of it beyond a chain's head is lost.
void ExpectEveryBlockLoaded(const WfsDisk& disk, const std::vector<RecordingEntry>& recs) {
  for (const auto& p : disk.planted())
    for (const auto& e : p.extents)
      for (int64_t at = e.offset; at < e.offset + e.length; at += kB) {
        bool found = false;
        for (const auto& r : recs)
          for (const auto& f : r.fragments)
            found |= f.offset >= at && f.offset < at + kB && f.offset + f.length == at + kB;
        EXPECT_TRUE(found) << "block at " << at;
      }
}

TEST(WfsBadSectors, FastParseLosesOnlyTheEntriesOfTheBadSector) {
  Disk t;
  t.disk.Plant(4, At(16), {17, 20});
  // Entries 0..15 share the first sector of the index.
  const ByteRange bad{t.disk.index_start(), t.disk.index_start() + 512};
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  WfsRun run;
  wfs_test::SetUp(run, synth::FaultyImageDevice(t.disk.path(), {bad}), t.dir.File("f.tak"),
                  ScanModeFast);
  wfs_test::ParseAndLoad(run.params);
  EXPECT_TRUE(sink.Has(kMsgReadFailed));
  EXPECT_TRUE(sink.Has("快速解析WFS监控录像任务完成"));
  ASSERT_EQ(run.params.recordings.size(), 1u);
  EXPECT_EQ(run.params.recordings[0].channel, 4);
  EXPECT_EQ(Frags(run.params.recordings[0]), t.disk.planted()[3].extents);
}

TEST(WfsBadSectors, DeepParseGoesOnAndKeepsEverythingAroundTheBadSector) {
  Disk t;
  t.disk.WipeIndex();
  // One bad sector in the middle of the first block of recording 2's second segment.
  const int64_t hit = t.disk.segment_offset(5) + 0x100000;
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  WfsRun run;
  wfs_test::SetUp(run, synth::FaultyImageDevice(t.disk.path(), {{hit, hit + 512}}),
                  t.dir.File("d.tak"), ScanModeDeep);
  run.params.smart_value = t.disk.geometry().smart_value;
  wfs_test::ParseAndLoad(run.params);
  EXPECT_TRUE(sink.Has(kMsgReadFailed));
  EXPECT_TRUE(sink.Has("深度解析WFS监控录像任务完成"));
  EXPECT_EQ(run.params.head.scan_position, run.params.region_end);
  const auto& recs = run.params.recordings;
  ExpectEveryBlockLoaded(t.disk, recs);
  // The recordings the bad sector does not touch come back whole.
  auto whole = [&](const synth::WfsPlanted& p) {
    return std::any_of(recs.begin(), recs.end(), [&](const RecordingEntry& r) {
      return synth::ReadExtents(t.disk.path(), r.fragments) ==
             synth::ReadExtents(t.disk.path(), p.extents);
    });
  };
  EXPECT_TRUE(whole(t.disk.planted()[0]));
  EXPECT_TRUE(whole(t.disk.planted()[2]));
}

// Sets the stop flag once a number of blocks were reported.
class StopAfter final : public NotifySink {
 public:
  StopAfter(ScanParameters& p, int blocks) : p_(p), left_(blocks) {}
  void Text(NotifyCode, std::string_view) override {}
  void Found(const ScanProgress&) override {
    if (--left_ == 0) p_.stop.store(1);
  }
  void Range(int64_t) override {}
  void Position(int64_t) override {}
  void Totals(const ExportTotals&) override {}

 private:
  ScanParameters& p_;
  int left_;
};

TEST(WfsDeepResume, AStoppedScanContinuesWithoutRecordingABlockTwice) {
  Disk t;
  t.disk.WipeIndex();
  WfsRun run;
  wfs_test::SetUp(run, synth::ImageDevice(t.disk.path()), t.dir.File("r.tak"), ScanModeDeep);
  run.params.smart_value = t.disk.geometry().smart_value;
  {
    StopAfter stopper(run.params, 12);
    ScopedNotifySink scoped(&stopper);
    RunParse(run.params);
  }
  ASSERT_TRUE(ReadTaskHead(run.params, true));
  const int64_t reached = run.params.head.scan_position;
  EXPECT_EQ(reached, t.disk.geometry().smart_value + 12 * kB);
  ApplyTaskHead(run.params);
  EXPECT_EQ(run.params.region_start, reached);
  run.params.continue_flag = 1;
  RunParse(run.params);
  ReadTaskHead(run.params, true);
  ApplyTaskHead(run.params);
  LoadTaskPage(run.params, 0);

  const auto& recs = run.params.recordings;
  ASSERT_EQ(recs.size(), 3u);
  int64_t total = 0;
  for (const auto& r : recs) total += r.fragments.size();
  EXPECT_EQ(total, 18);
  for (size_t k = 0; k < 3; ++k)
    EXPECT_EQ(synth::ReadExtents(t.disk.path(), recs[k].fragments),
              synth::ReadExtents(t.disk.path(), t.disk.planted()[k].extents));
}

TEST(WfsDeepParse, RefusesABufferThatCannotBeAllocated) {
  for (int32_t buffer : {0x7FFFFE00, 0, -4096}) {
    Disk t;
    synth::CapturingSink sink;
    ScopedNotifySink scoped(&sink);
    WfsRun run;
    wfs_test::SetUp(run, synth::ImageDevice(t.disk.path()), t.dir.File("b.tak"), ScanModeDeep);
    run.params.buffer = buffer;
    RunParse(run.params);
    EXPECT_TRUE(sink.Has("错误编码：008")) << buffer;
  }
}

// A task file of a head and arbitrary body bytes.
void WriteTask(const std::string& path, int32_t mode, int32_t version, const std::vector<uint8_t>& body,
               int64_t claimed_length = -1) {
  TaskHead h;
  h.mode = mode;
  h.version = version;
  h.brand = BrandWfs;
  h.time_kind = TimePacked;
  h.file_length = claimed_length >= 0 ? claimed_length : kTaskHeadSize + static_cast<int64_t>(body.size());
  uint8_t head[kTaskHeadSize];
  h.Encode(head);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(head), sizeof head);
  out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

size_t Load(const std::string& path, int32_t page = 0) {
  WfsRun run;
  DeviceInfo none;
  wfs_test::SetUp(run, none, path, ScanModeDeep);
  run.params.task_path = path;
  ReadTaskHead(run.params, true);
  ApplyTaskHead(run.params);
  LoadTaskPage(run.params, page);
  for (const auto& r : run.params.recordings)
    for (const auto& f : r.fragments) EXPECT_GE(f.offset, 0);
  return run.params.recordings.size();
}

TEST(WfsTaskReading, DamagedBodiesLoadWithoutOverReadOrHang) {
  synth::TempDir dir;
  const std::string path = dir.File("bad.tak");
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    for (int32_t version : {1, 2}) {
      WriteTask(path, ScanModeDeep, version, Noise(3 << 20, seed));
      Load(path);
    }
    WriteTask(path, ScanModeFast, 1, Noise(1 << 20, seed));
    Load(path);
  }
  // A head claiming far more than the file holds.
  WriteTask(path, ScanModeDeep, 1, Noise(4096, 9), int64_t{1} << 40);
  Load(path);
  WriteTask(path, ScanModeDeep, 2, Noise(4096, 9), int64_t{1} << 40);
  Load(path);
}

// A version-2 body cut inside its second record, by the file's end or by
// the head's length: only the whole record is loaded.
TEST(WfsTaskReading, DeepRecordCutByTheEndIsNotLoaded) {
  synth::TempDir dir;
  std::vector<uint8_t> body(2 * 22, 0);
  for (int k = 0; k < 2; ++k) {
    StoreLE64(&body[k * 22], 0x100000 + k * 0x200000);
    StoreLE32(&body[k * 22 + 8], 0x200000);
    body[k * 22 + 12] = 0;
    StoreLE32(&body[k * 22 + 13], synth::PackTime(2016, 5, 17, 10, 0, k));
    StoreLE32(&body[k * 22 + 17], synth::PackTime(2016, 5, 17, 10, 0, k));
  }
  for (bool by_head : {false, true}) {
    std::vector<uint8_t> written = body;
    if (!by_head) written.resize(22 + 12);
    WriteTask(dir.File("t.tak"), ScanModeDeep, 2, written, by_head ? kTaskHeadSize + 22 + 12 : -1);
    WfsRun run;
    DeviceInfo none;
    wfs_test::SetUp(run, none, dir.File("t.tak"), ScanModeDeep, 2);
    ReadTaskHead(run.params, true);
    ApplyTaskHead(run.params);
    LoadTaskPage(run.params, 0);
    ASSERT_EQ(run.params.recordings.size(), 1u) << by_head;
    ASSERT_EQ(run.params.recordings[0].fragments.size(), 1u) << by_head;
    EXPECT_EQ(run.params.recordings[0].fragments[0].offset, 0x100000) << by_head;
  }
}

// Records of bytes no device has (an offset of 2^63 or more, or an end past
// the largest offset) are dropped by every reader; so are the empty blocks
// of a body of zeros, which would otherwise all be kept.
TEST(WfsTaskReading, RecordsOutsideDeviceOffsetsAndEmptyBlocksAreNotKept) {
  synth::TempDir dir;
  const std::string path = dir.File("t.tak");
  constexpr uint64_t kTop = 0x8000000000000000ULL;
  const uint32_t t = PackTime(2016, 5, 17, 10, 0, 0);
  auto load = [&](int32_t mode, int32_t version) {
    WfsRun run;
    DeviceInfo none;
    wfs_test::SetUp(run, none, path, mode, version);
    LoadTaskPage(run.params, 0);
    std::vector<FragmentExtent> all;
    for (const auto& r : run.params.recordings)
      for (const auto& f : r.fragments) all.push_back(f);
    return all;
  };
  {  // version 1: two hostile blocks, a good one, then 64 MiB of zeros
    std::vector<uint8_t> body;
    for (uint64_t offset : {kTop, kTop - 64, uint64_t{0x400000}}) {
      wfs::BlockRecord r;
      r.offset = offset;
      r.length = static_cast<uint32_t>(kB);
      r.first_time = r.last_time = t;
      r.clean = 1;
      wfs::EncodeBlockRecord(r, body);
    }
    const int64_t length = kTaskHeadSize + static_cast<int64_t>(body.size()) + (64 << 20);
    WriteTask(path, ScanModeDeep, 1, body, length);
    std::filesystem::resize_file(path, static_cast<uintmax_t>(length));
    synth::CapturingSink sink;
    ScopedNotifySink scope(&sink);
    EXPECT_EQ(load(ScanModeDeep, 1),
              (std::vector<FragmentExtent>{{0x400000, static_cast<uint32_t>(kB)}}));
    EXPECT_EQ(sink.last_found().found_count, 1);
  }
  {  // version 2
    std::vector<uint8_t> body(3 * 22, 0);
    const wfs::TimedExtent recs[] = {
        {kTop, 100, 0, t, t}, {kTop - 64, 100, 0, t, t}, {0x400000, 100, 0, t, t}};
    for (int k = 0; k < 3; ++k) wfs::EncodeTimedExtent(recs[k], &body[k * 22]);
    WriteTask(path, ScanModeDeep, 2, body);
    EXPECT_EQ(load(ScanModeDeep, 2), (std::vector<FragmentExtent>{{0x400000, 100}}));
  }
  {  // fast parse: a run of two segments ended by a terminator
    std::vector<uint8_t> body(3 * 33, 0);
    wfs::SegmentRecord s;
    s.channel = 1;
    s.size = 100;
    s.start_time = s.end_time = t;
    s.offset = kTop - 64;
    wfs::EncodeSegmentRecord(s, &body[0]);
    s.entry = 1;
    s.offset = 0x400000;
    wfs::EncodeSegmentRecord(s, &body[33]);
    WriteTask(path, ScanModeFast, 1, body);
    EXPECT_EQ(load(ScanModeFast, 1), (std::vector<FragmentExtent>{{0x400000, 100}}));
  }
}

TEST(WfsTaskReading, FastBodyWithoutTerminatorYieldsNothing) {
  synth::TempDir dir;
  std::vector<uint8_t> body(5 * 33, 0);
  for (int k = 0; k < 5; ++k) {
    body[k * 33] = 1;   // channel
    body[k * 33 + 21] = 0x10;  // size
  }
  WriteTask(dir.File("t.tak"), ScanModeFast, 1, body);
  EXPECT_EQ(Load(dir.File("t.tak")), 0u);
  body.resize(6 * 33, 0);
  WriteTask(dir.File("t.tak"), ScanModeFast, 1, body);
  EXPECT_EQ(Load(dir.File("t.tak")), 1u);  // all five at entry 0: one record kept
}

TEST(WfsTaskReading, MissingFileIsReported) {
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  WfsRun run;
  DeviceInfo none;
  wfs_test::SetUp(run, none, "/nonexistent/x.tak", ScanModeFast);
  WfsEngine(run.params).ReadTaskPage(0);
  EXPECT_TRUE(sink.Has("load task file error"));
}

// A medium of any size that reads as zeros and remembers where the first
// device opened on it (the scan's own, not a survey's) read it.
struct ZeroMedium {
  int64_t size;
  std::shared_ptr<std::vector<int64_t>> reads = std::make_shared<std::vector<int64_t>>();
  std::shared_ptr<std::atomic<int>> opened = std::make_shared<std::atomic<int>>(0);
  ScanParameters* stop_after_first = nullptr;
  DeviceInfo Device() const {
    DeviceInfo d;
    d.kind = kDeviceKindImage;
    d.name = "zeros";
    d.size = size;
    auto reads_ = reads;
    auto size_ = size;
    auto stop = stop_after_first;
    auto opened_ = opened;
    d.backend = std::make_shared<const BackendFactory>([=]() -> std::unique_ptr<ReadBackend> {
      struct Backend final : ReadBackend {
        int64_t size;
        std::shared_ptr<std::vector<int64_t>> reads;
        ScanParameters* stop;
        int64_t ReadAt(int64_t offset, void* buf, size_t len) override {
          if (reads) reads->push_back(offset);
          if (stop) stop->stop.store(1);
          if (offset >= size) return 0;
          const size_t n = static_cast<size_t>(std::min<int64_t>(len, size - offset));
          std::memset(buf, 0, n);
          return static_cast<int64_t>(n);
        }
        int64_t Size() override { return size; }
      };
      auto b = std::make_unique<Backend>();
      b->size = size_;
      b->reads = opened_->fetch_add(1) == 0 ? reads_ : nullptr;
      b->stop = stop;
      return b;
    });
    return d;
  }
};

TEST(WfsSmartValue, SixGiBAreProbedOnceBeyondThatNineTimes) {
  for (int64_t extra : {0, 1}) {
    synth::CapturingSink sink;
    ScopedNotifySink scoped(&sink);
    WfsRun run;
    ZeroMedium medium{(int64_t{6} << 30) + extra};
    medium.stop_after_first = &run.params;
    wfs_test::SetUp(run, medium.Device(), "", ScanModeDeep);
    EXPECT_EQ(WfsEngine(run.params).DetectSmartValue(), -1);
    ASSERT_FALSE(medium.reads->empty());
    const int64_t tenth = medium.size / 10;
    EXPECT_EQ(medium.reads->front(), tenth - tenth % 512);
    EXPECT_EQ(sink.last_range(), extra ? 9 : 0);
  }
  // Nothing found: the scan job falls back to 0x120000.
  WfsRun run;
  ZeroMedium medium{64 << 20};
  wfs_test::SetUp(run, medium.Device(), "", ScanModeDeep);
  EXPECT_EQ(ResolveSmartValue(run.params), 0x120000);
}

TEST(WfsSmartValue, BracketsNarrowToOneSector) {
  wfs::AlignmentVotes v;
  v.Vote(10, 20);
  v.Vote(12, 30);
  EXPECT_FALSE(v.decided());
  EXPECT_EQ(v.low(), 12);
  EXPECT_EQ(v.high(), 20);
  v.Vote(25, 24);  // backwards: no break at all
  EXPECT_EQ(v.high(), 20);
  v.Vote(19, 40);
  ASSERT_TRUE(v.decided());
  v.CountDecision();
  EXPECT_EQ(v.low(), -1);
  v.Vote(100, 200);
  v.Vote(300, 400);  // beyond the bracket: a new one
  EXPECT_EQ(v.low(), 300);
  EXPECT_EQ(v.Result(), 20 * 512);
}

}  // namespace
}  // namespace orvane
