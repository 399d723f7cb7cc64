#pragma once
// The search for a four-byte signature that frame and pack scans run over
// every byte of a disk. On noise and zeros almost no position can hold the
// signature, so the search tests whole blocks of positions at once and
// looks closer only inside a block that may hold one.

#include <cstddef>
#include <cstdint>

#include "scan/search_isa.h"

namespace orvane {

// First i in [from, end) where the four bytes at p + i, read little-endian,
// equal `magic`, or `end` when there is none. The caller guarantees that
// p[end + 2] is readable.
size_t FindMagic(const uint8_t* p, size_t from, size_t end, uint32_t magic);

// The same with the instructions of `isa`, which the processor must run.
size_t FindMagicUsing(SearchIsa isa, const uint8_t* p, size_t from, size_t end, uint32_t magic);

}  // namespace orvane
