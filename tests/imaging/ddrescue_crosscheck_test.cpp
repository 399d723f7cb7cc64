// The rescue copy against GNU ddrescue over the same faulty file: both read
// it through a preload library that fails the chosen sectors as Linux does.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/rescue_map.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command; its output goes to `output` when given.
int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* f = popen((command + " 2>&1").c_str(), "r");
  if (!f) return -1;
  char buf[4096];
  size_t n;
  std::string text;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const int st = pclose(f);
  if (output) *output = text;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string BadAreas(const std::string& map_path) {
  RescueMap map;
  std::string error;
  EXPECT_TRUE(LoadRescueMap(map_path, map, error)) << map_path << ": " << error;
  std::string text;
  for (const MapArea& a : map.Areas())
    if (a.status != kAreaFinished)
      text += std::to_string(a.pos / 512) + "+" + std::to_string(a.size / 512) + a.status + " ";
  return text;
}

TEST(RescueCrossCheck, SameImageAndSameBadSectorsAsGnuDdrescue) {
  if (Shell("command -v ddrescue && command -v ddrescuelog") != 0)
    GTEST_SKIP() << "GNU ddrescue is not installed";
  synth::TempDir dir;
  synth::SparseImage source(dir.File("failing.img"), 12 << 20);
  source.FillNoise(0, source.size(), 31);
  // Single sectors, a cluster across a 64 KiB and a 2 MiB edge, a wide
  // stretch, a sector at the start; the last sector stays good so that both
  // images end at the same length.
  const std::string sectors = "0+1,700+1,4095+2,4100+3,9000+2500,20000+1,24000+7";
  const std::string expected = "0+1- 700+1- 4095+2- 4100+3- 9000+2500- 20000+1- 24000+7- ";
  const std::string env = "LD_PRELOAD=" + Quote(ORVANE_FAULT_SHIM_PATH) +
                          " ORVANE_FAULT_FILE=" + Quote(source.path()) +
                          " ORVANE_FAULT_SECTORS=" + sectors + " ";

  std::string out;
  ASSERT_EQ(Shell(env + "ddrescue -q " + Quote(source.path()) + " " + Quote(dir.File("dd.img")) +
                      " " + Quote(dir.File("dd.map")),
                  &out),
            0)
      << out;
  Shell(env + Quote(ORVANE_CLI_PATH) + " image " + Quote(source.path()) + " " +
            Quote(dir.File("ours.img")) + " --map " + Quote(dir.File("ours.map")),
        &out);
  EXPECT_NE(out.find("读取失败 偏移:4608000 大小:1280000"), std::string::npos) << out;

  EXPECT_EQ(BadAreas(dir.File("dd.map")), expected);
  EXPECT_EQ(BadAreas(dir.File("ours.map")), expected);
  const std::string ours = ReadAll(dir.File("ours.img"));
  EXPECT_EQ(ours.size(), static_cast<size_t>(12 << 20));
  EXPECT_TRUE(ours == ReadAll(dir.File("dd.img")));

  // ddrescuelog reads our map and counts what it lists.
  ASSERT_EQ(Shell("ddrescuelog -t " + Quote(dir.File("ours.map")), &out), 0) << out;
  std::istringstream lines(out);
  std::string line;
  std::vector<std::string> bad_lines;
  while (std::getline(lines, line))
    if (line.find("bad-sector:") != std::string::npos ||
        line.find("non-tried:") != std::string::npos)
      bad_lines.push_back(line);
  ASSERT_EQ(bad_lines.size(), 2u) << out;
  EXPECT_NE(bad_lines[0].find("0 B,  in      0 area(s)"), std::string::npos) << out;
  EXPECT_NE(bad_lines[1].find("in      7 area(s)"), std::string::npos) << out;
}

}  // namespace
}  // namespace orvane
