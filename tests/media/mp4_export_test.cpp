// Every brand's recordings, found fast and deep, exported as MP4 files that
// ffprobe reads back: one H.264 stream with the planted frames, as long as
// the recording, made at its start.

#include "media/mp4_export.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "cli/cli_run.h"
#include "device/byte_order.h"
#include "device/source_device.h"
#include "engines/dahua/dahua_test_util.h"
#include "media/media_formats.h"
#include "media/video_frame.h"
#include "recordings/hashing.h"
#include "recordings/recording_rows.h"
#include "scan/dispatch.h"
#include "scan/task_head.h"
#include "synth/boli_disk.h"
#include "synth/hikvision_disk.h"
#include "synth/hole_image_device.h"
#include "synth/jovision_disk.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace orvane {
namespace {

struct Probe {
  int streams = 0;
  std::map<std::string, std::string> fields;
  std::string operator[](const std::string& k) const {
    auto it = fields.find(k);
    return it == fields.end() ? std::string() : it->second;
  }
};

Probe ProbeFile(const std::string& path) {
  const cli_test::CliResult r = cli_test::RunShell(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_type,codec_name,width,height,nb_read_frames:format=duration:"
      "format_tags=creation_time " +
      cli_test::Quote(path) + " 2>/dev/null");
  Probe p;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (line == "[STREAM]") ++p.streams;
    const size_t eq = line.find('=');
    if (eq != std::string::npos) p.fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return p;
}

// "2024-06-01 10-00-00" as a container's creation time.
std::string IsoText(const std::string& t) {
  if (t.size() != 19) return "?";
  return t.substr(0, 10) + "T" + t.substr(11, 2) + ":" + t.substr(14, 2) + ":" + t.substr(17, 2) +
         ".000000Z";
}

// Exports every loaded recording as MP4, checks each file and returns the
// frames of all of them together.
int64_t ExportAndProbe(ScanParameters& p, const std::string& folder) {
  SourceDevice dev;
  dev.Open(*p.source);
  int64_t frames = 0;
  for (size_t r = 0; r < p.recordings.size(); ++r) {
    const RecordingEntry& e = p.recordings[r];
    const ExportedFile f =
        ExportRecordingAs(ExportFormat::Mp4, folder, e, p, dev, static_cast<int64_t>(r));
    EXPECT_TRUE(f.whole()) << f.path;
    EXPECT_EQ(f.path.substr(f.path.size() - 4), ".mp4");
    const Probe probe = ProbeFile(f.path);
    EXPECT_EQ(probe.streams, 1) << f.path;
    EXPECT_EQ(probe["codec_type"], "video");
    EXPECT_EQ(probe["codec_name"], "h264");
    EXPECT_EQ(probe["width"], "320");
    EXPECT_EQ(probe["height"], "240");
    frames += std::atoll(probe["nb_read_frames"].c_str());
    int64_t start = 0, end = 0;
    // A task without times (a Jovision deep parse) gives the file none.
    if (!RecorderTimeMs(p.head.time_kind, e.start_time, start)) {
      EXPECT_EQ(probe["TAG:creation_time"], "");
      continue;
    }
    RecorderTimeMs(p.head.time_kind, e.end_time, end);
    EXPECT_NEAR(std::atof(probe["duration"].c_str()), (end - start) / 1000.0, 1.0) << f.path;
    EXPECT_EQ(probe["TAG:creation_time"], IsoText(FormatTimeText(p.head.time_kind, e.start_time)));
  }
  return frames;
}

class Mp4Export : public ::testing::Test {
 protected:
  void SetUp() override { RegisterMediaFormats(); }
  void Parse(ScanParameters& p, int32_t brand, int32_t mode) {
    p.source = &device_;
    p.task_path = dir_.File("t.tak");
    p.brand = brand;
    p.mode = mode;
    p.version = 1;
    p.region_start = 0;
    p.region_end = device_.size;
    RunParse(p);
    ReadTaskHead(p, true);
    ApplyTaskHead(p);
    LoadTaskPage(p, 0);
  }
  int64_t ExportMode(int32_t brand, int32_t mode) {
    ScanParameters p;
    Parse(p, brand, mode);
    EXPECT_FALSE(p.recordings.empty());
    return ExportAndProbe(p, dir_.File(mode == ScanModeFast ? "fast" : "deep"));
  }

