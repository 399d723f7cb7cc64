#include "media/annexb.h"

namespace orvane {

namespace {
int H264Type(uint8_t b) { return b & 0x1F; }
int H265Type(uint8_t b) { return (b >> 1) & 0x3F; }

bool IsParameterSet(VideoCodec codec, uint8_t b) {
  if (codec == VideoCodec::H264) return H264Type(b) == 7 || H264Type(b) == 8;
  const int t = H265Type(b);
  return t >= 32 && t <= 34;
}
}  // namespace

VideoCodec GuessCodec(const uint8_t* d, size_t n) {
  VideoCodec found = VideoCodec::Unknown;
  ForEachNal(d, n, [&](size_t, size_t h, size_t end) {
    if (found != VideoCodec::Unknown || h + 1 >= end) return;
    const uint8_t b = d[h];
    if (b & 0x80) return;  // forbidden bit: not a NAL header
    // An H.265 header's second byte carries a temporal id of at least 1;
    // its VPS, SPS and PPS are 0x40, 0x42, 0x44 followed by 0x01.
    if (d[h + 1] == 0x01 && H265Type(b) >= 32 && H265Type(b) <= 34) {
      found = VideoCodec::H265;
    } else if (H264Type(b) == 7 && (b & 0x60) != 0) {
      found = VideoCodec::H264;
    }
  });
  return found;
}

bool IsKeyUnit(VideoCodec codec, const uint8_t* d, size_t n) {
  bool key = false;
  ForEachNalHeader(d, n, [&](size_t h) {
    if (codec == VideoCodec::H264) {
      const int t = H264Type(d[h]);
      if (t < 1 || t > 5) return true;  // not a slice
      key = t == 5;
      return false;
    }
    if (codec != VideoCodec::H265) return false;
    const int t = H265Type(d[h]);
    if (t > 31) return true;  // not a slice
    key = t >= 16 && t <= 21;
    return false;
  });
  return key;
}

bool IsSliceNal(VideoCodec codec, const uint8_t* h) {
  if (codec == VideoCodec::H265) return H265Type(h[0]) <= 31;
  const int t = H264Type(h[0]);
  return t >= 1 && t <= 5;
}

bool OpensAccessUnit(VideoCodec codec, const uint8_t* h) {
  if (codec == VideoCodec::H265) {
    const int t = H265Type(h[0]);
    // first_slice_segment_in_pic_flag opens the slice header.
    if (t <= 31) return (h[2] & 0x80) != 0;
    return (t >= 32 && t <= 35) || t == 39 || (t >= 41 && t <= 44) || (t >= 48 && t <= 55);
  }
  const int t = H264Type(h[0]);
  // first_mb_in_slice 0 is the one-bit code "1".
  if (t >= 1 && t <= 5) return (h[1] & 0x80) != 0;
  return (t >= 6 && t <= 9) || (t >= 14 && t <= 18);
}

std::vector<uint8_t> ParameterSets(VideoCodec codec, const uint8_t* d, size_t n) {
  std::vector<uint8_t> out;
  if (codec == VideoCodec::Unknown) return out;
  ForEachNal(d, n, [&](size_t, size_t h, size_t end) {
    if (!IsParameterSet(codec, d[h])) return;
    size_t e = end;
    while (e > h && d[e - 1] == 0) --e;  // trailing zeros belong to the next code
    static const uint8_t kStart[4] = {0, 0, 0, 1};
    out.insert(out.end(), kStart, kStart + 4);
    out.insert(out.end(), d + h, d + e);
  });
  return out;
}

}  // namespace orvane
