#pragma once
// An image device that answers the holes of a sparse image with zeros
// instead of reading them: a scan over a sparse disk of several gigabytes
// then costs about what is planted, whatever the file system makes of holes.
// Reads that touch one of `bad` fail as a whole, as FaultyImageDevice does.

#include <string>
#include <vector>

#include "device/byte_range.h"
#include "device/device_info.h"

namespace orvane::synth {

DeviceInfo HoleAwareImageDevice(const std::string& path, std::vector<ByteRange> bad = {});

}  // namespace orvane::synth
