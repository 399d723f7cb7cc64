#include "engines/jovision/jovision_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "device/byte_order.h"
#include "scan/dispatch.h"
#include "scan/task_head.h"
#include "synth/hole_image_device.h"
#include "synth/jovision_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using synth::Bytes;
using synth::kJvsArea;

constexpr int64_t kMiB = 1 << 20;

TEST(JvsLayout, AreaHeaderNeedsBothMarksAndTheFour) {
  Bytes h(0x200000, 0);
  StoreLE32(&h[0], kJvsAreaMagic);
  StoreLE32(&h[0x14000], kJvsAreaMagic);
  h[0x14004] = 4;
  EXPECT_TRUE(IsJvsArea(h));
  h[0x14004] = 3;
  EXPECT_FALSE(IsJvsArea(h));
  h[0x14004] = 4;
  h[0] = 'J';
  EXPECT_FALSE(IsJvsArea(h));
  EXPECT_FALSE(IsJvsArea(std::span<const uint8_t>(h.data(), 0x14004)));
}

TEST(JvsLayout, IndexBlockPieceCountsTimesAndTrim) {
  synth::JvsIndexSpec spec{4, 1500000000, 60000, 123456, {{3, 4096, 65536, 2}}};
  Bytes buf = synth::JvsIndexBlock(spec);
  JvsRecording r;
  ASSERT_TRUE(ParseJvsIndexBlock(buf, 0, r));
  EXPECT_EQ(r.channel, 4);
  EXPECT_EQ(r.size, 123456u);
  EXPECT_EQ(r.start, 1500000000u);
  EXPECT_EQ(r.end, 1500000060u);
  ASSERT_EQ(r.pieces.size(), 1u);
  EXPECT_EQ(r.pieces[0].offset, 3 * kJvsArea + 4096);
  EXPECT_EQ(r.pieces[0].length, 65536u - 64u);
  // A block that does not lie wholly in the buffer is not read.
  EXPECT_FALSE(ParseJvsIndexBlock(std::span<const uint8_t>(buf.data(), 0xBFFF), 0, r));

  spec.duration_ms = 60001;
  ASSERT_TRUE(ParseJvsIndexBlock(synth::JvsIndexBlock(spec), 0, r));
  EXPECT_EQ(r.end, 1500000061u);
  EXPECT_EQ(JvsEndTime(10, 999), 11u);
  EXPECT_EQ(JvsEndTime(10, 0), 10u);

  // A trim longer than the piece leaves an empty piece, not a wrapped one.
  spec.pieces = {{0, 0, 40, 2}};
  ASSERT_TRUE(ParseJvsIndexBlock(synth::JvsIndexBlock(spec), 0, r));
  EXPECT_EQ(r.pieces[0].length, 0u);

  buf = synth::JvsIndexBlock(spec);
  for (uint16_t n : {0, 2447, 65535}) {
    StoreLE16(&buf[0xE0], n);
    EXPECT_FALSE(ParseJvsIndexBlock(buf, 0, r)) << n;
  }
  for (uint16_t n : {1, 2446}) {
    StoreLE16(&buf[0xE0], n);
    ASSERT_TRUE(ParseJvsIndexBlock(buf, 0, r)) << n;
    EXPECT_EQ(r.pieces.size(), n);
  }
  StoreLE32(&buf[0], 0x67);
  EXPECT_FALSE(ParseJvsIndexBlock(buf, 0, r));
}

