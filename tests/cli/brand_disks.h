#pragma once
// One small built disk per recorder brand, with recordings that a fast parse
// finds through the index and others only a deep parse finds, and the parse
// arguments that suit it on the command line.

#include <cstdint>
#include <string>

#include "engines/dahua/dahua_test_util.h"
#include "scan/scan_parameters.h"
#include "synth/boli_disk.h"
#include "synth/h264_stream.h"
#include "synth/hikvision_disk.h"
#include "synth/jovision_disk.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace orvane::cli_test {

struct BrandDisk {
  std::string image;
  // Extra arguments of a deep parse (buffer, smart value) that make the scan
  // quick on a small disk.
  std::string deep_args;
};

inline BrandDisk BuildBrandDisk(int32_t brand, const std::string& image) {
  BrandDisk d{image, ""};
  switch (brand) {
    case BrandHikvision: {
      // The index of a block sits 1 GiB - 1 MiB into it: one block is the
      // smallest disk with an index. Sparse, and compressed by ewfacquire.
      synth::HikvisionDiskOptions o;
      o.blocks = 1;
      synth::HikvisionDisk disk(image, o);
      synth::HikRecordingSpec a{1, synth::UnixTime(2024, 6, 1, 10, 0, 0), 60, 25};
      synth::HikRecordingSpec b{2, synth::UnixTime(2024, 6, 1, 11, 0, 0), 40, 25};
      disk.AddRecording(0, 0x100000, a);
      disk.AddRecording(0, 0x900000, b, /*indexed=*/false);
      break;
    }
    case BrandDahua:
    case BrandHuayi:
    case BrandMeidianBell:
    case BrandZhiling:
      dahua_test::BuildStandard(brand, image);
      d.deep_args = "--buffer " + std::to_string(dahua_test::kChunk) + " --smart " +
                    std::to_string(dahua_test::kSmart / kSectorSize);
      break;
    case BrandWfs: {
      synth::WfsDisk disk(image);
      const uint32_t t = synth::PackTime(2016, 5, 17, 10, 0, 0);
      disk.Plant(1, t, {1, 4, 7});
      disk.Plant(2, synth::AddSeconds(t, 7200), {2, 5, 9});
      break;
    }
    case BrandBoli: {
      synth::SparseImage img(image, 16 << 20);
      const uint32_t t = synth::ReversedTime(2017, 2, 3, 4, 5, 6);
      synth::BuildBoliDisk(img, {{(2 << 20) - 999, synth::BoliStreamFrames(3, t, 30)},
                                 {(9 << 20) + 512, synth::BoliStreamFrames(4, t, 20)}});
      break;
    }
    case BrandJovision: {
      synth::SparseImage img(image, 48 << 20);
      const synth::Bytes& data = synth::TestStream();
      synth::BuildJvsDisk(
          img, {0}, {{2, 1650000000, 4000, data, {{0, 0x1000000, 0, 2}, {0, 0x800000, 0, 0}}, 0}});
      synth::PlantJvsFile(img, 0x2000000, 6, synth::TestStream());
      break;
    }
    default:
      break;
  }
  return d;
}

}  // namespace orvane::cli_test
