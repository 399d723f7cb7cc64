#pragma once
// What the tools need to know about an Annex-B byte stream: which codec it
// is, whether a unit starts a picture that decodes by itself, and its
// parameter sets.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/video_frame.h"
#include "scan/start_code_find.h"

namespace orvane {

// The codec of the first parameter set or slice found; Unknown when none is.
VideoCodec GuessCodec(const uint8_t* data, size_t size);
// True when the unit's pictures are IDR (H.264) or IRAP (H.265) ones. The
// first slice tells, as every slice of a picture is of its kind, so the
// bytes of the slice data behind it are never looked at.
bool IsKeyUnit(VideoCodec codec, const uint8_t* data, size_t size);
// For the header bytes `h` of a NAL unit (three of them readable): whether
// it is a slice, and whether it opens a new access unit when one with a
// slice is under way (a parameter set, delimiter or SEI, or the first slice
// of a new picture).
bool IsSliceNal(VideoCodec codec, const uint8_t* h);
bool OpensAccessUnit(VideoCodec codec, const uint8_t* h);

// The parameter-set NAL units of a unit (SPS, PPS; VPS for H.265), each with
// a four-byte start code; empty when it holds none.
std::vector<uint8_t> ParameterSets(VideoCodec codec, const uint8_t* data, size_t size);

// Calls `fn(offset, header_byte_offset, end)` for every NAL unit: the
// position of its start code, of its first header byte, and its end.
template <typename Fn>
void ForEachNal(const uint8_t* d, size_t n, Fn fn) {
  size_t start = n, header = n;
  // k is the 01 of each 00 00 01; the next one begins behind it.
  for (size_t k = FindOneBehindZeros(d, 2, n, 2); k < n; k = FindOneBehindZeros(d, k + 3, n, 2)) {
    const size_t i = k - 2;
    const size_t code = i > 0 && d[i - 1] == 0 ? i - 1 : i;
    if (header < n) fn(start, header, code);
    start = code;
    header = k + 1;
  }
  if (header < n) fn(start, header, n);
}

// Calls `fn(header_byte_offset)` for every NAL unit in order until it
// returns false. Unlike ForEachNal it does not look for a unit's end: each
// header byte it hands out lies inside the bytes.
template <typename Fn>
void ForEachNalHeader(const uint8_t* d, size_t n, Fn fn) {
  if (n < 4) return;
  for (size_t k = FindOneBehindZeros(d, 2, n - 1, 2); k < n - 1;
       k = FindOneBehindZeros(d, k + 3, n - 1, 2))
    if (!fn(k + 1)) return;
}

}  // namespace orvane
