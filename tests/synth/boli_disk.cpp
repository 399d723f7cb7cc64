#include "synth/boli_disk.h"

#include <cstring>

#include "device/byte_order.h"

namespace orvane::synth {

uint32_t ReversedTime(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<uint32_t>(y - 2000) | (static_cast<uint32_t>(mo) << 6) |
         (static_cast<uint32_t>(d) << 10) | (static_cast<uint32_t>(h) << 15) |
         (static_cast<uint32_t>(mi) << 20) | (static_cast<uint32_t>(s) << 26);
}

uint32_t AddReversedSeconds(uint32_t t, int seconds) {
  int sec = static_cast<int>(t >> 26), min = static_cast<int>((t >> 20) & 63),
      hour = static_cast<int>((t >> 15) & 31);
  int total = hour * 3600 + min * 60 + sec + seconds;
  total %= 86400;
  return (t & 0x7FFF) | (static_cast<uint32_t>(total / 3600) << 15) |
         (static_cast<uint32_t>(total / 60 % 60) << 20) | (static_cast<uint32_t>(total % 60) << 26);
}

Bytes BoliHeaderSector() {
  Bytes s(512, 0);
  StoreLE64(&s[0x20], 0x2000);
  StoreLE64(&s[0x28], 0x4000);
  StoreLE64(&s[0x30], 0x100000);
  StoreLE32(&s[0x40], 0x80000000u);
  StoreLE16(&s[0x60], 0xFFFF);
  StoreLE32(&s[0x67], 0x400);
  return s;
}

Bytes BoliFrame(uint8_t channel, uint32_t time, const Bytes& payload) {
  Bytes body = payload;
  size_t zeros = 0;
  while (zeros < body.size() && zeros < 3 && body[zeros] == 0) ++zeros;
  if (zeros < 3 || body.size() < 4 || body[3] != 1) {
    // Lengthen a three-byte start code, or give a bare payload one.
    if (zeros == 2 && body.size() > 2 && body[2] == 1) {
      body.insert(body.begin(), 0);
    } else {
      const uint8_t code[4] = {0, 0, 0, 1};
      body.insert(body.begin(), code, code + 4);
    }
  }
  if (body.size() < 16) body.resize(16, 0);
  Bytes frame;
  frame.reserve(16 + body.size());
  frame.resize(16, 0);
  frame[0] = 0x30;
  frame[1] = 0x31;
  frame[2] = channel;
  frame[3] = 0x64;
  StoreLE32(&frame[4], static_cast<uint32_t>(body.size()));
  StoreLE32(&frame[8], 0x12345678);
  StoreLE32(&frame[12], time);
  frame.insert(frame.end(), body.begin(), body.end());
  return frame;
}

std::vector<BoliPlanted> PlantBoliFrames(SparseImage& image, int64_t offset,
                                         const std::vector<BoliFrameSpec>& frames) {
  std::vector<BoliPlanted> out;
  Bytes run;
  for (const auto& f : frames) {
    const Bytes bytes = BoliFrame(f.channel, f.time, f.payload);
    out.push_back({f.channel, f.time, offset + static_cast<int64_t>(run.size()),
                   static_cast<uint32_t>(bytes.size()), bytes});
    run.insert(run.end(), bytes.begin(), bytes.end());
  }
  image.Write(offset, run);
  return out;
}

std::vector<BoliFrameSpec> BoliStreamFrames(uint8_t channel, uint32_t first_time, int count) {
  const auto& units = TestFrames();
  std::vector<BoliFrameSpec> out;
  for (int k = 0; k < count; ++k)
    out.push_back({channel, AddReversedSeconds(first_time, k), units[k % units.size()]});
  return out;
}

BoliDisk BuildBoliDisk(SparseImage& image, const std::vector<BoliRun>& runs) {
  image.Write(0, BoliHeaderSector());
  BoliDisk disk;
  for (const auto& run : runs) {
    auto planted = PlantBoliFrames(image, run.offset, run.frames);
    for (size_t k = 0; k < planted.size(); ++k) {
      disk.frames.push_back(planted[k]);
      if (k + 1 < planted.size()) disk.recorded.push_back(planted[k]);
    }
  }
  return disk;
}

void WipeBoliHeader(SparseImage& image) { image.Wipe(0, 512); }

}  // namespace orvane::synth