TEST(JvsLayout, RecordingFileStartTests) {
  for (uint32_t h : {64u, 100u, 256u}) {
    Bytes f = synth::JvsFile(2, synth::TestStream(), h);
    f.resize(1024);
    EXPECT_TRUE(IsJvsFileStart(f, 0)) << h;
    // The second "JVS" and the slice must lie inside the buffer.
    EXPECT_FALSE(IsJvsFileStart(std::span<const uint8_t>(f.data(), h + 0x24), 0)) << h;
  }
  for (uint32_t h : {63u, 257u}) {
    Bytes f = synth::JvsFile(2, synth::TestStream(), 64);
    f[5] = static_cast<uint8_t>(h);
    f[6] = static_cast<uint8_t>(h >> 8);
    EXPECT_FALSE(IsJvsFileStart(f, 0)) << h;
  }
  Bytes f = synth::JvsFile(2, synth::TestStream(), 64);
  f[64 + 0x24] = 0x41;  // not a 0x6X unit
  EXPECT_FALSE(IsJvsFileStart(f, 0));
  f = synth::JvsFile(2, synth::TestStream(), 64);
  f[64 + 0x11] = 'X';
  EXPECT_FALSE(IsJvsFileStart(f, 0));
}

TEST(JvsLayout, TaskRecordsRoundTrip) {
  JvsRecording r;
  r.size = 99;
  r.channel = 3;
  r.start = 7;
  r.end = 8;
  r.pieces = {{0x123456789LL, 10}, {5, 6}};
  Bytes out;
  EncodeJvsRecording(r, out);
  ASSERT_EQ(out.size(), 17u + 24u);
  EXPECT_EQ(LoadLE32(&out[13]), 2u);
  EXPECT_EQ(LoadLE64(&out[17]), 0x123456789ULL);
  JvsRecording back;
  EXPECT_EQ(DecodeJvsRecording(out, back), out.size());
  EXPECT_EQ(back.pieces, r.pieces);
  EXPECT_EQ(DecodeJvsRecording(std::span<const uint8_t>(out.data(), out.size() - 1), back), 0u);
  StoreLE32(&out[13], 0xFFFFFFFFu);
  EXPECT_EQ(DecodeJvsRecording(out, back), 0u);

  uint8_t b[kJvsFileRecordSize];
  EncodeJvsFileRecord({0x1122334455667788ULL, 0xAABBCCDD, 9}, b);
  EXPECT_EQ(b[12], 9);
  EXPECT_EQ(b[13], 0);
  EXPECT_EQ(DecodeJvsFileRecord(b), (JvsFileRecord{0x1122334455667788ULL, 0xAABBCCDD, 9}));
}

struct Fixture {
  synth::TempDir dir;
  synth::CapturingSink sink;
  ScopedNotifySink scoped{&sink};
  DeviceInfo device;
  ScanParameters p;

  void Parse(int mode, const DeviceInfo& d, int64_t start = 0) {
    device = d;
    p.source = &device;
    p.task_path = dir.File("jvs.tak");
    p.brand = BrandJovision;
    p.mode = mode;
    p.version = 1;
    p.region_start = start;
    p.region_end = d.size;
    RunParse(p);
  }
  void Load(int32_t page = 0) { LoadTaskPage(p, page); }
};

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t k = 0; k < n; ++k) b[k] = static_cast<uint8_t>(seed + k * 7 + (k >> 9));
  return b;
}

// Four areas: 0, 1 and 3 in use, 2 not. Pieces of one recording lie in
// three areas, one of them unused; an index block straddles a 2 MiB mark.
struct FourAreas {
  std::string path;
  synth::JvsDisk disk;
  explicit FourAreas(const synth::TempDir& dir) : path(dir.File("jvs.img")) {
    synth::SparseImage img(path, 4 * kJvsArea);
    std::vector<synth::JvsRecordingPlan> plans;
    plans.push_back({1, 1600000000, 90500, synth::JvsStreamFile(1),
                     {{0, 0x1000000, 0, 0}, {2, 0x200, 0, 3}, {3, 0x7000000, 0, 1}}, 0});
    plans.push_back({2, 1600000100, 30000, Pattern(200000, 5), {{1, 0x3000000, 0, 0}}, 0});
    plans.push_back({16, 1600000200, 1, Pattern(70000, 9), {{3, 0x100, 0, 0}}, 3,
                     0x600000 - 0x6000});
    disk = synth::BuildJvsDisk(img, {0, 1, 3}, plans);
    // An index block in the unused area is never looked at.
    img.Write(2 * kJvsArea + 0x400000,
              synth::JvsIndexBlock({7, 1, 1000, 10, {{2, 0, 10, 0}}}));
    // Recording files for the deep parse, away from the pieces.
    files.push_back(synth::PlantJvsFile(img, 0x5000000, 1, synth::TestStream()));
    files.push_back(synth::PlantJvsFile(img, 0x5008000, 2, synth::TestStream()));
    files.push_back(synth::PlantJvsFile(img, 3 * kJvsArea + 0x9000000, 1, synth::TestStream()));
  }
  std::vector<synth::JvsFilePlanted> files;
};

