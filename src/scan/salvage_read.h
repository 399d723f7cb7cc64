#pragma once
// Reading a block of the source so that a bad sector costs only itself.
//
// A failed block read leaves the whole buffer zero. Before giving it up, the
// block is read again in smaller pieces and then sector by sector, so that
// everything readable around a bad spot still reaches the scan.

#include <cstdint>

namespace orvane {

class SourceDevice;

// Reads `length` bytes at `offset` into `buffer`, which the caller cleared.
// Returns false when some part could not be read; those bytes are zero.
bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length);

}  // namespace orvane
