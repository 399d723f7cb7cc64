// What an export leaves for a reviewer: reports that hold every recording
// with its fragments, provenance and file hash, checksums that sha256sum
// accepts, and a report page that a browser renders.

#include "recordings/export_evidence.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>

#include "engines/dahua/dahua_test_util.h"
#include "engines/wfs/wfs_test_util.h"
#include "recordings/hashing.h"
#include "recordings/recording_rows.h"
#include "scan/dispatch.h"
#include "synth/boli_disk.h"
#include "synth/hikvision_disk.h"
#include "synth/hole_image_device.h"
#include "synth/jovision_disk.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace orvane {
namespace {

using nlohmann::json;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Shell(const std::string& command) {
  const int st = std::system(command.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// A parse of one synthetic disk, loaded as the list shows it.
struct Loaded {
  DeviceInfo device;
  ScanParameters p;
};

std::unique_ptr<Loaded> ParseDisk(const DeviceInfo& device, const std::string& task, int32_t brand,
                                  int32_t mode, int32_t version = 1, int64_t smart = 0,
                                  int32_t buffer = kDefaultBuffer) {
  auto l = std::make_unique<Loaded>();
  l->device = device;
  ScanParameters& p = l->p;
  p.source = &l->device;
  p.task_path = task;
  p.brand = brand;
  p.mode = mode;
  p.version = version;
  p.region_end = device.size;
  p.smart_value = smart;
  p.buffer = buffer;
  RunParse(p);
  ReadTaskHead(p, true);
  ApplyTaskHead(p);
  LoadTaskPage(p, 0);
  p.stop.store(0);
  return l;
}

struct ExportRun {
  std::vector<EvidenceFile> files;
  json report;
};

// Exports every loaded recording into `out` and writes the evidence.
ExportRun ExportAll(ScanParameters& p, const std::string& out) {
  RecordingRows rows;
  rows.Bind(&p.recordings);
  rows.SetAllTicked(true);
  ExportRequest request;
  request.base_folder = out;
  ExportRun run;
  RunExport(p, rows, request, [&](const ExportedFile& f) {
    if (f.created)
      run.files.push_back({static_cast<int64_t>(rows.EntryIndex(f.row)), &rows.Entry(f.row), f});
  });
  EXPECT_TRUE(RecordExportEvidence(p, out, run.files,
                                   {{"信息", "2024-01-01 00-00-00", "正在导出文件..."}}));
  run.report = json::parse(ReadText(out + "/report.json"));
  return run;
}

// The report lists every loaded recording once, in order, with its
// fragments, provenance and the hash of its file; the checksums pass.
void ExpectCompleteEvidence(const ScanParameters& p, const std::string& out, const json& report,
                            const std::function<FoundBy(const RecordingEntry&)>& expected) {
  const json& recs = report["recordings"];
  ASSERT_EQ(recs.size(), p.recordings.size());
  ASSERT_FALSE(p.recordings.empty());
  for (size_t i = 0; i < p.recordings.size(); ++i) {
    const RecordingEntry& e = p.recordings[i];
    const json& r = recs[i];
    EXPECT_EQ(r["index"], i);
    EXPECT_EQ(r["channel"], e.channel);
    EXPECT_EQ(r["found_by"], std::string(FoundByText(expected(e)))) << i;
    ASSERT_EQ(r["fragments"].size(), e.fragments.size());
    for (uint32_t k = 0; k < e.fragments.size(); ++k) {
      EXPECT_EQ(r["fragments"][k]["offset"], e.fragments[k].offset);
      EXPECT_EQ(r["fragments"][k]["length"], e.fragments[k].length);
    }
    const std::string file = out + "/" + r["file"].get<std::string>();
    EXPECT_EQ(r["sha256"], DigestOfFile(file, DigestKind::Sha256)) << file;
    EXPECT_EQ(r["complete"], true);
  }
  // One CSV line per recording below the caption line.
  const std::string csv = ReadText(out + "/report.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(p.recordings.size()) + 1);
  EXPECT_EQ(Shell("cd " + Quote(out) + " && sha256sum --quiet -c SHA256SUMS >/dev/null"), 0);
  EXPECT_NE(ReadText(out + "/orvane-log.txt").find("正在导出文件..."), std::string::npos);
}

class ExportEvidenceTest : public ::testing::Test {
 protected:
  synth::TempDir dir_;
  synth::CapturingSink sink_;
  ScopedNotifySink scoped_{&sink_};
};

TEST_F(ExportEvidenceTest, HikvisionIndexAndChainRecordings) {
  synth::HikvisionDiskOptions o;
  o.blocks = 3;
  synth::HikvisionDisk disk(dir_.File("hik.img"), o);
  for (int b = 0; b < 3; ++b) {
    synth::HikRecordingSpec s;
    s.channel = b + 1;
    s.start_unix = synth::UnixTime(2024, 6, 1 + b, 10, 0, 0);
    s.frames = 40 + b;
    disk.AddRecording(b, 0x100000, s);
  }
  auto l = ParseDisk(synth::ImageDevice(disk.path()), dir_.File("hik.tak"), BrandHikvision,
                     ScanModeFast);
  ExportRun run = ExportAll(l->p, dir_.File("out-fast"));
  ExpectCompleteEvidence(l->p, dir_.File("out-fast"), run.report,
                         [](const RecordingEntry&) { return FoundBy::Index; });
  EXPECT_EQ(run.report["task"]["sha256"], DigestOfFile(dir_.File("hik.tak"), DigestKind::Sha256));
  EXPECT_EQ(run.report["task"]["path"], dir_.File("hik.tak"));
  EXPECT_EQ(run.report["parameters"]["brand"], BrandHikvision);
  EXPECT_EQ(run.report["parameters"]["mode"], ScanModeFast);
  EXPECT_EQ(run.report["summary"]["recordings"], 3);
  EXPECT_EQ(run.report["summary"]["first"], "2024-06-01 10-00-00");
  EXPECT_EQ(run.report["summary"]["per_channel"]["2"], 1);

  // A small wiped disk for the deep parse, which reads every block.
  synth::HikvisionDiskOptions small;
  small.size = 16 << 20;
  small.blocks = 1;
  synth::HikvisionDisk wiped(dir_.File("wiped.img"), small);
  synth::HikRecordingSpec s;
  s.channel = 2;
  s.start_unix = synth::UnixTime(2024, 7, 1, 10, 0, 0);
  s.frames = 60;
  wiped.AddRecordingAt(1 << 20, s);
  s.start_unix += 7200;
  wiped.AddRecordingAt(5 << 20, s);
  wiped.WipeIndex();
  l = ParseDisk(synth::ImageDevice(wiped.path()), dir_.File("deep.tak"), BrandHikvision,
                ScanModeDeep);
  run = ExportAll(l->p, dir_.File("out-deep"));
  ExpectCompleteEvidence(l->p, dir_.File("out-deep"), run.report,
                         [](const RecordingEntry&) { return FoundBy::Chain; });
}

TEST_F(ExportEvidenceTest, DahuaFamilyChainsLeftoversAndSmallGroups) {
  for (int32_t brand : {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling}) {
    SCOPED_TRACE(brand);
    const std::string img = dir_.File("d" + std::to_string(brand) + ".img");
    dahua_test::BuildStandard(brand, img, /*wipe=*/true);
    auto l = ParseDisk(synth::ImageDevice(img), dir_.File("d.tak"), brand, ScanModeDeep, 1,
                       dahua_test::kSmart, dahua_test::kChunk);
    const std::string out = dir_.File("out-d" + std::to_string(brand));
    const ExportRun run = ExportAll(l->p, out);
    std::set<std::string> kinds;
    for (const auto& r : run.report["recordings"]) kinds.insert(r["found_by"]);
    EXPECT_TRUE(kinds.count("chain"));
    EXPECT_TRUE(kinds.count("leftover") || kinds.count("small group"));
    ExpectCompleteEvidence(l->p, out, run.report, [](const RecordingEntry& e) {
      return e.channel == 254   ? FoundBy::Leftover
             : e.channel == 255 ? FoundBy::SmallGroup
                                : FoundBy::Chain;
    });
  }
}

TEST_F(ExportEvidenceTest, WfsIndexAndDeepRecordings) {
  synth::WfsDisk disk(dir_.File("wfs.img"));
  disk.Plant(1, synth::PackTime(2016, 5, 17, 10, 0, 0), {1, 4, 7});
  disk.Plant(2, synth::PackTime(2016, 5, 17, 12, 0, 0), {2, 5, 9});
  for (int32_t mode : {ScanModeFast, ScanModeDeep}) {
    auto l = ParseDisk(synth::ImageDevice(disk.path()), dir_.File("wfs.tak"), BrandWfs, mode, 1,
                       disk.geometry().smart_value);
    const std::string out = dir_.File("out-wfs" + std::to_string(mode));
    const ExportRun run = ExportAll(l->p, out);
    ExpectCompleteEvidence(l->p, out, run.report, [mode](const RecordingEntry& e) {
      if (mode == ScanModeFast) return FoundBy::Index;
      return e.channel == 254   ? FoundBy::Leftover
             : e.channel == 255 ? FoundBy::SmallGroup
                                : FoundBy::Chain;
    });
  }
}

TEST_F(ExportEvidenceTest, BoliAndJovisionCarvedRecordings) {
  const std::string boli = dir_.File("boli.img");
  {
    synth::SparseImage img(boli, 32 << 20);
    const uint32_t t = synth::ReversedTime(2017, 2, 3, 4, 5, 6);
    std::vector<synth::BoliFrameSpec> frames;
    for (int k = 0; k < 20; ++k)
      frames.push_back({static_cast<uint8_t>(3 + k % 2), synth::AddReversedSeconds(t, k),
                        synth::TestFrames()[k]});
    synth::BuildBoliDisk(img, {{2 << 20, frames}});
  }
  auto b = ParseDisk(synth::ImageDevice(boli), dir_.File("boli.tak"), BrandBoli, ScanModeFast);
  ExportRun run = ExportAll(b->p, dir_.File("out-boli"));
  ExpectCompleteEvidence(b->p, dir_.File("out-boli"), run.report,
                         [](const RecordingEntry&) { return FoundBy::Carved; });

  const std::string jvs = dir_.File("jvs.img");
  {
    synth::SparseImage img(jvs, 2 * synth::kJvsArea);
    synth::BuildJvsDisk(img, {0, 1},
                        {{2, 1650000000, 4000, synth::TestStream(), {{1, 0x100000, 0, 2}}, 1}});
    synth::PlantJvsFile(img, 0x6000000, 6, synth::TestStream());
  }
  for (int32_t mode : {ScanModeFast, ScanModeDeep}) {
    auto j = ParseDisk(synth::HoleAwareImageDevice(jvs), dir_.File("jvs.tak"), BrandJovision, mode);
    const std::string out = dir_.File("out-jvs" + std::to_string(mode));
    run = ExportAll(j->p, out);
    const FoundBy want = mode == ScanModeFast ? FoundBy::Index : FoundBy::Carved;
    ExpectCompleteEvidence(j->p, out, run.report, [want](const RecordingEntry&) { return want; });
  }
}

TEST_F(ExportEvidenceTest, ChangedByteFailsTheChecksumsAndUnreadableBytesAreReported) {
  synth::HikvisionDiskOptions o;
  o.blocks = 1;
  synth::HikvisionDisk disk(dir_.File("hik.img"), o);
  synth::HikRecordingSpec s;
  s.channel = 1;
  s.start_unix = synth::UnixTime(2024, 6, 1, 10, 0, 0);
  s.frames = 60;
  disk.AddRecording(0, 0x100000, s);
  auto l =
      ParseDisk(synth::ImageDevice(disk.path()), dir_.File("t.tak"), BrandHikvision, ScanModeFast);
  ASSERT_EQ(l->p.recordings.size(), 1u);
  // One bad sector inside the recording.
  const int64_t bad = l->p.recordings[0].fragments[0].offset + 4096;
  l->device = synth::FaultyImageDevice(disk.path(), {{bad, bad + 512}});
  const std::string out = dir_.File("out");
  const ExportRun run = ExportAll(l->p, out);
  ASSERT_EQ(run.report["recordings"].size(), 1u);
  EXPECT_EQ(run.report["recordings"][0]["unreadable"], 512);
  EXPECT_NE(ReadText(out + "/report.csv").find(",512,"), std::string::npos);

  const std::string file = out + "/" + run.report["recordings"][0]["file"].get<std::string>();
  ASSERT_EQ(Shell("cd " + Quote(out) + " && sha256sum --quiet -c SHA256SUMS >/dev/null"), 0);
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(100);
    f.put('\x5a' ^ ReadText(file)[100]);
  }
  EXPECT_NE(Shell("cd " + Quote(out) + " && sha256sum --quiet -c SHA256SUMS >/dev/null 2>&1"), 0);
}

// The path of Debian's chromium; fails the test in CI when it is missing.
std::string ChromiumOrSkip(bool& skip) {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
    if (Shell(std::string("test -x ") + path) == 0) return path;
  skip = true;
  return {};
}

TEST_F(ExportEvidenceTest, ReportPageRendersInHeadlessChromium) {
  bool missing = false;
  const std::string chromium = ChromiumOrSkip(missing);
  if (missing) {
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") FAIL() << "chromium is not installed (scripts/setup.sh)";
    GTEST_SKIP() << "chromium is not installed";
  }
  synth::HikvisionDiskOptions o;
  o.blocks = 3;
  synth::HikvisionDisk disk(dir_.File("hik.img"), o);
  for (int b = 0; b < 3; ++b) {
    synth::HikRecordingSpec s;
    s.channel = 7;
    s.start_unix = synth::UnixTime(2025, 1, 1, 0, b, 0);
    s.frames = 30;
    disk.AddRecording(b, 0x100000, s);
  }
  auto l =
      ParseDisk(synth::ImageDevice(disk.path()), dir_.File("t.tak"), BrandHikvision, ScanModeFast);
  l->p.clock_offset = 3 * 60 + 12;
  const std::string out = dir_.File("out <&> \"quoted\"");
  ExportAll(l->p, out);

  const std::string profile = dir_.File("profile");
  const std::string err = dir_.File("chromium.err");
  const std::string dom = dir_.File("dom.html");
  const std::string command =
      Quote(chromium) +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --enable-logging=stderr --v=0 --user-data-dir=" +
      Quote(profile) + " --dump-dom " + Quote("file://" + out + "/report.html") + " >" +
      Quote(dom) + " 2>" + Quote(err);
  ASSERT_EQ(Shell(command), 0) << ReadText(err);
  const std::string page = ReadText(dom);
  const size_t table = page.find("<table id=\"recordings\">");
  ASSERT_NE(table, std::string::npos) << page.substr(0, 400);
  const std::string recordings = page.substr(table, page.find("</table>", table) - table);
  const std::regex row("<tr>");
  const auto rows = std::distance(std::sregex_iterator(recordings.begin(), recordings.end(), row),
                                  std::sregex_iterator());
  EXPECT_EQ(rows, 1 + 3);  // the caption row and one per recording
  EXPECT_NE(page.find("2025-01-01 00-00-00"), std::string::npos);  // recorder time
  EXPECT_NE(page.find("2024-12-31 23-56-48"), std::string::npos);  // corrected
  EXPECT_NE(page.find("+00:03:12"), std::string::npos);
  EXPECT_NE(page.find("out &lt;&amp;&gt; \"quoted\""), std::string::npos);
  EXPECT_EQ(ReadText(err).find("CONSOLE"), std::string::npos) << ReadText(err);
}

}  // namespace
}  // namespace orvane
