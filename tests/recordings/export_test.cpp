// The export engine on plain images: names, chunks, the Dahua header rule,
// bad sectors, refused paths, ticks and totals, stop.

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "recordings/export.h"
#include "recordings/export_totals.h"
#include "recordings/recording_rows.h"
#include "scan/scan_parameters.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int64_t kMiB = 1 << 20;

// Positions and texts in order; stops the job at a chosen position.
class LogSink final : public NotifySink {
 public:
  void Text(NotifyCode, std::string_view text) override {
    std::lock_guard lock(mu_);
    texts.emplace_back(text);
  }
  void Found(const ScanProgress&) override {}
  void Range(int64_t steps) override {
    std::lock_guard lock(mu_);
    ranges.push_back(steps);
  }
  void Position(int64_t step) override {
    std::lock_guard lock(mu_);
    positions.push_back(step);
    if (stop && ++seen == stop_after) stop->store(1);
  }
  void Totals(const ExportTotals& t) override {
    std::lock_guard lock(mu_);
    totals.push_back({t.total_size, t.total_count, t.done_size, t.done_count});
  }
  int Count(std::string_view t) const { return static_cast<int>(std::count(texts.begin(), texts.end(), t)); }

  std::mutex mu_;
  std::vector<std::string> texts;
  std::vector<int64_t> ranges, positions;
  std::vector<std::array<int64_t, 4>> totals;
  std::atomic<int32_t>* stop = nullptr;
  int stop_after = -1;
  int seen = 0;
};

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes b(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x = x * 1664525u + 1013904223u;
    v = static_cast<uint8_t>(x >> 24);
  }
  return b;
}

RecordingEntry Entry(int64_t channel, std::vector<FragmentExtent> frags, uint32_t start = 0,
                     uint32_t end = 0) {
  RecordingEntry e;
  e.channel = channel;
  e.start_time = start;
  e.end_time = end;
  for (const auto& f : frags) {
    e.fragments.push_back(f);
    e.size += f.length;
  }
  return e;
}

// Packed time of a civil time.
uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 2000) << 26) | (mo << 22) | (d << 17) | (h << 12) | (mi << 6) | s;
}

struct Fixture {
  synth::TempDir dir;
  Bytes content = Pattern(12 * kMiB, 1);
  DeviceInfo device;
  ScanParameters p;
  std::string out = dir.File("out");

  explicit Fixture(std::vector<ByteRange> bad = {}) {
    {
      synth::SparseImage img(dir.File("src.img"), static_cast<int64_t>(content.size()));
      img.Write(0, content);
    }
    device = bad.empty() ? synth::ImageDevice(dir.File("src.img"))
                         : synth::FaultyImageDevice(dir.File("src.img"), bad);
    p.source = &device;
    p.brand = BrandHikvision;
    p.mode = ScanModeDeep;
    p.head.time_kind = TimePackedAlt;
  }
  Bytes Slice(int64_t off, int64_t len) const {
    return Bytes(content.begin() + off, content.begin() + off + len);
  }
};

TEST(ExportPath, NamesByChannelDateIndexAndTimes) {
  synth::TempDir dir;
  ScanParameters p;
  p.head.time_kind = TimePackedAlt;
  const RecordingEntry e =
      Entry(3, {}, Packed(2018, 10, 5, 1, 2, 3), Packed(2018, 10, 5, 1, 30, 0));
  const std::string base = dir.File("out");
  EXPECT_EQ(BuildExportPath(p, e, base, 12),
            base + "/channel 3/2018-10-05/12-2018-10-05 01-02-03-2018-10-05 01-30-00.dav");
  EXPECT_TRUE(fs::is_directory(base + "/channel 3/2018-10-05"));
  RecordingEntry wide = e;
  wide.channel = 255;
  EXPECT_EQ(BuildExportPath(p, wide, base + "/", 12),
            base + "/2018-10-05/12-2018-10-05 01-02-03-2018-10-05 01-30-00.dav");
  wide.channel = -2;  // below 255 as a signed number
  EXPECT_EQ(BuildExportPath(p, wide, base, 0).rfind(base + "/channel -2/", 0), 0u);
  p.head.time_kind = 9;
  EXPECT_EQ(BuildExportPath(p, e, base, 7), base + "/channel 3/7--.dav");
  p.head.time_kind = TimeUnixUtc;
  RecordingEntry unix_e = Entry(1, {}, 0, 86399);
  EXPECT_EQ(BuildExportPath(p, unix_e, base, 0),
            base + "/channel 1/1970-01-01/0-1970-01-01 00-00-00-1970-01-01 23-59-59.dav");
}

