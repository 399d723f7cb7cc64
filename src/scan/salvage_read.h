#pragma once
// Reading a block of the source so that a bad sector costs only itself.
//
// A failed block read keeps the bytes in front of its bad spot. The rest is
// read again in smaller pieces and then sector by sector, so that everything
// readable around a bad spot still reaches the scan and only the failing
// sectors stay zero.

#include <cstddef>
#include <cstdint>

namespace orvane {

class SourceDevice;

// Reads `length` bytes at `offset` into `buffer`. Whatever could not be read,
// and whatever lies past the end of the medium, is zero afterwards, so the
// caller need not clear the buffer first (a full read overwrites it anyway,
// which spares a deep scan a second pass over every block). Returns false
// when some part inside the medium could not be read.
bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length);

// The second half of ReadSalvaging, for a caller that made the whole read
// itself and saw it fail: keeps what that read brought (the device still
// knows how much), clears the rest and reads it again in pieces, then sector
// by sector. False when some part inside the medium could not be read, or
// the read lay wholly past its end.
bool SalvageFailedRead(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length);

// SalvageFailedRead, telling how many bytes inside the medium stay
// unreadable (zero in the buffer). Bytes past the end of the medium are zero
// as well but not counted.
int64_t RecoverFailedRead(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length);

// Reads `length` bytes at `offset` into a buffer of `capacity` bytes (at
// least `length`) and leaves zeros wherever nothing was read: behind the
// bytes in front of a bad spot after a failed read (false), behind the end
// of the medium (also at `device_size` when that is not 0), behind `length`.
// Only those parts are cleared, which keeps a page-cached scan at the speed
// of the read itself.
bool ReadZeroed(SourceDevice& device, int64_t device_size, int64_t offset, uint8_t* buffer,
                size_t length, size_t capacity);

}  // namespace orvane
