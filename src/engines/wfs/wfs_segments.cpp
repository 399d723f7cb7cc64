#include "engines/wfs/wfs_segments.h"

#include <algorithm>

#include "device/byte_order.h"
#include "scan/extent_fits.h"

namespace orvane::wfs {

SegmentRecord SegmentRecordOf(const IndexEntry& e, uint32_t entry, const Superblock& sb) {
  SegmentRecord r;
  r.channel = e.channel();
  r.entry = entry;
  r.next = e.next;
  r.prev = e.prev;
  r.start_time = e.start_time;
  r.end_time = e.end_time;
  r.size = sb.segment_size();
  r.offset = static_cast<uint64_t>(sb.segment_offset(entry));
  return r;
}

void EncodeSegmentRecord(const SegmentRecord& r, uint8_t out[kSegmentRecordSize]) {
  out[0] = r.channel;
  StoreLE32(out + 1, r.entry);
  StoreLE32(out + 5, r.next);
  StoreLE32(out + 9, r.prev);
  StoreLE32(out + 13, r.start_time);
  StoreLE32(out + 17, r.end_time);
  StoreLE32(out + 21, r.size);
  StoreLE64(out + 25, r.offset);
}

SegmentRecord DecodeSegmentRecord(const uint8_t in[kSegmentRecordSize]) {
  SegmentRecord r;
  r.channel = in[0];
  r.entry = LoadLE32(in + 1);
  r.next = LoadLE32(in + 5);
  r.prev = LoadLE32(in + 9);
  r.start_time = LoadLE32(in + 13);
  r.end_time = LoadLE32(in + 17);
  r.size = LoadLE32(in + 21);
  r.offset = LoadLE64(in + 25);
  return r;
}

void LinkSegments(std::vector<SegmentRecord>& run, std::vector<RecordingEntry>& out) {
  // A segment beyond what a device can have comes from a damaged task.
  std::erase_if(run, [](const SegmentRecord& r) { return !ExtentFits(r.offset, r.size); });
  std::stable_sort(run.begin(), run.end(),
                   [](const SegmentRecord& a, const SegmentRecord& b) { return a.entry < b.entry; });
  run.erase(std::unique(run.begin(), run.end(),
                        [](const SegmentRecord& a, const SegmentRecord& b) {
                          return a.entry == b.entry;
                        }),
            run.end());
  std::vector<bool> used(run.size(), false);
  auto find = [&](uint32_t entry) -> size_t {
    auto it = std::lower_bound(run.begin(), run.end(), entry,
                               [](const SegmentRecord& r, uint32_t e) { return r.entry < e; });
    const size_t i = static_cast<size_t>(it - run.begin());
    return (it != run.end() && it->entry == entry && !used[i]) ? i : run.size();
  };

  std::vector<FragmentExtent> before;
  for (size_t i = 0; i < run.size(); ++i) {
    if (used[i]) continue;
    used[i] = true;
    const SegmentRecord& first = run[i];
    RecordingEntry rec;
    rec.channel = first.channel;
    rec.start_time = first.start_time;
    rec.end_time = first.end_time;
    auto take = [&](const SegmentRecord& r) {
      rec.size += r.size;
      rec.start_time = std::min(rec.start_time, r.start_time);
      rec.end_time = std::max(rec.end_time, r.end_time);
    };

    before.clear();
    for (size_t k = find(first.prev); k < run.size() && run[k].channel == rec.channel;
         k = find(run[k].prev)) {
      used[k] = true;
      take(run[k]);
      before.push_back({static_cast<int64_t>(run[k].offset), run[k].size});
    }
    for (auto it = before.rbegin(); it != before.rend(); ++it) rec.fragments.push_back(*it);
    rec.fragments.push_back({static_cast<int64_t>(first.offset), first.size});
    rec.size += first.size;
    for (size_t k = find(first.next); k < run.size() && run[k].channel == rec.channel;
         k = find(run[k].next)) {
      used[k] = true;
      take(run[k]);
      rec.fragments.push_back({static_cast<int64_t>(run[k].offset), run[k].size});
    }
    out.push_back(std::move(rec));
  }
  run.clear();
}

}  // namespace orvane::wfs
