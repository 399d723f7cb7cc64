// The block summary of the WFS deep parse over the input as one block, and
// its round trip through both deep task bodies.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engines/wfs/wfs_blocks.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the zeros the summary is promised behind the block.
  std::vector<uint8_t> buf(data, data + size);
  buf.resize(size + wfs::kMaxHeadBytes);
  wfs::BlockRecord r;
  if (!wfs::SummariseBlock(0x200000, buf, static_cast<uint32_t>(size), r)) return 0;

  std::vector<uint8_t> record;
  wfs::EncodeBlockRecord(r, record);
  wfs::BlockRecord back;
  size_t used = 0;
  if (wfs::DecodeBlockRecord(record, back, used) != wfs::DecodeResult::Ok) std::abort();
  if (used != record.size()) std::abort();
  std::vector<uint8_t> again;
  wfs::EncodeBlockRecord(back, again);
  if (again != record) std::abort();

  for (const wfs::TimedExtent& e : wfs::TimedExtentsOf({r})) {
    uint8_t bytes[wfs::kV2RecordSize];
    wfs::EncodeTimedExtent(e, bytes);
    const wfs::TimedExtent d = wfs::DecodeTimedExtent(bytes);
    if (d.offset != e.offset || d.length != e.length || d.channel != e.channel ||
        d.start_time != e.start_time || d.end_time != e.end_time)
      std::abort();
  }
  return 0;
}
