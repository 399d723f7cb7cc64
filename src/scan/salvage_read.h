#pragma once
// Reading a block of the source so that a bad sector costs only itself.
//
// A failed block read leaves the whole buffer zero. Before giving it up, the
// block is read again in smaller pieces and then sector by sector, so that
// everything readable around a bad spot still reaches the scan.

#include <cstdint>

namespace orvane {

class SourceDevice;

// Reads `length` bytes at `offset` into `buffer`. Whatever could not be read,
// and whatever lies past the end of the medium, is zero afterwards, so the
// caller need not clear the buffer first (a full read overwrites it anyway,
// which spares a deep scan a second pass over every block). Returns false
// when some part inside the medium could not be read.
bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length);

}  // namespace orvane