TEST(ExportRecording, CopiesFragmentsInOrderInTwoMiBChunks) {
  Fixture f;
  LogSink sink;
  ScopedNotifySink scoped(&sink);
  SourceDevice dev;
  dev.Open(f.device);
  const RecordingEntry e = Entry(1, {{5 * kMiB + 3, 5'000'000}, {100, 1000}}, Packed(2020, 1, 1, 0, 0, 0));
  const ExportedFile r = ExportRecording(f.out, e, f.p, dev, 4);
  EXPECT_TRUE(r.created && r.complete);
  EXPECT_EQ(sink.ranges, std::vector<int64_t>{5'001'000 / 2'097'152});
  EXPECT_EQ(sink.positions, (std::vector<int64_t>{1, 2, 2, 2}));
  Bytes want = f.Slice(5 * kMiB + 3, 5'000'000);
  const Bytes tail = f.Slice(100, 1000);
  want.insert(want.end(), tail.begin(), tail.end());
  EXPECT_EQ(synth::ReadWholeFile(r.path), want);
  EXPECT_EQ(r.written, 5'001'000);

  // No fragments: an empty file; small: a range of 0. Existing files are truncated.
  sink.ranges.clear();
  const ExportedFile empty = ExportRecording(f.out, Entry(1, {}), f.p, dev, 4);
  EXPECT_TRUE(empty.created);
  EXPECT_EQ(fs::file_size(empty.path), 0u);
  EXPECT_EQ(sink.ranges, std::vector<int64_t>{0});
}

TEST(ExportRecording, DahuaFastHeaderIsDroppedOnlyAtTheVeryStart) {
  Fixture f;
  uint8_t head[8];
  StoreLE32(head, 0x49494844);
  StoreLE32(head + 4, 0x200);
  std::copy(head, head + 8, f.content.begin());
  std::copy(head, head + 8, f.content.begin() + 4096);
  {
    synth::SparseImage img(f.dir.File("src.img"), static_cast<int64_t>(f.content.size()));
    img.Write(0, f.content);
  }
  ScopedNotifySink scoped(nullptr);
  SourceDevice dev;
  dev.Open(f.device);
  const RecordingEntry e = Entry(1, {{0, 2048}, {4096, 2048}});
  f.p.brand = BrandDahua;
  f.p.mode = ScanModeFast;
  ExportedFile r = ExportRecording(f.out, e, f.p, dev, 0);
  Bytes want = f.Slice(512, 2048 - 512);
  const Bytes second = f.Slice(4096, 2048);
  want.insert(want.end(), second.begin(), second.end());
  EXPECT_EQ(synth::ReadWholeFile(r.path), want);
  EXPECT_EQ(r.written, 2048 - 512 + 2048);
  // Not for deep parses, nor for other brands.
  f.p.mode = ScanModeDeep;
  r = ExportRecording(f.out, e, f.p, dev, 1);
  EXPECT_EQ(r.written, 4096);
}

