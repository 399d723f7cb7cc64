#include "engines/boli/boli_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "scan/dispatch.h"
#include "scan/task_head.h"
#include "synth/boli_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using synth::BoliPlanted;
using synth::ReversedTime;

constexpr int64_t kMiB = 1 << 20;

uint8_t* Header(std::vector<uint8_t>& b, uint32_t length, uint32_t time) {
  b.assign(20, 0);
  StoreLE32(&b[4], length);
  StoreLE32(&b[12], time);
  b[19] = 1;
  return b.data();
}

TEST(BoliFrame, HeaderAndTimeTestsHoldAtTheirLimits) {
  const uint32_t t = ReversedTime(2018, 12, 31, 23, 59, 59);
  std::vector<uint8_t> b;
  EXPECT_FALSE(IsBoliFrameHeader(Header(b, 15, t)));
  EXPECT_TRUE(IsBoliFrameHeader(Header(b, 16, t)));
  EXPECT_TRUE(IsBoliFrameHeader(Header(b, 0x800000, t)));
  EXPECT_FALSE(IsBoliFrameHeader(Header(b, 0x800001, t)));
  Header(b, 100, t);
  b[18] = 1;  // 00 00 01 01 is not the start code
  EXPECT_FALSE(IsBoliFrameHeader(b.data()));

  EXPECT_TRUE(IsValidReversedTime(t));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2012, 5, 1, 0, 0, 0)));
  EXPECT_TRUE(IsValidReversedTime(ReversedTime(2013, 1, 1, 0, 0, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2018, 0, 1, 0, 0, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2018, 13, 1, 0, 0, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2018, 1, 0, 0, 0, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2018, 1, 1, 24, 0, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2018, 1, 1, 0, 60, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2018, 1, 1, 0, 0, 60)));
  // Recorders still running today carry later years, up to the plausible end.
  EXPECT_TRUE(IsValidReversedTime(ReversedTime(2024, 6, 1, 0, 0, 0)));
  EXPECT_TRUE(IsValidReversedTime(ReversedTime(2037, 6, 1, 0, 0, 0)));
  EXPECT_FALSE(IsValidReversedTime(ReversedTime(2038, 6, 1, 0, 0, 0)));

  // The sort key orders by time whatever the field layout.
  EXPECT_LT(ReversedToPacked(ReversedTime(2018, 1, 31, 23, 59, 59)),
            ReversedToPacked(ReversedTime(2018, 2, 1, 0, 0, 0)));
  EXPECT_EQ(ReversedToPacked(ReversedTime(2018, 10, 5, 1, 2, 3)),
            (18u << 26) | (10u << 22) | (5u << 17) | (1u << 12) | (2u << 6) | 3u);
}

TEST(BoliFrame, DiskHeaderNeedsEveryField) {
  synth::Bytes s = synth::BoliHeaderSector();
  EXPECT_TRUE(IsBoliHeader(s));
  EXPECT_FALSE(IsBoliHeader(std::span<const uint8_t>(s.data(), 0x6A)));
  auto broken = [&](size_t at, uint8_t v) {
    synth::Bytes c = s;
    c[at] = v;
    return !IsBoliHeader(c);
  };
  EXPECT_TRUE(broken(0x21, 0x00));  // first bound 0
  EXPECT_TRUE(broken(0x28, 0x01));  // second bound not a multiple of 512
  EXPECT_TRUE(broken(0x32, 0x00));  // third bound below the second
  EXPECT_TRUE(broken(0x43, 0x00));
  EXPECT_TRUE(broken(0x61, 0x00));
  EXPECT_TRUE(broken(0x67, 0x01));
  EXPECT_TRUE(broken(0x68, 0x00));  // 0x400 -> 0: below 0x400
}

TEST(BoliRecord, EncodesSeventeenPackedBytes) {
  const BoliFrameRecord r{7, 0x11223344, 0x55667788, 0x0102030405060708ULL};
  uint8_t b[kBoliRecordSize];
  EncodeBoliRecord(r, b);
  EXPECT_EQ(b[0], 7);
  EXPECT_EQ(LoadLE32(b + 1), 0x11223344u);
  EXPECT_EQ(LoadLE32(b + 5), 0x55667788u);
  EXPECT_EQ(LoadLE64(b + 9), 0x0102030405060708ULL);
  EXPECT_EQ(DecodeBoliRecord(b), r);
}