TEST(JvsFast, IndexBlocksBecomeRecordingsWithTheirPieces) {
  Fixture fx;
  FourAreas disk(fx.dir);
  fx.Parse(ScanModeFast, synth::HoleAwareImageDevice(disk.path));
  EXPECT_TRUE(fx.sink.Has("正在快速解析中维JVS监控录像..."));
  EXPECT_TRUE(fx.sink.Has("快速解析中维JVS监控录像任务完成"));
  EXPECT_TRUE(fx.sink.texts(NotifyCode::Error).empty());
  EXPECT_EQ(fx.sink.last_range(), 4);
  EXPECT_EQ(fx.p.head.time_kind, TimeUnixCalendar);
  EXPECT_EQ(fx.p.head.scan_position, 4 * kJvsArea);
  EXPECT_EQ(fx.sink.last_found().found_count, 5);  // pieces

  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    const auto& want = disk.disk.recordings[k];
    const auto& got = fx.p.recordings[k];
    EXPECT_EQ(got.channel, want.channel);
    EXPECT_EQ(got.start_time, want.start);
    EXPECT_EQ(got.end_time, want.end);
    EXPECT_EQ(got.size, want.size);
    ASSERT_EQ(got.fragments.size(), want.extents.size());
    for (uint32_t i = 0; i < got.fragments.size(); ++i) {
      EXPECT_EQ(got.fragments[i].offset, want.extents[i].offset);
      EXPECT_EQ(got.fragments[i].length, want.extents[i].length);
    }
  }
  EXPECT_EQ(fx.p.recordings[0].end_time, 1600000091u);
  EXPECT_EQ(FormatTimeText(fx.p.head.time_kind, fx.p.recordings[0].start_time),
            "2020-09-13 12-26-40");
}

TEST(JvsDeep, FilesOfEveryAreaGroupedByChannelAcrossTheChannelChange) {
  Fixture fx;
  const std::string path = fx.dir.File("jvs.img");
  std::vector<synth::JvsFilePlanted> files;
  {
    synth::SparseImage img(path, 4 * kJvsArea);
    const Bytes& s = synth::TestStream();
    files.push_back(synth::PlantJvsFile(img, 0x200, 2, s));
    files.push_back(synth::PlantJvsFile(img, 0x1FFE00, 1, s));  // last sector of a step
    files.push_back(synth::PlantJvsFile(img, kJvsArea + 0x7654400, 2, s));
    files.push_back(synth::PlantJvsFile(img, 3 * kJvsArea + 512 * 1001, 1, s));
    files.push_back(synth::PlantJvsFile(img, 4 * kJvsArea - 0x4000, 3, s));
  }
  fx.Parse(ScanModeDeep, synth::HoleAwareImageDevice(path));
  EXPECT_TRUE(fx.sink.Has("正在深度解析中维JVS监控录像..."));
  EXPECT_TRUE(fx.sink.Has("深度解析中维JVS监控录像任务完成"));
  EXPECT_EQ(fx.p.head.time_kind, 0);
  EXPECT_EQ(fx.p.head.file_length, static_cast<int64_t>(kTaskHeadSize + 14 * files.size()));
  fx.Load();
  // Far below the size limit: one recording of channel 1 holding channel
  // 1's files, then channel 2's, then channel 3's, each in disk order.
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  const auto& r = fx.p.recordings[0];
  EXPECT_EQ(r.channel, 1);
  EXPECT_EQ(r.start_time, 0u);
  EXPECT_EQ(r.end_time, 0u);
  const int order[] = {1, 3, 0, 2, 4};
  ASSERT_EQ(r.fragments.size(), 5u);
  int64_t size = 0;
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(r.fragments[k].offset, files[order[k]].offset) << k;
    EXPECT_EQ(r.fragments[k].length, files[order[k]].bytes.size()) << k;
    size += files[order[k]].bytes.size();
  }
  EXPECT_EQ(r.size, size);
}

