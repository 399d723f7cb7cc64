#pragma once
// Reading a source region so that bad sectors cost only themselves.

#include <cstdint>

namespace orvane {
class SourceDevice;
}

namespace orvane::wfs {

// Reads `length` bytes at `offset` into `buffer`, which the caller cleared.
// When the whole request fails it posts the read error once and reads the
// region again piece by piece, down to single sectors, so that only the
// unreadable sectors stay zero. False when anything could not be read.
bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length);

}  // namespace orvane::wfs
