#include "engines/dahua/detection_chunks.h"

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/device_info.h"
#include "device/source_device.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "scan/magic_find.h"

namespace orvane {

namespace {

// [from, to) read in whole sectors, one read straight into `buffer`: where
// its bytes begin, or null when they could not all be read.
const uint8_t* ReadCovering(SourceDevice& dev, int64_t from, int64_t to,
                            std::vector<uint8_t>& buffer) {
  const UnitSpan read = UnitsHolding(from, to - from, kSectorSize);
  // Grown only: growing again after a short read would clear bytes the
  // read is about to fill.
  if (buffer.size() < static_cast<size_t>(read.length))
    buffer.resize(static_cast<size_t>(read.length));
  dev.Read(read.begin, buffer.data(), static_cast<int32_t>(read.length));
  if (!dev.ok() || dev.read_length() < read.lead + (to - from)) return nullptr;
  return buffer.data() + read.lead;
}

}  // namespace

DetectionChunks::DetectionChunks(int64_t anchor, int32_t length)
    : anchor_(anchor), length_(length) {}

void DetectionChunks::Begin(int64_t held_end) {
  held_end_ = held_end;
  open_.active = false;
}

void DetectionChunks::Drop() {
  dropped_ = true;
  open_.active = false;
  kept_.clear();
  kept_.shrink_to_fit();
}

int64_t DetectionChunks::ChunkOf(int64_t offset) const {
  return anchor_ + (offset - anchor_) / length_ * length_;
}

void DetectionChunks::Take(int64_t offset, const DahuaFrame& f) {
  if (dropped_ || held_end_ < 0 || length_ <= 0) return;
  // A header that reached past the bytes held was read on in zeros, and may
  // have been taken otherwise than the chunk's analysis takes it.
  if (offset > held_end_ - static_cast<int64_t>(kDahuaFrameHeaderSize)) {
    open_.active = false;
    return;
  }
  if (open_.active) {
    if (offset == open_.next) {
      Step(offset - open_.kept.chunk, f);
      return;
    }
    // The frames broke off inside the chunk: its analysis would go on in
    // bytes the walk searched its own way.
    open_.active = false;
  }
  if (offset < anchor_ || kept_.size() >= kMostChunks) return;
  const int64_t chunk = ChunkOf(offset);
  if (chunk <= last_opened_) return;  // not the first frame the walk took in its chunk
  last_opened_ = chunk;
  const int64_t first = offset - chunk;
  // Far into the chunk, the bytes in front of the frame cost as much to
  // read as the chunk (and the scan's memory for them stays small); a
  // header that reaches the chunk's end is read on in zeros by the
  // analysis.
  if (first > std::min(length_ / 2, kMostLead) ||
      first + static_cast<int64_t>(kDahuaFrameHeaderSize) > length_)
    return;
  open_ = Open{};
  open_.active = true;
  open_.kept.chunk = chunk;
  open_.kept.first = static_cast<uint32_t>(first);
  Step(first, f);
}

// As the chunk's analysis goes from frame to frame. Every frame the walk
// took has the magic behind it.
void DetectionChunks::Step(int64_t at, const DahuaFrame& f) {
  Kept& k = open_.kept;
  const int64_t e = at + f.length;
  const int64_t rest = length_ - e;
  if (rest < 0) {
    k.tail_value = static_cast<uint32_t>(e - length_);
    Close();
    return;
  }
  if (rest < static_cast<int64_t>(kDahuaFrameHeaderSize)) {
    k.tail_value = static_cast<uint32_t>(rest);
    k.tail_count = static_cast<uint8_t>(rest);
    Close();
    return;
  }
  open_.absorbed = true;
  if (f.kind == kDahuaTimeFrame) {
    if (k.first_time == 0) k.first_time = f.time;
    k.last_time = f.time;
    k.channel = f.channel;
  }
  open_.next = k.chunk + e;
}

void DetectionChunks::Close() {
  open_.kept.keeps = open_.absorbed;
  kept_.push_back(open_.kept);
  open_.active = false;
}

const DetectionChunks::Kept* DetectionChunks::Find(int64_t position) const {
  const auto it = std::lower_bound(kept_.begin(), kept_.end(), position,
                                   [](const Kept& k, int64_t p) { return k.chunk < p; });
  return it != kept_.end() && it->chunk == position ? &*it : nullptr;
}

bool DetectionChunks::Holds(int64_t position, int32_t length) const {
  return !dropped_ && length == length_ && Find(position) != nullptr;
}

bool DetectionChunks::Summarise(SourceDevice& dev, int64_t position, int32_t length, uint32_t magic,
                                std::vector<uint8_t>& notes) {
  notes.clear();
  const Kept* k = !dropped_ && length == length_ ? Find(position) : nullptr;
  if (!k) return false;
  // In front of the first frame no header may start: the analysis would
  // begin there.
  const uint8_t* head =
      ReadCovering(dev, position, position + k->first + kDahuaFrameHeaderSize, bytes_);
  if (!head) return false;
  for (size_t i = FindMagic(head, 0, k->first, magic); i < k->first;
       i = FindMagic(head, i + 1, k->first, magic)) {
    if (ParseFrameHeader(head + i, kDahuaFrameHeaderSize, magic).kind != kDahuaNoFrame)
      return false;
  }
  if (LoadLE32(head + k->first) != magic) return false;
  ChunkSummary s;
  s.offset = position;
  s.length = static_cast<uint32_t>(length);
  s.channel = k->channel;
  s.first_time = k->first_time;
  s.last_time = k->last_time;
  s.reaches_end = 1;
  s.head_length = k->first;
  s.head_count = static_cast<uint8_t>(std::min<size_t>(k->first, kDahuaMaxHeadBytes));
  std::memcpy(s.head, head, s.head_count);
  s.tail_value = k->tail_value;
  s.tail_count = k->tail_count;
  if (k->tail_count > 0) {
    const int64_t end = position + length;
    const uint8_t* tail = ReadCovering(dev, end - k->tail_count, end, bytes_);
    if (!tail) return false;
    std::memcpy(s.tail, tail, k->tail_count);
    // The last frame was chained: its successor's magic begins its tail.
    uint8_t m[4];
    StoreLE32(m, magic);
    if (std::memcmp(s.tail, m, std::min<size_t>(k->tail_count, 4)) != 0) return false;
  }
  if (!k->keeps) return true;
  notes.resize(ChunkRecordSize(s));
  EncodeChunkRecord(s, notes.data());
  return true;
}

}  // namespace orvane
