#pragma once
// The search for video start codes that the frame scans of several layouts
// run over every byte of a disk: a 01 byte behind a run of zero bytes. On
// noise a 01 byte comes every 256 bytes, so a search that stops at each one
// costs more than reading the disk; this one tests whole vectors of
// positions at a time.

#include <cstddef>
#include <cstdint>

#include "scan/search_isa.h"

namespace orvane {

// The first k in [from, end) with p[k] == 1 and the `zeros` bytes in front
// of it zero, or `end` when there is none. `zeros` is 2 or 3; the caller
// makes sure p[from - zeros] is readable.
size_t FindOneBehindZeros(const uint8_t* p, size_t from, size_t end, int zeros);

// The same with the instructions of `isa`, which the processor must run.
size_t FindOneBehindZerosUsing(SearchIsa isa, const uint8_t* p, size_t from, size_t end, int zeros);

}  // namespace orvane