  synth::TempDir dir_;
  synth::CapturingSink sink_;
  ScopedNotifySink scoped_{&sink_};
  DeviceInfo device_;
};

TEST_F(Mp4Export, HikvisionFastAndDeep) {
  const std::string path = dir_.File("hik.img");
  {
    synth::HikvisionDiskOptions o;
    o.blocks = 2;
    synth::HikvisionDisk disk(path, o);
    disk.AddRecording(0, 0x100000, {1, synth::UnixTime(2024, 6, 1, 10, 0, 0), 100, 25});
    disk.AddRecording(1, 0x200000, {2, synth::UnixTime(2024, 6, 2, 11, 30, 7), 61, 25});
  }
  device_ = synth::ImageDevice(path);
  EXPECT_EQ(ExportMode(BrandHikvision, ScanModeFast), 161);
  EXPECT_EQ(ExportMode(BrandHikvision, ScanModeDeep), 161);
}

// An export of many recordings hands each MP4 on with the digest of the
// file as it lies on disk, in the order of the rows, although the digests
// are taken while the next recording is written.
TEST_F(Mp4Export, ManyRecordingsComeInOrderWithTheirFilesDigests) {
  const std::string path = dir_.File("hik.img");
  {
    synth::HikvisionDiskOptions o;
    o.blocks = 4;
    synth::HikvisionDisk disk(path, o);
    for (int k = 0; k < 4; ++k)
      disk.AddRecording(
          k, 0x100000 * (k + 1),
          {static_cast<uint8_t>(k + 1), synth::UnixTime(2024, 6, 1 + k, 10, 0, 0), 40, 25});
  }
  device_ = synth::ImageDevice(path);
  ScanParameters p;
  Parse(p, BrandHikvision, ScanModeFast);
  ASSERT_EQ(p.recordings.size(), 4u);
  RecordingRows rows;
  rows.Bind(&p.recordings);
  for (size_t r = 0; r < rows.size(); ++r) rows.SetTicked(r, true);
  ExportRequest request;
  request.base_folder = dir_.File("many");
  request.format = ExportFormat::Mp4;
  std::vector<ExportedFile> files;
  RunExport(p, rows, request, [&](const ExportedFile& f) { files.push_back(f); });
  ASSERT_EQ(files.size(), 4u);
  for (size_t k = 0; k < files.size(); ++k) {
    EXPECT_EQ(files[k].row, k);
    EXPECT_EQ(std::filesystem::path(files[k].path).extension(), ".mp4");
    EXPECT_FALSE(files[k].sha256_later.valid());
    EXPECT_EQ(files[k].sha256, DigestsOfFile(files[k].path, {DigestKind::Sha256})[0]);
    EXPECT_EQ(files[k].sha256.size(), 64u);
  }
}

// Two recordings on one area of a Dahua-family disk, laid out as the engine
// tests lay theirs: one across two blocks, one in a block of its own.
int64_t BuildDahuaDisk(int32_t brand, const std::string& path) {
  synth::DahuaDisk disk(brand, path, 16 << 20);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.unit = 4096;
  area.block_size = dahua_test::kBlock;
  area.entries = 16;
  area.index_offset = 4096;
  area.data_offset = dahua_test::kSmart;
  disk.AddArea(area);
  const uint32_t t0 = synth::PackTime(2016, 5, 3, 8, 0, 0);
  synth::DahuaRecordingSpec a;
  a.channel = 1;
  a.blocks = {0, 2};
  a.start_time = t0;
  a.filler = 3000;
  synth::DahuaRecordingSpec b;
  b.channel = 2;
  b.blocks = {1};
  b.frames = 130;
  b.end = synth::BlockEnd::kOpen;
  b.start_time = synth::AddSeconds(t0, 3600);
  const int64_t frames =
      static_cast<int64_t>(disk.Plant(a).video.size() + disk.Plant(b).video.size());
  disk.Finish();
  return frames;
}

TEST_F(Mp4Export, DahuaFamilyFastAndDeep) {
  for (int32_t brand : {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling}) {
    SCOPED_TRACE(brand);
    const std::string path = dir_.File("dahua" + std::to_string(brand) + ".img");
    const int64_t planted = BuildDahuaDisk(brand, path);
    device_ = synth::ImageDevice(path);
    for (int32_t mode : {ScanModeFast, ScanModeDeep}) {
      ScanParameters p;
      dahua_test::SetUpParse(p, device_, brand, mode, 1, dir_.File("t.tak"));
      dahua_test::ParseAndLoad(p);
      EXPECT_FALSE(p.recordings.empty());
      EXPECT_EQ(ExportAndProbe(p, dir_.File(std::to_string(brand) + "-" + std::to_string(mode))),
                planted);
    }
  }
}

// Video frames of a planted WFS stream (its audio frames left out).
int64_t WfsVideoFrames(const synth::Bytes& s) {
  int64_t frames = 0;
  for (size_t i = 0; i + 8 <= s.size();) {
    if (s[i + 3] == 0xFC) {
      i += 16 + LoadLE32(&s[i + 12]);
      ++frames;
    } else if (s[i + 3] == 0xFD) {
      i += 8 + LoadLE32(&s[i + 4]);
      ++frames;
    } else {
      i += 8 + LoadLE16(&s[i + 6]);
    }
  }
  return frames;
}

TEST_F(Mp4Export, WfsFastAndDeep) {
  synth::WfsDisk disk(dir_.File("wfs.img"));
  disk.Plant(1, synth::PackTime(2016, 5, 17, 10, 0, 0), {1, 4}, 300'000);
  disk.Plant(2, synth::PackTime(2016, 5, 17, 12, 0, 0), {2}, 150'000);
  const int64_t planted =
      WfsVideoFrames(disk.planted()[0].stream) + WfsVideoFrames(disk.planted()[1].stream);
  device_ = synth::ImageDevice(disk.path());
  ScanParameters fast;
  Parse(fast, BrandWfs, ScanModeFast);
  EXPECT_EQ(ExportAndProbe(fast, dir_.File("fast")), planted);
  disk.WipeIndex();
  ScanParameters deep;
  deep.smart_value = disk.geometry().smart_value;
  Parse(deep, BrandWfs, ScanModeDeep);
  EXPECT_EQ(ExportAndProbe(deep, dir_.File("deep")), planted);
}

TEST_F(Mp4Export, BoliFastAndDeep) {
  const std::string path = dir_.File("boli.img");
  synth::BoliDisk disk;
  {
    synth::SparseImage img(path, 32 << 20);
    const uint32_t t = synth::ReversedTime(2017, 2, 3, 4, 5, 6);
    disk = synth::BuildBoliDisk(img, {{1 << 20, synth::BoliStreamFrames(3, t, 40)},
                                      {5 << 20, synth::BoliStreamFrames(4, t, 25)}});
  }
  device_ = synth::ImageDevice(path);
  const auto planted = static_cast<int64_t>(disk.recorded.size());
  EXPECT_EQ(ExportMode(BrandBoli, ScanModeFast), planted);
  EXPECT_EQ(ExportMode(BrandBoli, ScanModeDeep), planted);
}

TEST_F(Mp4Export, JovisionFastAndDeep) {
  const std::string path = dir_.File("jvs.img");
  {
    synth::SparseImage img(path, 2 * synth::kJvsArea);
    synth::BuildJvsDisk(img, {0, 1},
                        {{2, 1650000000, 4000, synth::JvsStreamFile(2), {{1, 0x100000, 0, 0}}, 1}});
  }
  device_ = synth::HoleAwareImageDevice(path);
  const auto planted = static_cast<int64_t>(synth::TestFrames().size());
  EXPECT_EQ(ExportMode(BrandJovision, ScanModeFast), planted);
  EXPECT_EQ(ExportMode(BrandJovision, ScanModeDeep), planted);
}

TEST_F(Mp4Export, AStreamWithoutVideoFallsBackToTheRawFile) {
  const std::string path = dir_.File("hik.img");
  synth::HikPlanted planted;
  {
    synth::HikvisionDisk disk(path);
    planted = disk.AddRecording(0, 0x100000, {1, synth::UnixTime(2024, 6, 1, 10, 0, 0), 30, 25});
    // The recorder's index survives; its video does not.
    disk.image().Write(planted.offset, synth::Bytes(planted.bytes.size(), 0x5A));
  }
  device_ = synth::ImageDevice(path);
  ScanParameters p;
  Parse(p, BrandHikvision, ScanModeFast);
  ASSERT_EQ(p.recordings.size(), 1u);
  SourceDevice dev;
  dev.Open(device_);
  const ExportedFile f =
      ExportRecordingAs(ExportFormat::Mp4, dir_.File("out"), p.recordings[0], p, dev, 0);
  EXPECT_TRUE(f.whole());
  EXPECT_EQ(f.path.substr(f.path.size() - 4), ".dav");
  EXPECT_EQ(synth::ReadWholeFile(f.path), synth::Bytes(planted.bytes.size(), 0x5A));
  EXPECT_TRUE(
      sink_.Has(std::string(kMsgMp4Fallback) + std::string(kReasonNoFrames) + " 文件:" + f.path));
}

// Bytes of no recorder at all, sprinkled with every brand's frame marks
// followed by lengths from nothing to far beyond the data: each brand's
// reader finds no frame and the export keeps the bytes raw.
TEST_F(Mp4Export, GarbageOfEveryBrandFallsBackToRaw) {
  synth::Bytes data(1 << 20);
  uint32_t seed = 12345;
  for (auto& b : data) {
    seed = seed * 1103515245 + 12345;
    b = static_cast<uint8_t>(seed >> 16);
  }
  const uint8_t marks[][4] = {{'D', 'H', 'A', 'V'},  {0, 0, 1, 0xFC}, {0, 0, 1, 0xFD},
                              {0x30, 0x31, 1, 0x64}, {0, 0, 1, 0xBA}, {'J', 'V', 'S', 0}};
  for (size_t at = 0, k = 0; at + 24 < data.size(); at += 4099, ++k) {
    std::copy(marks[k % 6], marks[k % 6] + 4, data.begin() + static_cast<long>(at));
    StoreLE32(&data[at + 4], static_cast<uint32_t>(k * 7919));
    StoreLE32(&data[at + 12], static_cast<uint32_t>(k * 104729));
  }
  const std::string path = dir_.File("garbage.img");
  {
    synth::SparseImage img(path, 4 << 20);
    img.Write(1 << 20, data);
  }
  device_ = synth::ImageDevice(path);
  SourceDevice dev;
  dev.Open(device_);
  RecordingEntry e;
  e.channel = 1;
  e.start_time = synth::PackTime(2016, 1, 2, 3, 4, 5);
  e.end_time = e.start_time;
  e.size = static_cast<int64_t>(data.size());
  e.fragments.push_back({1 << 20, static_cast<uint32_t>(data.size())});
  for (int32_t brand = BrandHikvision; brand <= BrandZhiling; ++brand) {
    SCOPED_TRACE(brand);
    ScanParameters p;
    p.brand = brand;
    p.head.time_kind = TimePacked;
    const ExportedFile f =
        ExportRecordingAs(ExportFormat::Mp4, dir_.File("garbage"), e, p, dev, brand);
    EXPECT_TRUE(f.whole());
    EXPECT_EQ(f.path.substr(f.path.size() - 4), ".dav");
    EXPECT_EQ(synth::ReadWholeFile(f.path), data);
  }
}

TEST(Mp4FrameRate, CountsTheFirstWholeSecondNotAPartOne) {
  std::vector<int64_t> times;
  for (int k = 0; k < 7; ++k) times.push_back(10'000 + 800 + k * 30);  // a second's tail
  for (int k = 0; k < 12; ++k) times.push_back(11'000);                // 12 frames
  times.push_back(12'000);
  EXPECT_EQ(EstimateFps(times, false), 12);
  // A stream shorter than two seconds: all frames over the seconds they span.
  EXPECT_EQ(EstimateFps({5'000, 5'000, 5'000, 5'000, 6'000, 6'000, 6'000, 6'000}, true), 4);
  EXPECT_EQ(EstimateFps({}, true), 25);
}

}  // namespace
}  // namespace orvane
