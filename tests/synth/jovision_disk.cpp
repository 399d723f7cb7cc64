#include "synth/jovision_disk.h"

#include <map>
#include <stdexcept>

#include "device/byte_order.h"

namespace orvane::synth {

namespace {
constexpr int64_t kIndexStart = 0x400000;
constexpr size_t kBlock = 0xC000;
}  // namespace

void WriteJvsAreaHeader(SparseImage& image, int area) {
  const int64_t base = area * kJvsArea;
  const uint8_t magic[4] = {'j', 'v', 'b', 'k'};
  image.Write(base, magic, 4);
  const uint8_t second[5] = {'j', 'v', 'b', 'k', 4};
  image.Write(base + 0x14000, second, 5);
}

Bytes JvsFile(uint8_t channel, const Bytes& stream, uint32_t h) {
  Bytes f(h + 0x20, 0);
  f[0] = 'J';
  f[1] = 'V';
  f[2] = 'S';
  f[5] = static_cast<uint8_t>(h);
  f[6] = static_cast<uint8_t>(h >> 8);
  f[7] = static_cast<uint8_t>(h >> 16);
  f[0x30] = static_cast<uint8_t>(channel - 1);
  f[h + 0x10] = 'J';
  f[h + 0x11] = 'V';
  f[h + 0x12] = 'S';
  f.insert(f.end(), stream.begin(), stream.end());
  StoreLE32(&f[0x24], static_cast<uint32_t>(f.size()));
  return f;
}

Bytes JvsStreamFile(uint8_t channel) { return JvsFile(channel, TestStream()); }

Bytes JvsIndexBlock(const JvsIndexSpec& s) {
  Bytes b(kBlock, 0);
  StoreLE32(&b[0], 0x66);
  StoreLE32(&b[0x44], s.duration_ms);
  b[0x4E] = static_cast<uint8_t>(s.channel - 1);
  StoreLE32(&b[0x54], s.size);
  StoreLE32(&b[0x58], s.start);
  StoreLE16(&b[0xE0], static_cast<uint16_t>(s.pieces.size()));
  for (size_t k = 0; k < s.pieces.size() && 0xE4 + 20 * (k + 1) <= kBlock; ++k) {
    uint8_t* e = &b[0xE4 + 20 * k];
    StoreLE16(e, static_cast<uint16_t>(s.pieces[k].area));
    StoreLE16(e + 2, s.pieces[k].trim);
    StoreLE32(e + 8, s.pieces[k].offset);
    StoreLE32(e + 12, s.pieces[k].length);
  }
  return b;
}

JvsDisk BuildJvsDisk(SparseImage& image, const std::vector<int>& areas,
                     const std::vector<JvsRecordingPlan>& plans) {
  for (int a : areas) WriteJvsAreaHeader(image, a);
  JvsDisk disk;
  std::map<int, int> blocks_in_area;
  for (const auto& plan : plans) {
    JvsPlanted rec;
    rec.channel = plan.channel;
    rec.start = plan.start;
    rec.end = plan.start + plan.duration_ms / 1000 + (plan.duration_ms % 1000 ? 1 : 0);
    rec.size = static_cast<uint32_t>(plan.data.size());
    rec.data = plan.data;
    JvsIndexSpec spec{plan.channel, plan.start, plan.duration_ms, rec.size, {}};
    // Equal cuts, the last one taking the rest.
    const size_t n = plan.pieces.size();
    size_t at = 0;
    for (size_t k = 0; k < n; ++k) {
      const size_t len = k + 1 == n ? plan.data.size() - at : plan.data.size() / n;
      JvsPieceSpec p = plan.pieces[k];
      p.length = static_cast<uint32_t>(len) + 32u * p.trim;
      const int64_t where = p.area * kJvsArea + p.offset;
      image.Write(where, plan.data.data() + at, len);
      rec.extents.push_back({where, static_cast<uint32_t>(len)});
      spec.pieces.push_back(p);
      at += len;
    }
    const int64_t within =
        plan.index_at >= 0
            ? plan.index_at
            : kIndexStart + blocks_in_area[plan.index_area]++ * static_cast<int64_t>(kBlock);
    rec.index_offset = plan.index_area * kJvsArea + within;
    image.Write(rec.index_offset, JvsIndexBlock(spec));
    disk.recordings.push_back(std::move(rec));
  }
  return disk;
}

JvsFilePlanted PlantJvsFile(SparseImage& image, int64_t offset, uint8_t channel,
                            const Bytes& stream) {
  if (offset % 512 != 0) throw std::invalid_argument("JVS files start on a sector");
  JvsFilePlanted f{channel, offset, JvsFile(channel, stream)};
  image.Write(offset, f.bytes);
  return f;
}

void WipeJvsIndex(SparseImage& image, const JvsDisk& disk) {
  for (const auto& r : disk.recordings) image.Wipe(r.index_offset, kBlock);
}

}  // namespace orvane::synth