TEST(ExportRecording, BadSectorsCostOnlyTheUnreadableBytesWhichAreZeroFilledAndReported) {
  // A drive that fails a whole request, and one that first returns the bytes
  // in front of the bad sector as a short read.
  for (const bool short_reads : {false, true}) {
    Fixture f({ByteRange::FromLength(4 * kMiB, 1024)});
    if (short_reads)
      f.device = synth::LinuxBadSectorImageDevice(f.dir.File("src.img"), {{4 * kMiB / 512, 2}});
    LogSink sink;
    ScopedNotifySink scoped(&sink);
    SourceDevice dev;
    dev.Open(f.device);
    const RecordingEntry e = Entry(1, {{kMiB, 6 * kMiB}});
    const ExportedFile r = ExportRecording(f.out, e, f.p, dev, 0);
    EXPECT_EQ(sink.Count("读取设备失败,可能存在坏道"), 1) << short_reads;
    // Zeros keep everything behind the bad sectors at its place.
    Bytes want = f.Slice(kMiB, 6 * kMiB);
    std::fill(want.begin() + 3 * kMiB, want.begin() + 3 * kMiB + 1024, 0);
    EXPECT_EQ(r.written, 6 * kMiB);
    EXPECT_EQ(synth::ReadWholeFile(r.path), want);
    EXPECT_EQ(r.loss.unreadable, 1024);
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.whole());
    EXPECT_EQ(sink.Count("无法读取(已补零) 字节数:1024 文件:" + r.path), 1);
  }
}

TEST(ExportRecording, BytesBeyondTheDeviceEndAreCountedNotWritten) {
  Fixture f;  // 12 MiB
  LogSink sink;
  ScopedNotifySink scoped(&sink);
  SourceDevice dev;
  dev.Open(f.device);
  // One fragment across the end, one wholly past it: one line for both.
  ExportedFile r = ExportRecording(f.out, Entry(1, {{10 * kMiB, 5 * kMiB}, {20 * kMiB, 1000}}),
                                   f.p, dev, 0);
  EXPECT_EQ(synth::ReadWholeFile(r.path), f.Slice(10 * kMiB, 2 * kMiB));
  EXPECT_EQ(r.loss.past_end, 3 * kMiB + 1000);
  EXPECT_EQ(r.loss.unreadable, 0);
  EXPECT_FALSE(r.whole());
  EXPECT_EQ(sink.Count("读取设备失败,可能存在坏道"), 0);
  EXPECT_EQ(sink.texts.size(), 1u);
  EXPECT_EQ(sink.Count("超出设备末尾 缺少字节数:" + std::to_string(3 * kMiB + 1000) + " 文件:" + r.path),
            1);
  // Nothing of it on the device: an empty file that claims no success.
  r = ExportRecording(f.out, Entry(2, {{20 * kMiB, 4096}}), f.p, dev, 1);
  EXPECT_TRUE(r.created);
  EXPECT_EQ(r.written, 0);
  EXPECT_EQ(r.loss.past_end, 4096);
  EXPECT_FALSE(r.whole());
}

TEST(ExportPaths, LongPathsStayWholeAndRefusedOnesAreReported) {
  Fixture f;
  ScopedNotifySink quiet(nullptr);
  SourceDevice dev;
  dev.Open(f.device);
  std::string deep_base = f.out;
  for (int i = 0; i < 4; ++i) deep_base += "/" + std::string(100, static_cast<char>('a' + i));
  const RecordingEntry e = Entry(2, {{0, 4096}}, Packed(2021, 3, 4, 5, 6, 7), Packed(2021, 3, 4, 6, 0, 0));
  const ExportedFile r = ExportRecording(deep_base, e, f.p, dev, 3);
  EXPECT_GT(r.path.size(), 400u);
  EXPECT_TRUE(r.created && r.complete);
  EXPECT_EQ(fs::file_size(r.path), 4096u);

  LogSink sink;
  ScopedNotifySink scoped(&sink);
  const std::string too_long = f.out + "/" + std::string(300, 'x');  // one name over the limit
  const ExportedFile refused = ExportRecording(too_long, e, f.p, dev, 3);
  EXPECT_FALSE(refused.created);
  EXPECT_EQ(sink.Count("创建目标文件失败"), 1);
}