struct Fixture {
  synth::TempDir dir;
  synth::CapturingSink sink;
  ScopedNotifySink scoped{&sink};
  DeviceInfo device;
  ScanParameters p;

  void Parse(int mode, const DeviceInfo& d) {
    device = d;
    p.source = &device;
    p.task_path = dir.File("boli.tak");
    p.brand = BrandBoli;
    p.mode = mode;
    p.version = 1;
    p.region_start = 0;
    p.region_end = d.size;
    p.smart_value = 0;
    RunParse(p);
  }
  void Load(int32_t page = 0) { LoadTaskPage(p, page); }
};

void ExpectExtents(const RecordingEntry& e, const std::vector<BoliPlanted>& want) {
  ASSERT_EQ(e.fragments.size(), want.size());
  int64_t size = 0;
  for (uint32_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(e.fragments[k].offset, want[k].offset) << k;
    EXPECT_EQ(e.fragments[k].length, want[k].size) << k;
    size += want[k].size;
  }
  EXPECT_EQ(e.size, size);
  EXPECT_EQ(e.start_time, want.front().time);
  EXPECT_EQ(e.end_time, want.back().time);
}

TEST(BoliScan, RoundTripFastAndDeepWithChannelsInTimeOrder) {
  for (int mode : {ScanModeFast, ScanModeDeep}) {
    Fixture fx;
    const std::string path = fx.dir.File("boli.img");
    synth::SparseImage img(path, 64 * kMiB);
    // Channels 1 and 2 interleaved in one run, channel 1 in a second run
    // whose frames are earlier than the first run's.
    std::vector<synth::BoliFrameSpec> mixed;
    const uint32_t t0 = ReversedTime(2016, 3, 9, 10, 0, 0);
    for (int k = 0; k < 20; ++k)
      mixed.push_back({static_cast<uint8_t>(1 + k % 2), synth::AddReversedSeconds(t0, 100 + k),
                       synth::TestFrames()[k]});
    const auto early = synth::BoliStreamFrames(1, t0, 10);
    const auto disk = synth::BuildBoliDisk(img, {{3 * kMiB + 77, mixed}, {40 * kMiB + 3, early}});

    fx.Parse(mode, synth::ImageDevice(path));
    EXPECT_TRUE(fx.sink.Has(mode == 1 ? "正在快速解析波粒监控录像..." : "正在深度解析波粒监控录像..."));
    EXPECT_TRUE(fx.sink.Has(mode == 1 ? "快速解析波粒监控录像任务完成" : "深度解析波粒监控录像任务完成"));
    EXPECT_TRUE(fx.sink.texts(NotifyCode::Error).empty());
    EXPECT_EQ(fx.p.head.time_kind, TimePackedReversed);
    EXPECT_EQ(fx.p.head.scan_position, fx.p.region_end);
    EXPECT_EQ(fx.p.head.file_length,
              static_cast<int64_t>(kTaskHeadSize + kBoliRecordSize * disk.recorded.size()));

    fx.Load();
    ASSERT_EQ(fx.p.recordings.size(), 2u);
    std::vector<BoliPlanted> ch1, ch2;
    for (const auto& f : disk.recorded) (f.channel == 1 ? ch1 : ch2).push_back(f);
    // Channel 1: the earlier run first, then its frames of the mixed run.
    std::stable_sort(ch1.begin(), ch1.end(), [](const BoliPlanted& a, const BoliPlanted& b) {
      return ReversedToPacked(a.time) < ReversedToPacked(b.time);
    });
    EXPECT_EQ(fx.p.recordings[0].channel, 1);
    ExpectExtents(fx.p.recordings[0], ch1);
    EXPECT_EQ(fx.p.recordings[1].channel, 2);
    ExpectExtents(fx.p.recordings[1], ch2);
    EXPECT_EQ(FormatTimeText(fx.p.head.time_kind, fx.p.recordings[0].start_time),
              "2016-03-09 10-00-00");
  }
}

