// The hashes a mirror backup takes as it copies, and the checksum files it
// leaves beside an image.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "imaging/mirror_backup.h"
#include "recordings/hashing.h"
#include "scan/worker_flags.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Shell(const std::string& command) {
  const int st = std::system(command.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string HexOf(DigestKind kind, const std::string& bytes) {
  Digest d(kind);
  d.Update(bytes.data(), bytes.size());
  return d.Finish();
}

struct Copy {
  bool complete = false;
  BackupHashes hashes;
  std::vector<std::string> log;
};

Copy RunCopy(const DeviceInfo& source, const std::string& target, int64_t offset, int64_t sectors,
             int64_t target_offset) {
  BackupRequest r;
  r.source = DriveEndpoint(source);
  r.target.kind = kEndpointFile;
  r.target.path = target;
  r.source_offset_text = std::to_string(offset);
  r.source_size_text = std::to_string(sectors);
  r.target_offset_text = std::to_string(target_offset);
  WorkerFlags flags;
  BackupJob job;
  Copy c;
  if (!ValidateBackupStart(r, job, flags).started) return c;
  BackupHooks hooks;
  hooks.log = [&c](std::string_view, std::string_view text) { c.log.emplace_back(text); };
  hooks.progress_range = [](int64_t) {};
  hooks.progress_position = [](int64_t) {};
  c.complete = RunMirrorBackup(job, hooks);
  c.hashes = job.hashes;
  return c;
}

Copy RunCopy(const std::string& source, const std::string& target, int64_t offset, int64_t sectors,
             int64_t target_offset) {
  return RunCopy(synth::ImageDevice(source), target, offset, sectors, target_offset);
}

TEST(BackupHashes, ChecksumFilesBesideTheImageCheckAndCatchAChangedByte) {
  synth::TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 9 << 20);
  image.FillNoise(0, image.size(), 5);
  const std::string target = dir.File("copy.img");
  // 4097 sectors: two whole blocks and a remainder.
  const Copy c = RunCopy(image.path(), target, 8, 4097 + 4096, 0);
  ASSERT_TRUE(c.complete);
  const std::string range = ReadText(image.path()).substr(8 * 512, (4097 + 4096) * 512);
  EXPECT_EQ(c.hashes.source_sha256, HexOf(DigestKind::Sha256, range));
  EXPECT_EQ(c.hashes.source_md5, HexOf(DigestKind::Md5, range));
  EXPECT_EQ(c.hashes.image_sha256, c.hashes.source_sha256);
  EXPECT_EQ(ReadText(target + ".sha256"), c.hashes.image_sha256 + "  copy.img\n");
  EXPECT_EQ(ReadText(target + ".md5"), c.hashes.image_md5 + "  copy.img\n");
  bool logged = false;
  for (const auto& line : c.log) logged |= line.find(c.hashes.source_sha256) != std::string::npos;
  EXPECT_TRUE(logged);
  EXPECT_EQ(c.log.back(), kMsgBackupFinished);

  const std::string check =
      "cd " + dir.path().string() + " && sha256sum --quiet -c copy.img.sha256 >/dev/null 2>&1";
  const std::string check_md5 =
      "cd " + dir.path().string() + " && md5sum --quiet -c copy.img.md5 >/dev/null 2>&1";
  EXPECT_EQ(Shell(check), 0);
  EXPECT_EQ(Shell(check_md5), 0);
  {
    std::fstream f(target, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(3 << 20);
    f.put('\x01' ^ range[3 << 20]);
  }
  EXPECT_NE(Shell(check), 0);
  EXPECT_NE(Shell(check_md5), 0);
}

// Written at a target offset, the image file starts with zeros the copy
// never wrote: its hashes cover them, the source's do not.
TEST(BackupHashes, ImageHashesCoverTheZerosBeforeATargetOffset) {
  synth::TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 3 << 20);
  image.FillNoise(0, image.size(), 6);
  const std::string target = dir.File("shifted.img");
  const Copy c = RunCopy(image.path(), target, 0, 6144, 3);
  ASSERT_TRUE(c.complete);
  EXPECT_EQ(c.hashes.source_sha256, HexOf(DigestKind::Sha256, ReadText(image.path())));
  EXPECT_EQ(c.hashes.image_sha256, DigestOfFile(target, DigestKind::Sha256));
  EXPECT_EQ(c.hashes.image_md5, DigestOfFile(target, DigestKind::Md5));
  EXPECT_NE(c.hashes.image_sha256, c.hashes.source_sha256);
  EXPECT_EQ(Shell("cd " + dir.path().string() + " && sha256sum --quiet -c shifted.img.sha256"), 0);
}

// A bad sector leaves zeros in the image: the source range has no hash, and
// the checksum files, taken from the image afterwards, check what was written.
TEST(BackupHashes, ImageWithABadAreaIsHashedAsWritten) {
  synth::TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 4 << 20);
  image.FillNoise(0, image.size(), 8);
  const DeviceInfo faulty =
      synth::FaultyImageDevice(image.path(), {ByteRange::FromLength((2 << 20) + 1024, 512)});
  const std::string target = dir.File("holed.img");
  const Copy c = RunCopy(faulty, target, 0, (4 << 20) / 512, 0);
  EXPECT_FALSE(c.complete);
  EXPECT_EQ(c.hashes.source_sha256, "");
  std::string written = ReadText(image.path());
  written.replace((2 << 20) + 1024, 512, 512, '\0');
  ASSERT_EQ(ReadText(target), written);
  EXPECT_EQ(c.hashes.image_sha256, HexOf(DigestKind::Sha256, written));
  EXPECT_EQ(c.hashes.image_md5, HexOf(DigestKind::Md5, written));
  EXPECT_EQ(Shell("cd " + dir.path().string() + " && sha256sum --quiet -c holed.img.sha256"), 0);
  EXPECT_EQ(Shell("cd " + dir.path().string() + " && md5sum --quiet -c holed.img.md5"), 0);
}

}  // namespace
}  // namespace orvane