TEST(JvsScan, RegionStartRoundsDownToItsAreaAndATailAreaIsScanned) {
  Fixture fx;
  const std::string path = fx.dir.File("jvs.img");
  synth::JvsDisk disk;
  {
    // One and a half areas: the half area at the end is scanned too.
    synth::SparseImage img(path, kJvsArea + kJvsArea / 2);
    synth::PlantJvsFile(img, 100 * kMiB, 1, synth::TestStream());
    synth::PlantJvsFile(img, kJvsArea + 10 * kMiB, 2, synth::TestStream());
    synth::PlantJvsFile(img, kJvsArea + 300 * kMiB, 3, synth::TestStream());
    disk = synth::BuildJvsDisk(img, {1},
                               {{5, 1700000000, 5000, Pattern(1000, 1), {{1, 0x2000000, 0, 0}}, 1}});
  }
  fx.Parse(ScanModeDeep, synth::HoleAwareImageDevice(path), 768 * kMiB);
  EXPECT_EQ(fx.sink.last_range(), 1);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  ASSERT_EQ(fx.p.recordings[0].fragments.size(), 2u);
  EXPECT_EQ(fx.p.recordings[0].channel, 2);
  EXPECT_EQ(fx.p.recordings[0].fragments[0].offset, kJvsArea + 10 * kMiB);
  EXPECT_EQ(fx.p.recordings[0].fragments[1].offset, kJvsArea + 300 * kMiB);

  Fixture fast;
  fast.Parse(ScanModeFast, synth::HoleAwareImageDevice(path), 768 * kMiB);
  fast.Load();
  ASSERT_EQ(fast.p.recordings.size(), 1u);
  EXPECT_EQ(fast.p.recordings[0].channel, 5);
}

TEST(JvsScan, WipedIndexLeavesTheFastParseEmptyAndTheDeepParseWhole) {
  Fixture fx;
  const std::string path = fx.dir.File("jvs.img");
  {
    synth::SparseImage img(path, kJvsArea);
    auto disk = synth::BuildJvsDisk(
        img, {0},
        {{3, 1700000000, 5000, synth::JvsStreamFile(3), {{0, 0x1000000, 0, 0}}, 0}});
    synth::WipeJvsIndex(img, disk);
  }
  fx.Parse(ScanModeFast, synth::HoleAwareImageDevice(path));
  fx.Load();
  EXPECT_TRUE(fx.p.recordings.empty());
  fx.Parse(ScanModeDeep, synth::HoleAwareImageDevice(path));
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].channel, 3);
  EXPECT_EQ(fx.p.recordings[0].fragments[0].offset, 0x1000000);
}

std::vector<std::pair<int64_t, uint32_t>> Extents(const std::vector<RecordingEntry>& list) {
  std::vector<std::pair<int64_t, uint32_t>> out;
  for (const auto& e : list)
    for (const auto& f : e.fragments) out.emplace_back(f.offset, f.length);
  return out;
}

TEST(JvsScan, BadSectorsCostOnlyWhatTheyCover) {
  Fixture clean;
  FourAreas disk(clean.dir);
  // Bad sectors behind the index blocks of area 0, and inside a file's body.
  const std::vector<ByteRange> bad = {{0x400000 + 0x18000, 0x400000 + 0x19000},
                                      {0x5000000 + 0x2000, 0x5000000 + 0x2400}};
  for (int mode : {ScanModeFast, ScanModeDeep}) {
    clean.Parse(mode, synth::HoleAwareImageDevice(disk.path));
    clean.Load();
    Fixture faulty;
    faulty.Parse(mode, synth::HoleAwareImageDevice(disk.path, bad));
    EXPECT_TRUE(faulty.sink.Has(kMsgReadFailed)) << mode;
    EXPECT_EQ(faulty.p.head.scan_position, 4 * kJvsArea);
    faulty.Load();
    EXPECT_EQ(Extents(faulty.p.recordings), Extents(clean.p.recordings)) << mode;
    // The deep parse also finds the file that starts the first piece.
    EXPECT_EQ(Extents(clean.p.recordings).size(), mode == ScanModeFast ? 5u : 4u);
  }
}

