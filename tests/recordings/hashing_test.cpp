#include "recordings/hashing.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr const char* kSha256Abc =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* kMd5Abc = "900150983cd24fb0d6963f7d28e17f72";

TEST(Hashing, DigestsMatchKnownValuesWhateverTheFeeding) {
  Digest sha(DigestKind::Sha256);
  sha.Update("a", 1);
  sha.Update("", 0);
  sha.Update("bc", 2);
  EXPECT_EQ(sha.Finish(), kSha256Abc);
  EXPECT_EQ(sha.Finish(), "");  // spent
  Digest md5(DigestKind::Md5);
  md5.Update("abc", 3);
  EXPECT_EQ(md5.Finish(), kMd5Abc);
  EXPECT_EQ(Digest(DigestKind::Sha256).Finish(),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  synth::TempDir dir;
  const std::string path = dir.File("abc");
  std::ofstream(path) << "abc";
  EXPECT_EQ(DigestOfFile(path, DigestKind::Sha256), kSha256Abc);
  EXPECT_EQ(DigestOfFile(path, DigestKind::Md5), kMd5Abc);
  EXPECT_EQ(DigestOfFile(dir.File("missing"), DigestKind::Sha256), "");
  const std::vector<DigestKind> both{DigestKind::Sha256, DigestKind::Md5};
  EXPECT_EQ(DigestsOfFile(path, both), (std::vector<std::string>{kSha256Abc, kMd5Abc}));
  EXPECT_EQ(DigestsOfFile(dir.File("missing"), both), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(ChecksumLine(kMd5Abc, "a b.dav"), std::string(kMd5Abc) + "  a b.dav\n");
}

TEST(Hashing, HashingFileHashesExactlyWhatItWrote) {
  synth::TempDir dir;
  const std::string path = dir.File("out.dav");
  HashingFile out;
  ASSERT_TRUE(out.Create(path));
  std::string big(3 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + 7);
  ASSERT_TRUE(out.Write(reinterpret_cast<const uint8_t*>(big.data()), 1000));
  ASSERT_TRUE(out.Write(reinterpret_cast<const uint8_t*>(big.data()) + 1000, big.size() - 1000));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(out.Sha256(), DigestOfFile(path, DigestKind::Sha256));

  HashingFile nowhere;
  EXPECT_FALSE(nowhere.Create(dir.File("no/such/folder/x.dav")));
}

}  // namespace
}  // namespace orvane
