#pragma once
// What the benchmarks on built disk images share: their arguments
// ([folder] [size in MiB, at least 2048]) and an empty disk as an imaged one
// holds it.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "synth/sparse_image.h"

namespace orvane::bench {

struct DiskBenchArgs {
  std::string base;  // folder and name prefix of this run's files
  int64_t mib = 2048;
};

inline DiskBenchArgs ReadDiskBenchArgs(int argc, char** argv, const std::string& name) {
  const std::filesystem::path folder =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  DiskBenchArgs a;
  a.mib = argc > 2 ? std::max(2048LL, std::atoll(argv[2])) : 2048;
  a.base = (folder / ("bench-" + name + "-" + std::to_string(::getpid()))).string();
  return a;
}

// Zeros written out, not left a hole, so that the page cache holds all of
// the image as it holds an imaged empty disk.
inline void WriteZeros(synth::SparseImage& img) {
  const std::vector<uint8_t> zeros(8 << 20, 0);
  for (int64_t at = 0; at < img.size(); at += static_cast<int64_t>(zeros.size()))
    img.Write(at, zeros.data(),
              static_cast<size_t>(
                  std::min<int64_t>(static_cast<int64_t>(zeros.size()), img.size() - at)));
}

}  // namespace orvane::bench
