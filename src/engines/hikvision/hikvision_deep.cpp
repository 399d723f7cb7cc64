// The deep parse: every byte offset of the region is a candidate pack start;
// packs whose times follow each other closely make one recording.

#include <algorithm>

#include "device/byte_order.h"
#include "device/notify.h"
#include "device/source_device.h"
#include "engines/hikvision/hikvision_engine.h"
#include "engines/hikvision/hikvision_pack.h"
#include "scan/magic_find.h"
#include "scan/window_reader.h"
#include "scan/task_file.h"

namespace orvane {

using hikvision::TaskRecord;

namespace hikvision {

namespace {
// Packs come a few hundred bytes apart and nearly always on the same day as
// the last one: that case needs no calendar.
int64_t PackGap(uint32_t earlier, uint32_t later) {
  if ((earlier >> 17) == (later >> 17)) {
    auto second_of_day = [](uint32_t t) {
      return static_cast<int64_t>((t >> 12) & 31) * 3600 + ((t >> 6) & 63) * 60 + (t & 63);
    };
    return second_of_day(later) - second_of_day(earlier);
  }
  return PackedTimeGap(earlier, later);
}
}  // namespace

std::optional<TaskRecord> SegmentTracker::OnPack(int64_t position, uint32_t time) {
  std::optional<TaskRecord> closed;
  if (open_.length == 0) {
    open_ = TaskRecord{position, kSinglePackLength, 0, time, time};
    return closed;
  }
  const int64_t gap = PackGap(open_.end_time, time);
  const bool cut = gap < 0 || gap > kMaxPackGapSeconds || position - open_.offset >= kMaxSegmentBytes;
  if (cut) {
    if (open_.length > kSinglePackLength) closed = open_;
    open_ = TaskRecord{position, kSinglePackLength, 0, time, time};
  } else {
    open_.length = static_cast<int32_t>(position - open_.offset);
  }
  open_.end_time = time;
  return closed;
}

std::optional<TaskRecord> SegmentTracker::Finish() {
  std::optional<TaskRecord> last;
  if (open_.length > kSinglePackLength) last = open_;
  open_ = TaskRecord{};
  return last;
}

}  // namespace hikvision

namespace {
constexpr int32_t kWindowBytes = 0x200200;  // 2 MiB and the tail of a pack
constexpr int32_t kStepBytes = 0x200000;
constexpr size_t kFlushThreshold = 500'000;
}  // namespace

void HikvisionEngine::DeepParse(SourceDevice& device) {
  TaskWriter writer;
  if (!writer.Open(params_)) return;

  int64_t position = params_.region_start;
  if (!params_.continue_flag) {
    // Fresh runs start on the grid of buffer-sized steps anchored at the
    // smart value; a continued run resumes exactly where the last one ended.
    const int64_t s = params_.smart_value;
    const int64_t r = params_.region_start;
    const int64_t b = params_.buffer;
    if (s < r) {
      position = b > 0 ? s + ((r - s) / b) * b : r;
    } else {
      position = s;
    }
  }
  const int64_t end = params_.region_end;
  PostRange(end / kStepBytes);

  int64_t device_size = device.Size();
  if (device_size <= 0 && params_.source) device_size = params_.source->size;

  hikvision::SegmentTracker segment;
  {
    WindowPlan plan =
        ClippedWindows(device_size, position, end, kWindowBytes, kStepBytes, params_.bad_area_skip);
    // Every pack starts with the start code: a window without one holds none.
    plan.survey_source = SurveySource(params_);
    plan.survey = [](const uint8_t* data, size_t) {
      return FindMagic(data, 0, kStepBytes, hikvision::kPackStartCode) < kStepBytes;
    };
    // Each pack of a window as its offset and time, four bytes each.
    plan.notes = [](const uint8_t* data, size_t, int64_t, std::vector<uint8_t>& notes) {
      hikvision::ForEachPack(data, kStepBytes, [&](size_t i) {
        const size_t n = notes.size();
        notes.resize(n + 8);
        StoreLE32(notes.data() + n, static_cast<uint32_t>(i));
        StoreLE32(notes.data() + n + 4, hikvision::PackTime(data + i));
      });
    };
    WindowReader reader(device, plan);
    WindowReader::Window w;
    while (!params_.stop_requested() && reader.Next(w)) {
      if (!w.ok) PostError(kMsgReadFailed);
      if (w.notes) {
        const std::vector<uint8_t>& notes = *w.notes;
        for (size_t k = 0; k + 8 <= notes.size(); k += 8) {
          const int64_t at = w.position + LoadLE32(notes.data() + k);
          if (auto closed = segment.OnPack(at, LoadLE32(notes.data() + k + 4))) AddFound(*closed);
        }
      } else if (!w.clear) {
        hikvision::ForEachPack(w.data, kStepBytes, [&](size_t i) {
          const int64_t at = w.position + static_cast<int64_t>(i);
          if (auto closed = segment.OnPack(at, hikvision::PackTime(w.data + i)))
            AddFound(*closed);
        });
      }
      if (found_.size() > kFlushThreshold) Flush(writer);
      position = w.position + std::min(w.length, kStepBytes);
      // Counted so that the speed and the time left of a long scan can be shown.
      progress_.processed_bytes += position - w.position;
      PostFound(progress_);
      PostPosition(position / kStepBytes);
      params_.head.scan_position = position;
    }
  }
  // The recording still open at the end is as real as the others: it is
  // counted with them.
  if (auto last = segment.Finish()) {
    AddFound(*last);
    PostFound(progress_);
  }
  if (!params_.stop_requested()) params_.head.scan_position = params_.region_end;
  Flush(writer);
}

}  // namespace orvane
