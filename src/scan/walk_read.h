#pragma once
// The reads of windows a walk places (the Dahua frame walks, and the survey
// ahead of them). A walk resumes where the last one handled its last frame,
// which is rarely on a sector; the read starts at the sector below instead,
// so that the device reads straight into the buffer in one read.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/scan_bytes.h"

namespace orvane {

class SourceDevice;
class BadAreaSkip;

// Reads `len` bytes at `at` into `buf` (grown as needed) and returns where
// the bytes at `at` begin; everything behind them reads as zero, also where
// the read failed (`ok` false) or the medium ended. With `skip`, a read
// after a failure skips ahead over what is likely a bad area.
const uint8_t* ReadForWalk(SourceDevice& dev, int64_t device_size, int64_t at, size_t len,
                           ScanBytes& buf, bool& ok, BadAreaSkip* skip = nullptr);

}  // namespace orvane