TEST(BoliScan, LastFrameOfARunIsNotRecordedAndPairsAre) {
  Fixture fx;
  const std::string path = fx.dir.File("boli.img");
  synth::SparseImage img(path, 8 * kMiB);
  const auto disk = synth::BuildBoliDisk(
      img, {{kMiB, synth::BoliStreamFrames(3, ReversedTime(2017, 1, 1, 0, 0, 0), 1)},
            {2 * kMiB, synth::BoliStreamFrames(4, ReversedTime(2017, 1, 1, 0, 0, 0), 2)}});
  fx.Parse(ScanModeDeep, synth::ImageDevice(path));
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].channel, 4);
  ExpectExtents(fx.p.recordings[0], {disk.frames[1]});
}

TEST(BoliScan, SuccessorBehindTheBufferIsReadFromTheSourceAndTheNextBufferStartsThere) {
  Fixture fx;
  const std::string path = fx.dir.File("boli.img");
  synth::SparseImage img(path, 8 * kMiB);
  // A big frame that starts just before the 2 MiB mark: its successor lies
  // behind the first buffer, and the next buffer starts right at it.
  std::vector<synth::BoliFrameSpec> specs;
  const uint32_t t = ReversedTime(2015, 7, 7, 7, 7, 7);
  synth::Bytes big(300000, 0x5A);
  big[0] = big[1] = big[2] = 0;
  big[3] = 1;
  specs.push_back({9, t, big});
  for (int k = 1; k < 4; ++k)
    specs.push_back({9, synth::AddReversedSeconds(t, k), synth::TestFrames()[k]});
  const int64_t at = 0x200000 - 1000;
  const auto disk = synth::BuildBoliDisk(img, {{at, specs}});
  ASSERT_GT(disk.frames[1].offset, 0x200000 + 0x200);

  fx.device = synth::ImageDevice(fx.dir.File("boli.img"));
  fx.p.source = &fx.device;
  fx.p.region_end = fx.device.size;
  BoliEngine engine(fx.p);
  SourceDevice dev;
  dev.Open(fx.device);
  std::vector<uint8_t> buf(BoliEngine::kReadSize, 0);
  dev.Read(0, buf.data(), BoliEngine::kReadSize);
  const int64_t next = engine.ScanBuffer(dev, buf, 0);
  EXPECT_EQ(next, disk.frames[1].offset);
  ASSERT_EQ(engine.pending().size(), 1u);
  EXPECT_EQ(engine.pending()[0].offset, static_cast<uint64_t>(at));
  EXPECT_EQ(engine.pending()[0].size, disk.frames[0].size);

  // The whole scan records every frame of the run but the last.
  fx.Parse(ScanModeDeep, fx.device);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  ExpectExtents(fx.p.recordings[0], disk.recorded);
}

// Writes a Boli task file of records directly.
void WriteTask(const std::string& path, const std::vector<BoliFrameRecord>& records,
               int64_t repeat_last = 0) {
  std::ofstream out(path, std::ios::binary);
  TaskHead h;
  const int64_t count = static_cast<int64_t>(records.size()) + repeat_last;
  h.file_length = kTaskHeadSize + count * static_cast<int64_t>(kBoliRecordSize);
  h.mode = 2;
  h.brand = BrandBoli;
  h.version = 1;
  h.time_kind = TimePackedReversed;
  uint8_t head[kTaskHeadSize];
  h.Encode(head);
  out.write(reinterpret_cast<const char*>(head), sizeof head);
  std::vector<uint8_t> bytes(records.size() * kBoliRecordSize);
  for (size_t k = 0; k < records.size(); ++k) EncodeBoliRecord(records[k], &bytes[k * 17]);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (repeat_last > 0) {
    std::vector<uint8_t> block(1 << 20);
    const size_t per = block.size() / kBoliRecordSize;
    for (size_t k = 0; k < per; ++k) EncodeBoliRecord(records.back(), &block[k * 17]);
    for (int64_t left = repeat_last; left > 0;) {
      const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(per));
      out.write(reinterpret_cast<const char*>(block.data()), n * 17);
      left -= n;
    }
  }
}

