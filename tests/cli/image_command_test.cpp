#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_run.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace {

using orvane::cli_test::CliResult;
using orvane::cli_test::RunCli;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ImageCommand, CopiesARangeWithTheDialogsMessages) {
  orvane::synth::TempDir dir;
  orvane::synth::SparseImage image(dir.File("src.img"), 3 << 20);
  image.FillNoise(0, image.size(), 21);
  const std::string target = dir.File("out.img");

  CliResult r = RunCli("image " + image.path() + " " + target, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("信息: 正在进行镜像备份..."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("信息: 镜像备份任务结束"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(target), ReadAll(image.path()));

  // A file already there is kept unless replacing it is asked for.
  const std::string first = ReadAll(target);
  r = RunCli("image " + image.path() + " " + target + " --size 1", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("警告: 目标文件已存在"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("正在进行镜像备份"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(target), first);

  r = RunCli("image " + image.path() + " " + target + " --offset 2048 --target-offset 1 --force",
             dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string copy = ReadAll(target);
  ASSERT_EQ(copy.size(), 512u + (2u << 20));
  EXPECT_EQ(copy.substr(512), ReadAll(image.path()).substr(1 << 20));

  r = RunCli("image " + image.path() + " " + target + " --size 1 --force", dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::filesystem::file_size(target), 512u);

  // An image that ends inside a sector is copied to its last byte.
  orvane::synth::SparseImage odd(dir.File("odd.img"), 1000001);
  odd.FillNoise(0, odd.size(), 22);
  r = RunCli("image " + odd.path() + " " + target + " --force", dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::filesystem::file_size(target), 1000001u);
  EXPECT_TRUE(ReadAll(target) == ReadAll(odd.path()));
}

TEST(ImageCommand, RefusesTheSourceAsTargetAndAMissingSource) {
  orvane::synth::TempDir dir;
  orvane::synth::SparseImage image(dir.File("src.img"), 1 << 20);
  image.FillNoise(0, image.size(), 4);
  const std::string before = ReadAll(image.path());
  std::filesystem::create_symlink(image.path(), dir.File("alias.img"));

  CliResult r = RunCli("image " + image.path() + " " + dir.File("alias.img"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("警告: 参数设置错误，请重新设置"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("正在进行镜像备份"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(image.path()), before);

  r = RunCli("image " + image.path() + " " + dir.File("x.img") + " --size 0", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("参数设置错误，请重新设置"), std::string::npos) << r.err;

  r = RunCli("image " + dir.File("none.img") + " " + dir.File("x.img"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.img")));
}

}  // namespace