// A fast task of `body` and then `zeros` zero bytes (a hole in the file).
void WriteFastTask(const std::string& path, const Bytes& body, int64_t zeros = 0) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    TaskHead h;
    h.file_length = kTaskHeadSize + static_cast<int64_t>(body.size()) + zeros;
    h.mode = 1;
    h.brand = BrandJovision;
    h.time_kind = TimeUnixCalendar;
    uint8_t head[kTaskHeadSize];
    h.Encode(head);
    out.write(reinterpret_cast<const char*>(head), sizeof head);
    out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
  }
  if (zeros > 0) std::filesystem::resize_file(path, kTaskHeadSize + body.size() + zeros);
}

TEST(JvsTask, DamagedFastRecordsEndTheReadingInsteadOfLooping) {
  Fixture fx;
  fx.p.task_path = fx.dir.File("fast.tak");
  fx.p.brand = BrandJovision;
  fx.p.mode = ScanModeFast;
  auto write = [&](const Bytes& body) { WriteFastTask(fx.p.task_path, body); };
  JvsRecording good;
  good.size = 5;
  good.channel = 2;
  good.pieces = {{512, 5}};
  Bytes body;
  EncodeJvsRecording(good, body);
  // A record that claims more pieces than any 2 MiB read can hold, with the
  // bytes there to back the claim for a while.
  JvsRecording huge;
  huge.pieces.resize(200000, FragmentExtent{0, 1});
  EncodeJvsRecording(huge, body);
  write(body);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].fragments[0].offset, 512);

  // A count that wraps any size computation, and a record cut by the end.
  body.clear();
  EncodeJvsRecording(good, body);
  EncodeJvsRecording(good, body);
  StoreLE32(&body[17 + 12 + 13], 0xFFFFFFFFu);
  write(body);
  fx.Load();
  EXPECT_EQ(fx.p.recordings.size(), 1u);
  body.clear();
  EncodeJvsRecording(good, body);
  EncodeJvsRecording(good, body);
  body.resize(body.size() - 3);
  write(body);
  fx.Load();
  EXPECT_EQ(fx.p.recordings.size(), 1u);
}

void WriteDeepTask(const std::string& path, const std::vector<JvsFileRecord>& recs,
                   int64_t repeat_last = 0) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  TaskHead h;
  h.file_length = kTaskHeadSize + (static_cast<int64_t>(recs.size()) + repeat_last) * 14;
  h.mode = 2;
  h.brand = BrandJovision;
  uint8_t head[kTaskHeadSize];
  h.Encode(head);
  out.write(reinterpret_cast<const char*>(head), sizeof head);
  Bytes b(recs.size() * 14);
  for (size_t k = 0; k < recs.size(); ++k) EncodeJvsFileRecord(recs[k], &b[k * 14]);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  if (repeat_last > 0) {
    Bytes block(14 * 65536);
    for (size_t k = 0; k < 65536; ++k) EncodeJvsFileRecord(recs.back(), &block[k * 14]);
    for (int64_t left = repeat_last; left > 0;) {
      const int64_t n = std::min<int64_t>(left, 65536);
      out.write(reinterpret_cast<const char*>(block.data()), n * 14);
      left -= n;
    }
  }
}