TEST(BoliTask, AChannelPastOneGibibyteSplitsAfterTheFrameThatCrossesIt) {
  Fixture fx;
  std::vector<BoliFrameRecord> recs;
  const uint32_t t = ReversedTime(2018, 4, 1, 0, 0, 0);
  // 1.5 GiB of frames of channel 5, stored out of time order.
  for (int k = 191; k >= 0; --k)
    recs.push_back({5, 0x800010, synth::AddReversedSeconds(t, k),
                    static_cast<uint64_t>(k) * 0x800010});
  fx.p.task_path = fx.dir.File("big.tak");
  WriteTask(fx.p.task_path, recs);
  fx.p.brand = BrandBoli;
  fx.p.mode = 2;
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 2u);
  const auto& a = fx.p.recordings[0];
  const auto& b = fx.p.recordings[1];
  // 127 frames stay below 0x3FFFFFFF; the 128th takes the group past it.
  EXPECT_EQ(a.fragments.size(), 128u);
  EXPECT_EQ(b.fragments.size(), 64u);
  EXPECT_EQ(a.size, 128LL * 0x800010);
  EXPECT_EQ(a.fragments[0].offset, 0);
  EXPECT_EQ(a.fragments[127].offset, 127LL * 0x800010);
  EXPECT_EQ(b.start_time, synth::AddReversedSeconds(t, 128));
  EXPECT_EQ(b.end_time, synth::AddReversedSeconds(t, 191));
  EXPECT_EQ(fx.sink.last_found().found_count, 192);
}

TEST(BoliTask, DamagedTaskFilesLoadWhatIsWholeAndNothingMore) {
  Fixture fx;
  const uint32_t t = ReversedTime(2018, 4, 1, 0, 0, 0);
  fx.p.task_path = fx.dir.File("damaged.tak");
  fx.p.brand = BrandBoli;
  fx.p.mode = 2;
  // A zero frame size ends its chunk; the records behind it in that chunk
  // are not read.
  WriteTask(fx.p.task_path, {{1, 100, t, 0}, {1, 0, t, 100}, {1, 100, t, 200}});
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].fragments.size(), 1u);

  // A head claiming far more than the file holds, and a cut last record.
  WriteTask(fx.p.task_path, {{1, 100, t, 0}, {2, 100, t, 100}});
  {
    std::fstream f(fx.p.task_path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t len[8];
    StoreLE64(len, 0x7FFFFFFFFFFFFFFFLL);
    f.write(reinterpret_cast<const char*>(len), 8);
  }
  std::filesystem::resize_file(fx.p.task_path, kTaskHeadSize + 17 + 10);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].channel, 1);
  fx.Load(1);
  EXPECT_TRUE(fx.p.recordings.empty());
  fx.Load(-1);
  EXPECT_TRUE(fx.p.recordings.empty());
}

TEST(BoliTask, FramesOutsideDeviceOffsetsAreDropped) {
  Fixture fx;
  const uint32_t t = ReversedTime(2018, 4, 1, 0, 0, 0);
  fx.p.task_path = fx.dir.File("hostile.tak");
  fx.p.brand = BrandBoli;
  fx.p.mode = 2;
  fx.p.version = 1;
  // Offsets of 2^63 and above, and an end past the largest offset; the
  // frame behind them is still read.
  WriteTask(fx.p.task_path, {{1, 100, t, 0x8000000000000000ULL},
                             {1, 100, t, 0xFFFFFFFFFFFFFFFFULL},
                             {1, 100, t, 0x7FFFFFFFFFFFFFC0ULL},
                             {1, 100, t, 4096}});
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  ASSERT_EQ(fx.p.recordings[0].fragments.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].fragments[0], (FragmentExtent{4096, 100}));
  EXPECT_EQ(fx.p.recordings[0].size, 100);
  EXPECT_EQ(fx.sink.last_found().found_count, 1);
}

