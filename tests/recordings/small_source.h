#pragma once
// A 1 MiB image whose first 4096 bytes are 0x5A, opened for export with the
// parameters of a Boli deep parse.

#include <cstdint>
#include <vector>

#include "device/device_info.h"
#include "device/source_device.h"
#include "scan/scan_parameters.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {

struct SmallSource {
  synth::TempDir dir;
  DeviceInfo device;
  ScanParameters p;
  SourceDevice dev;

  SmallSource() {
    {
      synth::SparseImage img(dir.File("src.img"), 1 << 20);
      img.Write(0, std::vector<uint8_t>(4096, 0x5A));
    }
    device = synth::ImageDevice(dir.File("src.img"));
    p.source = &device;
    p.brand = BrandBoli;
    p.mode = ScanModeDeep;
    dev.Open(device);
  }
};

}  // namespace orvane
