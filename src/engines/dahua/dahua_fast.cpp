// Fast parse: the recorder's own block index, area by area.

#include "engines/dahua/dahua_fast.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "device/byte_order.h"
#include "device/notify.h"
#include "device/source_device.h"
#include "engines/dahua/dahua_engine.h"
#include "scan/extent_fits.h"
#include "scan/task_file.h"

namespace orvane {

namespace {
constexpr size_t kIndexChunk = 0x200000;
constexpr size_t kWriteBatch = 0x200000;
constexpr size_t kReadRecords = 1000;

// Whether [start, end) meets one of the disjoint ranges of `ranges`.
bool OverlapsAny(const std::map<int64_t, int64_t>& ranges, int64_t start, int64_t end) {
  auto it = ranges.lower_bound(end);  // the first range starting at or after the end
  return it != ranges.begin() && std::prev(it)->second > start;
}
}  // namespace

void EncodeFastRecord(const FastRecord& r, uint8_t* out) {
  out[0] = r.channel;
  StoreLE32(out + 1, r.block);
  StoreLE32(out + 5, r.next);
  StoreLE32(out + 9, r.previous);
  StoreLE32(out + 13, r.start_time);
  StoreLE32(out + 17, r.end_time);
  StoreLE32(out + 21, r.block_size);
  StoreLE64(out + 25, r.offset);
}

FastRecord DecodeFastRecord(const uint8_t* in) {
  FastRecord r;
  r.channel = in[0];
  r.block = LoadLE32(in + 1);
  r.next = LoadLE32(in + 5);
  r.previous = LoadLE32(in + 9);
  r.start_time = LoadLE32(in + 13);
  r.end_time = LoadLE32(in + 17);
  r.block_size = LoadLE32(in + 21);
  r.offset = LoadLE64(in + 25);
  return r;
}

void GroupFastRecords(std::map<uint32_t, FastRecord>& blocks, std::vector<RecordingEntry>& out) {
  std::vector<FragmentExtent> before;
  while (!blocks.empty()) {
    const FastRecord seed = blocks.begin()->second;
    blocks.erase(blocks.begin());
    RecordingEntry rec;
    rec.channel = seed.channel;
    rec.start_time = seed.start_time;
    rec.end_time = seed.end_time;
    rec.size = seed.block_size;
    auto absorb = [&rec](const FastRecord& r) {
      rec.size += r.block_size;
      rec.start_time = std::min(rec.start_time, r.start_time);
      rec.end_time = std::max(rec.end_time, r.end_time);
    };
    // Every step takes a block out of the map, so a loop of links ends at
    // the first block already taken.
    before.clear();
    for (uint32_t key = seed.previous;;) {
      auto it = blocks.find(key);
      if (it == blocks.end() || it->second.channel != seed.channel) break;
      const FastRecord r = it->second;
      blocks.erase(it);
      before.push_back({static_cast<int64_t>(r.offset), r.block_size});
      absorb(r);
      key = r.previous;
    }
    for (auto f = before.rbegin(); f != before.rend(); ++f) rec.fragments.push_back(*f);
    rec.fragments.push_back({static_cast<int64_t>(seed.offset), seed.block_size});
    for (uint32_t key = seed.next;;) {
      auto it = blocks.find(key);
      if (it == blocks.end() || it->second.channel != seed.channel) break;
      const FastRecord r = it->second;
      blocks.erase(it);
      rec.fragments.push_back({static_cast<int64_t>(r.offset), r.block_size});
      absorb(r);
      key = r.next;
    }
    out.push_back(std::move(rec));
  }
}

void DahuaFamilyEngine::FastParse(SourceDevice& dev) {
  TaskWriter task;
  if (!task.Open(params_)) return;
  const std::vector<DahuaArea> areas = FindAreas(dev, variant_);
  std::map<int64_t, int64_t> indexes_read;  // start -> end
  for (const DahuaArea& area : areas) {
    if (params_.stop_requested()) break;
    ParseArea(dev, task, area, indexes_read);
  }
  task.Close();
}

void DahuaFamilyEngine::ParseArea(SourceDevice& dev, TaskWriter& task, const DahuaArea& area,
                                  std::map<int64_t, int64_t>& indexes_read) {
  uint8_t header[kDahuaAreaHeaderSize] = {};
  const uint64_t at = area.base + area.header_offset;
  if (at < area.base || at > static_cast<uint64_t>(INT64_MAX)) {
    PostError(kMsgReadFailed);
    return;
  }
  dev.Read(static_cast<int64_t>(at), header, sizeof header);
  if (!dev.ok()) {
    PostError(kMsgReadFailed);
    return;
  }
  DahuaAreaGeometry g;
  if (!IsValidAreaHeader(header) || !AreaGeometry(header, area, g)) {
    PostError(variant_.foreign_disk);
    return;
  }
  // Areas of a damaged table may share an index, or overlap one; reading it
  // again would give the same blocks again, and a crafted table could make
  // the parse read one index for every slot it has.
  if (OverlapsAny(indexes_read, g.index_start, g.index_end)) return;
  indexes_read.emplace(g.index_start, g.index_end);
  // Entries behind the end of the medium cannot be read: one message for
  // them rather than one per piece of the index.
  int64_t index_end = g.index_end;
  const int64_t device_size = dev.Size();
  if (device_size > 0 && index_end > device_size) {
    PostError(kMsgReadFailed);
    index_end = std::max(device_size, g.index_start);
  }
  PostRange(static_cast<int64_t>(static_cast<uint64_t>(g.entry_count) * kDahuaIndexEntrySize / kIndexChunk));

  std::vector<uint8_t> buf(kIndexChunk);
  std::vector<uint8_t> out;
  out.reserve(kWriteBatch + 2 * kFastRecordSize);
  uint32_t entry = 0;
  int64_t chunks = 0;
  for (int64_t p = g.index_start; p < index_end;) {
    if (params_.stop_requested()) break;
    const size_t len = static_cast<size_t>(std::min<int64_t>(index_end - p, kIndexChunk));
    std::fill(buf.begin(), buf.end(), 0);
    dev.Read(p, buf.data(), static_cast<int32_t>(len));
    if (!dev.ok()) PostError(kMsgReadFailed);
    const size_t count = (len + kDahuaIndexEntrySize - 1) / kDahuaIndexEntrySize;
    for (size_t k = 0; k < count; ++k, ++entry) {
      const DahuaIndexEntry e = DecodeIndexEntry(
          std::span<const uint8_t>(buf.data() + k * kDahuaIndexEntrySize, kDahuaIndexEntrySize));
      if (!IndexEntryInUse(e, g.entry_count)) continue;
      FastRecord r{e.channel, entry, e.next, e.previous, e.start_time, e.end_time, g.block_size,
                   static_cast<uint64_t>(g.data_start) + static_cast<uint64_t>(entry) * g.block_size};
      if (out.size() >= kWriteBatch) {
        task.Append(out);
        out.clear();
      }
      const size_t o = out.size();
      out.resize(o + kFastRecordSize);
      EncodeFastRecord(r, out.data() + o);
      ++progress_.found_count;
      progress_.found_bytes += g.block_size;
    }
    p += static_cast<int64_t>(len);
    ++chunks;
    PostFound(progress_);
    PostPosition(chunks);
  }
  params_.head.scan_position =
      variant_.head_position_is_device_size ? dev.Size() : params_.region_end;
  // The records gathered so far are written even after a stop, closed by the
  // area's terminator.
  out.resize(out.size() + kFastRecordSize, 0);
  task.Append(out);
}

void DahuaFamilyEngine::ReadFastTask(TaskReader& in) {
  const int64_t end = in.RecordsEnd(params_.head);
  PostRange(params_.head.file_length / static_cast<int64_t>(kReadRecords * kFastRecordSize));
  std::map<uint32_t, FastRecord> blocks;
  std::vector<uint8_t> buf(kReadRecords * kFastRecordSize);
  for (int64_t p = kTaskHeadSize; p < end;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(end - p, buf.size()));
    const size_t got = in.ReadAt(p, buf.data(), want);
    if (got == 0) break;
    // Only whole records count; a torn last record of a cut file is dropped.
    for (size_t k = 0; k + kFastRecordSize <= got; k += kFastRecordSize) {
      const FastRecord r = DecodeFastRecord(buf.data() + k);
      if (r.is_terminator()) {
        GroupFastRecords(blocks, params_.recordings);
        continue;
      }
      // A block that would not lie on any device comes from a damaged task.
      if (!ExtentFits(r.offset, r.block_size)) continue;
      blocks.emplace(r.block, r);
      ++progress_.found_count;
      progress_.found_bytes += r.block_size;
    }
    p += static_cast<int64_t>(got);
    PostPosition(p / static_cast<int64_t>(buf.size()));
    PostFound(progress_);
  }
}

}  // namespace orvane