TEST(BoliTask, APageHoldsTwentyMillionRecordsAndTheNextPageTheRest) {
  Fixture fx;
  fx.p.task_path = fx.dir.File("full.tak");
  const uint32_t t = ReversedTime(2018, 4, 1, 0, 0, 0);
  // Large frames keep the groups few; 20,000,001 records in all, the last
  // one of channel 9.
  WriteTask(fx.p.task_path, {{9, 0x800010, t, 0}}, kRecordsPerPage);
  {
    std::fstream f(fx.p.task_path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(kTaskHeadSize + kRecordsPerPage * 17);
    uint8_t rec[17];
    EncodeBoliRecord({10, 0x800010, t, 42}, rec);
    f.write(reinterpret_cast<const char*>(rec), 17);
  }
  fx.p.brand = BrandBoli;
  fx.p.mode = 2;
  fx.p.version = 1;
  ASSERT_TRUE(ReadTaskHead(fx.p, true));
  EXPECT_EQ(TaskPageCount(fx.p), 2);
  fx.Load(0);
  EXPECT_EQ(fx.sink.last_found().found_count, kRecordsPerPage);
  EXPECT_EQ(fx.p.stop.load(), 1);
  int64_t fragments = 0;
  for (const auto& e : fx.p.recordings) {
    EXPECT_EQ(e.channel, 9);
    fragments += e.fragments.size();
  }
  EXPECT_EQ(fragments, kRecordsPerPage);
  fx.Load(1);
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].channel, 10);
  EXPECT_EQ(fx.p.recordings[0].fragments[0].offset, 42);
  EXPECT_EQ(fx.p.stop.load(), 0);
}

TEST(BoliScan, BadSectorsCostOnlyWhatTheyCover) {
  Fixture fx;
  const std::string path = fx.dir.File("boli.img");
  synth::SparseImage img(path, 16 * kMiB);
  synth::Bytes big(200000, 0x33);
  big[3] = 1;
  big[0] = big[1] = big[2] = 0;
  const uint32_t t = ReversedTime(2016, 1, 2, 3, 4, 5);
  std::vector<synth::BoliFrameSpec> specs = synth::BoliStreamFrames(2, t, 30);
  specs.insert(specs.begin() + 15, {2, synth::AddReversedSeconds(t, 15), big});
  for (size_t k = 16; k < specs.size(); ++k) specs[k].time = synth::AddReversedSeconds(t, k);
  const auto disk = synth::BuildBoliDisk(img, {{5 * kMiB + 1234, specs}});
  // A bad spot inside the big frame's body; its header and its
  // successor's are readable.
  const int64_t bad_at = (disk.frames[15].offset + 50000) / 512 * 512;
  fx.Parse(ScanModeDeep, synth::FaultyImageDevice(path, {{bad_at, bad_at + 4096}}));
  EXPECT_TRUE(fx.sink.Has(kMsgReadFailed));
  EXPECT_EQ(fx.p.head.scan_position, fx.p.region_end);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  ExpectExtents(fx.p.recordings[0], disk.recorded);
}

TEST(BoliScan, StopKeepsThePositionAndContinueAppendsTheRest) {
  Fixture fx;
  const std::string path = fx.dir.File("boli.img");
  synth::SparseImage img(path, 16 * kMiB);
  const uint32_t t = ReversedTime(2016, 1, 2, 3, 4, 5);
  const auto disk = synth::BuildBoliDisk(img, {{kMiB, synth::BoliStreamFrames(1, t, 10)},
                                               {12 * kMiB, synth::BoliStreamFrames(2, t, 10)}});
  // A sink that stops the scan once it has passed the first run.
  struct StopSink : NotifySink {
    ScanParameters* p = nullptr;
    void Text(NotifyCode, std::string_view) override {}
    void Found(const ScanProgress&) override {}
    void Range(int64_t) override {}
    void Position(int64_t step) override {
      if (step >= 4) p->stop.store(1);
    }
    void Totals(const ExportTotals&) override {}
  } stopper;
  stopper.p = &fx.p;
  {
    ScopedNotifySink s(&stopper);
    fx.Parse(ScanModeDeep, synth::ImageDevice(path));
  }
  EXPECT_EQ(fx.p.head.scan_position, 4 * 0x200000);
  EXPECT_EQ(fx.p.head.file_length, kTaskHeadSize + 9 * 17);

  ASSERT_TRUE(ReadTaskHead(fx.p, true));
  ApplyTaskHead(fx.p);
  fx.p.continue_flag = 1;
  RunParse(fx.p);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 2u);
  EXPECT_EQ(fx.p.recordings[1].channel, 2);
  EXPECT_EQ(fx.p.head.file_length, static_cast<int64_t>(kTaskHeadSize + 18 * 17));
  EXPECT_EQ(fx.p.head.scan_position, 16 * kMiB);
}

}  // namespace
}  // namespace orvane