TEST(JvsTask, PiecesAndFilesOutsideDeviceOffsetsAreDropped) {
  Fixture fx;
  fx.p.brand = BrandJovision;
  constexpr uint64_t kTop = 0x8000000000000000ULL;
  // Deep: offsets of 2^63 and above, and an end past the largest offset.
  fx.p.task_path = fx.dir.File("deep.tak");
  fx.p.mode = ScanModeDeep;
  WriteDeepTask(fx.p.task_path,
                {{kTop, 100, 1}, {~uint64_t{0}, 100, 1}, {kTop - 64, 100, 1}, {4096, 100, 1}});
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  ASSERT_EQ(fx.p.recordings[0].fragments.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].fragments[0], (FragmentExtent{4096, 100}));
  EXPECT_EQ(fx.p.recordings[0].size, 100);
  // Fast: such pieces leave their recording, and a recording left without
  // pieces is none.
  fx.p.task_path = fx.dir.File("fast.tak");
  fx.p.mode = ScanModeFast;
  JvsRecording lost;
  lost.size = 100;
  lost.channel = 1;
  lost.pieces = {{static_cast<int64_t>(kTop), 100}, {-1, 100}};
  JvsRecording kept = lost;
  kept.channel = 2;
  kept.pieces.push_back({std::numeric_limits<int64_t>::max() - 50, 100});
  kept.pieces.push_back({8192, 100});
  Bytes body;
  EncodeJvsRecording(lost, body);
  EncodeJvsRecording(kept, body);
  WriteFastTask(fx.p.task_path, body);
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].channel, 2);
  ASSERT_EQ(fx.p.recordings[0].fragments.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].fragments[0], (FragmentExtent{8192, 100}));
}

TEST(JvsTask, AFastTaskOfZerosKeepsNothing) {
  Fixture fx;
  fx.p.brand = BrandJovision;
  fx.p.mode = ScanModeFast;
  fx.p.task_path = fx.dir.File("zeros.tak");
  // A valid head and 64 MiB of zeros: 3.9 million records without a piece.
  WriteFastTask(fx.p.task_path, {}, 64 << 20);
  fx.Load();
  EXPECT_TRUE(fx.p.recordings.empty());
  EXPECT_EQ(fx.sink.last_found().found_count, 0);
}

TEST(JvsTask, DeepGroupsCloseOncePastOneGibibyte) {
  Fixture fx;
  fx.p.task_path = fx.dir.File("deep.tak");
  fx.p.brand = BrandJovision;
  fx.p.mode = ScanModeDeep;
  WriteDeepTask(fx.p.task_path, {{0, 0x30000000, 1},
                                 {0x30000000, 0x10000000, 1},
                                 {0x40000000, 0x10000000, 1},
                                 {0x50000000, 0x200, 2},
                                 {0x60000000, 0, 2},
                                 {0x70000000, 0x200, 2}});
  fx.Load();
  ASSERT_EQ(fx.p.recordings.size(), 2u);
  // 0x30000000 + 0x10000000 is exactly 0x40000000: past the limit.
  EXPECT_EQ(fx.p.recordings[0].fragments.size(), 2u);
  EXPECT_EQ(fx.p.recordings[0].size, 0x40000000);
  EXPECT_EQ(fx.p.recordings[1].channel, 1);
  EXPECT_EQ(fx.p.recordings[1].fragments.size(), 2u);  // the zero size ends the chunk
}

TEST(JvsTask, APageHoldsTwentyMillionFileRecords) {
  Fixture fx;
  fx.p.task_path = fx.dir.File("full.tak");
  fx.p.brand = BrandJovision;
  fx.p.mode = ScanModeDeep;
  WriteDeepTask(fx.p.task_path, {{4096, 0x800000, 4}}, kRecordsPerPage);
  ASSERT_TRUE(ReadTaskHead(fx.p, true));
  EXPECT_EQ(TaskPageCount(fx.p), 2);
  fx.Load(0);
  EXPECT_EQ(fx.sink.last_found().found_count, kRecordsPerPage);
  EXPECT_EQ(fx.p.stop.load(), 1);
  fx.Load(1);
  ASSERT_EQ(fx.p.recordings.size(), 1u);
  EXPECT_EQ(fx.p.recordings[0].fragments.size(), 1u);
  EXPECT_EQ(fx.p.stop.load(), 0);
}

}  // namespace
}  // namespace orvane