TEST(RunExport, TickedRowsAreUntickedAsTheyAreDone) {
  Fixture f;
  std::vector<RecordingEntry>& list = f.p.recordings;
  for (int i = 0; i < 4; ++i)
    list.push_back(Entry(i, {{i * kMiB, static_cast<uint32_t>(1000 + i)}}, Packed(2022, 1, 1, i, 0, 0),
                         Packed(2022, 1, 1, i, 30, 0)));
  RecordingRows rows;
  rows.Bind(&list);
  rows.SetTicked(0, true);
  rows.SetTicked(1, true);
  rows.SetTicked(3, true);
  // Row 1's file cannot be made: a folder stands where it goes.
  fs::create_directories(BuildExportPath(f.p, list[1], f.out, 1));

  LogSink sink;
  ScopedNotifySink scoped(&sink);
  std::vector<ExportedFile> files;
  ExportRequest req;
  req.base_folder = f.out;
  RunExport(f.p, rows, req, [&](const ExportedFile& x) { files.push_back(x); });
  EXPECT_EQ(sink.texts.front(), "正在导出文件...");
  EXPECT_EQ(sink.texts.back(), "导出文件任务结束");
  EXPECT_EQ(sink.Count("创建目标文件失败"), 1);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_FALSE(files[1].created);
  EXPECT_EQ(synth::ReadWholeFile(files[2].path), f.Slice(3 * kMiB, 1003));
  // The failed one stays ticked and is not counted as done.
  EXPECT_FALSE(rows.IsTicked(0));
  EXPECT_TRUE(rows.IsTicked(1));
  EXPECT_FALSE(rows.IsTicked(3));
  const int64_t total = 1000 + 1001 + 1003;
  EXPECT_EQ(sink.totals, (std::vector<std::array<int64_t, 4>>{
                             {total, 3, 0, 0}, {total, 3, 1000, 1}, {total, 3, 2003, 2}}));
}

TEST(RunExport, SingleRowLeavesTicksAndSendsNoTotals) {
  Fixture f;
  f.p.recordings.push_back(Entry(1, {{0, 100}}));
  f.p.recordings.push_back(Entry(2, {{100, 100}}));
  RecordingRows rows;
  rows.Bind(&f.p.recordings);
  rows.SetTicked(1, true);
  LogSink sink;
  ScopedNotifySink scoped(&sink);
  std::vector<ExportedFile> files;
  RunExport(f.p, rows, {f.out, ExportSingle, 1}, [&](const ExportedFile& x) { files.push_back(x); });
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(synth::ReadWholeFile(files[0].path), f.Slice(100, 100));
  EXPECT_TRUE(rows.IsTicked(1));
  EXPECT_TRUE(sink.totals.empty());
}

TEST(RunExport, StopFinishesTheChunkAndKeepsTheCutRecordingTicked) {
  Fixture f;
  f.p.recordings.push_back(Entry(1, {{0, static_cast<uint32_t>(5 * kMiB)}}));
  f.p.recordings.push_back(Entry(2, {{0, 100}}));
  RecordingRows rows;
  rows.Bind(&f.p.recordings);
  rows.SetAllTicked(true);
  LogSink sink;
  sink.stop = &f.p.stop;
  sink.stop_after = 1;
  ScopedNotifySink scoped(&sink);
  std::vector<ExportedFile> files;
  RunExport(f.p, rows, {f.out, ExportTicked, -1}, [&](const ExportedFile& x) { files.push_back(x); });
  ASSERT_EQ(files.size(), 1u);
  EXPECT_FALSE(files[0].complete);
  EXPECT_EQ(fs::file_size(files[0].path), 2u * kMiB);  // the chunk in hand was written
  EXPECT_TRUE(rows.IsTicked(0));
  EXPECT_TRUE(rows.IsTicked(1));
  EXPECT_EQ(sink.totals.size(), 1u);
}

TEST(RunExport, UnopenableSourceExportsNothing) {
  synth::TempDir dir;
  ScanParameters p;
  DeviceInfo d = synth::ImageDevice(dir.File("none.img"));
  p.source = &d;
  p.recordings.push_back(Entry(1, {{0, 100}}));
  RecordingRows rows;
  rows.Bind(&p.recordings);
  rows.SetAllTicked(true);
  LogSink sink;
  ScopedNotifySink scoped(&sink);
  RunExport(p, rows, {dir.File("out"), ExportTicked, -1});
  EXPECT_EQ(sink.texts, (std::vector<std::string>{"正在导出文件...", "打开源设备失败", "导出文件任务结束"}));
  EXPECT_TRUE(rows.IsTicked(0));
  EXPECT_FALSE(fs::exists(dir.File("out")));
}

}  // namespace
}  // namespace orvane
