// Deep parse: the phase detector, the version-1 chunk scan and the
// version-2 frame-run scan.

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "engines/dahua/detection_chunks.h"
#include "engines/dahua/detection_walk.h"
#include "engines/dahua/frame_runs.h"
#include "engines/dahua/frame_walk.h"
#include "scan/bad_area_skip.h"
#include "scan/clear_ranges.h"
#include "scan/survey_ahead.h"
#include "scan/task_file.h"
#include "scan/walk_read.h"
#include "scan/walk_reader.h"
#include "scan/window_reader.h"

namespace orvane {

namespace {

constexpr size_t kWalkRead = 0x200200;       // 2 MiB and one sector of overlap
constexpr int64_t kProbeSpan = 0x180000000;  // 6 GiB
constexpr int kProbeCount = 9;
constexpr size_t kRunFlushCount = 500000;
constexpr size_t kRecordBatch = 0x200000;

// Walks the bytes held for the window at `at`; a frame that ends behind them
// has the magic behind it read from the device, `probe_bytes` bytes.
// With `clear`, the stretches searched without finding a magic are added to
// it; with `beyond_failed`, a failed read of such a magic is noted there.
template <class OnFrame>
int64_t WalkFrames(SourceDevice& dev, int64_t at, const uint8_t* buf, size_t valid, uint32_t magic,
                   int32_t probe_bytes, OnFrame&& on_frame, ClearRanges* clear = nullptr,
                   bool* beyond_failed = nullptr) {
  const size_t handled = WalkDahuaFrames(
      std::span<const uint8_t>(buf, valid), magic,
      [&](size_t e) {
        uint8_t next[20] = {};
        dev.Read(at + static_cast<int64_t>(e), next, probe_bytes);
        if (!dev.ok() && beyond_failed) *beyond_failed = true;
        return dev.ok() && LoadLE32(next) == magic;
      },
      [&](size_t i, const DahuaFrame& f) { return on_frame(at + static_cast<int64_t>(i), f); },
      [&](size_t from, size_t to) {
        if (clear) clear->Add(at + static_cast<int64_t>(from), at + static_cast<int64_t>(to));
      });
  return at + static_cast<int64_t>(handled);
}

// Where a walk goes on behind a window in which it found no magic.
constexpr int64_t kWalkStep = static_cast<int64_t>(kDahuaWalkLimit) + 1;

// The windows a walk over [from, to) reads, for its survey.
SurveyAhead::Plan WalkPlan(int64_t from, int64_t to, int64_t device_size) {
  return {from,
          to,
          static_cast<int32_t>(kWalkRead),
          true,
          static_cast<int32_t>(kWalkStep),
          static_cast<int32_t>(kWalkRead) + 64,
          device_size};
}

// A walk's window holds nothing for it when no magic starts where the walk
// searches.
SurveyAhead::Survey MagicSurvey(uint32_t magic) {
  return [magic](const uint8_t* data, size_t length) {
    const size_t end = DahuaWalkSearchEnd(length);
    return FindMagic(data, 0, end, magic) < end;
  };
}

}  // namespace

int64_t DahuaFamilyEngine::DetectSmartValue() {
  progress_ = ScanProgress{};
  if (params_.user_smart_value != -1) return params_.user_smart_value;
  if (!params_.source) {
    PostError(kMsgOpenSourceFailed);
    return -1;
  }
  SourceDevice dev;
  dev.Open(*params_.source);
  if (!dev.is_open()) {
    PostError(kMsgOpenSourceFailed);
    return -1;
  }
  PhaseDetector detector;
  const int64_t start = params_.region_start;
  // Past the end of the medium every probe read would fail.
  int64_t end = params_.region_end;
  if (const int64_t size = dev.Size(); size > 0) end = std::min(end, size);
  const int64_t span = end - start;
  const int64_t step = span / 10;
  DetectionWalk* walk = params_.detection_walk.get();
  DetectionChunks* chunks = params_.detection_chunks.get();
  if (span <= kProbeSpan) {
    Probe(dev, detector, start + step, end, walk, chunks);
  } else {
    PostRange(kProbeCount);
    for (int k = 0; k < kProbeCount; ++k) {
      PostPosition(k);
      if (params_.stop_requested()) break;
      const int64_t from = start + (k + 1) * step;
      // Probes that would run past the region stop at its end: the bytes
      // beyond belong to nothing the user asked to scan.
      // Only the first probe's frames lie where the scan comes first.
      Probe(dev, detector, from, std::min(SaturatingAdd(from, kProbeSpan), end),
            k == 0 ? walk : nullptr, k == 0 ? chunks : nullptr);
    }
  }
  dev.Close();
  if (params_.detection_clear) params_.detection_clear->Settle();
  return detector.Result();
}

void DahuaFamilyEngine::Probe(SourceDevice& dev, PhaseDetector& detector, int64_t from, int64_t to,
                              DetectionWalk* walk, DetectionChunks* chunks) {
  detector.BeginProbe();
  if (chunks) chunks->Begin(to);
  ScanBytes buf(kWalkRead + 1024, 0);
  const int64_t size = dev.Size();
  // What the probe searched is kept for the deep scan until a read fails:
  // the zeros of a failed read say nothing of the bytes on the medium.
  ClearRanges* clear = params_.detection_clear.get();
  SurveyAhead ahead(SurveySource(params_), WalkPlan(from, to, size), MagicSurvey(variant_.magic));
  auto drop_walk = [&] {
    if (walk) walk->Drop();
    walk = nullptr;
    if (chunks) chunks->Drop();
    chunks = nullptr;
  };
  int64_t p = from;
  while (!params_.stop_requested()) {
    const int64_t len = std::min<int64_t>(to - p, kWalkRead);
    if (len <= 0) break;
    if (walk && len < static_cast<int64_t>(kWalkRead) && to < params_.region_end) {
      // The scan holds more of this window than the probe does, and may
      // walk it otherwise: the frames kept end here.
      walk->End(p);
      walk = nullptr;
    }
    if (ahead.Empty(p)) {
      // What the walk does with a window without a magic.
      if (clear)
        clear->Add(p, p + static_cast<int64_t>(DahuaWalkSearchEnd(static_cast<size_t>(len))));
      progress_.processed_bytes += len;
      p += kWalkStep;
      if (p >= to) break;
      continue;
    }
    bool ok = true;
    const uint8_t* data = ReadForWalk(dev, size, p, static_cast<size_t>(len), buf, ok);
    if (!ok) {
      PostError(kMsgReadFailed);
      clear = nullptr;
      ahead.Stop();
      drop_walk();
    }
    progress_.processed_bytes += len;
    bool beyond_failed = false;
    p = WalkFrames(
        dev, p, data, static_cast<size_t>(len), variant_.magic, 20,
        [&](int64_t o, const DahuaFrame& f) {
          if (detector.Feed(o, f)) return true;
          if (walk) walk->Take(o, f);
          if (chunks) chunks->Take(o, f);
          return false;
        },
        clear, &beyond_failed);
    if (beyond_failed) drop_walk();
    if (detector.found()) {
      detector.Vote();
      break;
    }
    if (p >= to) break;
  }
  // The frame a decision came on was not taken: the scan walks on from it.
  if (walk) walk->End(p);
}

bool DahuaFamilyEngine::OpenDeepTask(TaskWriter& task, int64_t& start) {
  if (!task.Open(params_)) return false;
  start = params_.continue_flag
              ? params_.region_start
              : GridStart(params_.region_start, params_.smart_value, params_.buffer);
  return true;
}

void DahuaFamilyEngine::ChunkScan(SourceDevice& dev) {
  TaskWriter task;
  int64_t p = 0;
  if (!OpenDeepTask(task, p)) return;
  const int32_t buffer = params_.buffer;
  PostRange(buffer > 0 ? params_.region_end / buffer : 0);
  // A buffer of 0 would never advance; one near 2 GiB has no room for the
  // margin the analysis reads past the chunk end.
  if (buffer <= 0 || static_cast<int64_t>(buffer) + 512 > std::numeric_limits<int32_t>::max()) {
    task.Close();
    PostError(kMsgDahuaBadBuffer);
    return;
  }
  const size_t n = static_cast<size_t>(buffer);
  std::vector<uint8_t> out;
  out.reserve(kRecordBatch + 128);
  ChunkSummary s;
  {
    // Every chunk is read whole, also the last one of the region; the
    // analysis may look into the 512 bytes behind it, which stay zero.
    WindowPlan plan;
    plan.start = p;
    plan.end = params_.region_end;
    plan.read_bytes = buffer;
    plan.clip_to_end = false;
    plan.step = buffer;
    plan.capacity = buffer + 512;
    plan.device_size = dev.Size();
    plan.skip = params_.bad_area_skip;
    // A chunk without a magic is no video, whatever else it holds.
    plan.known_clear = params_.detection_clear.get();
    plan.survey_source = SurveySource(params_);
    plan.survey = [n, magic = variant_.magic](const uint8_t* data, size_t) {
      return FindMagic(data, 0, n, magic) < n;
    };
    // A chunk's notes are its record, none when it is no video.
    plan.notes = [n, magic = variant_.magic](const uint8_t* data, size_t, int64_t position,
                                             std::vector<uint8_t>& notes) {
      ChunkSummary summary;
      if (!AnalyzeChunk(data, n, position, magic, summary)) return;
      notes.resize(ChunkRecordSize(summary));
      EncodeChunkRecord(summary, notes.data());
    };
    // Chunks whose frames the detection walked: a few bytes of each read.
    if (DetectionChunks* chunks = params_.detection_chunks.get()) {
      plan.take = [chunks, buffer, magic = variant_.magic](SourceDevice& d, int64_t position,
                                                           std::vector<uint8_t>& notes) {
        return chunks->Summarise(d, position, buffer, magic, notes);
      };
      plan.may_take = [chunks, buffer](int64_t position) {
        return chunks->Holds(position, buffer);
      };
    }
    WindowReader reader(dev, plan);
    if (!reader.usable()) {
      task.Close();
      PostError(kMsgDahuaBadBuffer);
      return;
    }
    WindowReader::Window w;
    while (!params_.stop_requested() && reader.Next(w)) {
      if (!w.ok) PostError(kMsgReadFailed);
      p = w.position;
      auto room_for = [&](size_t rs) {
        if (out.size() + rs > kRecordBatch) {
          task.Append(out);
          out.clear();
        }
      };
      bool video = false;
      if (w.notes) {
        video = !w.notes->empty();
        if (video) {
          room_for(w.notes->size());
          out.insert(out.end(), w.notes->begin(), w.notes->end());
        }
      } else if (!w.clear && AnalyzeChunk(w.data, n, p, variant_.magic, s)) {
        video = true;
        const size_t rs = ChunkRecordSize(s);
        room_for(rs);
        const size_t o = out.size();
        out.resize(o + rs);
        EncodeChunkRecord(s, out.data() + o);
      }
      if (video) {
        ++progress_.found_count;
        progress_.found_bytes += buffer;
      }
      PostPosition(p / buffer);
      params_.head.scan_position = p;
      progress_.processed_bytes += buffer;
      PostFound(progress_);
    }
  }
  if (!params_.stop_requested()) params_.head.scan_position = params_.region_end;
  task.Append(out);
  task.Close();
}

void DahuaFamilyEngine::FrameRunScan(SourceDevice& dev) {
  TaskWriter task;
  int64_t p = 0;
  if (!OpenDeepTask(task, p)) return;
  PostRange(params_.region_end / 0x200000);
  std::vector<FrameRun> runs;
  std::vector<uint8_t> out;
  FrameRunBuilder builder;
  auto flush = [&] {
    out.resize(runs.size() * kDahuaRunRecordSize);
    for (size_t k = 0; k < runs.size(); ++k)
      EncodeRunRecord(runs[k], out.data() + k * kDahuaRunRecordSize);
    task.Append(out);
    runs.clear();
    out.clear();
  };
  auto count = [&](const FrameRun& r) {
    ++progress_.found_count;
    progress_.found_bytes += r.length;
  };
  // What the detection walked, until the scan's walk meets it or goes past.
  std::shared_ptr<DetectionWalk> detected = std::move(params_.detection_walk);
  if (detected && !detected->usable(params_.region_end)) detected.reset();
  bool met = false;
  auto step = [&](int64_t o, const DahuaFrame& f) {
    if (detected && o >= detected->first_frame()) {
      if (o == detected->first_frame()) {
        met = true;
        return true;  // the frame is left to the take-over
      }
      detected.reset();
    }
    FrameRun ended;
    if (builder.Take(o, f, ended) && KeptRun(ended)) {
      runs.push_back(ended);
      count(ended);
    }
    return false;
  };
  const int64_t size = dev.Size();
  const int64_t begin = p;
  WalkReader reader(
      dev, [size, skip = params_.bad_area_skip](SourceDevice& device, int64_t at, size_t len,
                                                ScanBytes& buf, bool& ok) {
        return ReadForWalk(device, size, at, len, buf, ok, skip);
      });
  const ClearRanges* clear = params_.detection_clear.get();
  SurveyAhead ahead(SurveySource(params_), WalkPlan(p, params_.region_end, size),
                    MagicSurvey(variant_.magic));
  while (p < params_.region_end && !params_.stop_requested()) {
    const int64_t len = std::min<int64_t>(params_.region_end - p, kWalkRead);
    if (len <= 0) break;
    const int64_t searched_to =
        p + static_cast<int64_t>(DahuaWalkSearchEnd(static_cast<size_t>(len)));
    if (clear && clear->Covers(p, searched_to)) {
      // The detection searched every position this walk would and found no
      // magic: the walk would go on at the window's end, as WalkDahuaFrames
      // does when it finds nothing.
      p += kWalkStep;
    } else if (ahead.Empty(p)) {
      // The same, searched on the survey's thread.
      if (params_.bad_area_skip) params_.bad_area_skip->NoteSectorsRead(size, p, len);
      p += kWalkStep;
    } else {
      bool ok = true;
      const uint8_t* data = reader.Read(p, static_cast<size_t>(len), ok);
      if (!ok) {
        PostError(kMsgReadFailed);
        ahead.Stop();
        // What the scan reads from here may differ from what the detection read.
        detected.reset();
      }
      p = WalkFrames(dev, p, data, static_cast<size_t>(len), variant_.magic, 8, step);
      if (met) {
        met = false;
        const size_t before = runs.size();
        int64_t resume = p;
        if (detected->TakeOver(builder, runs, resume)) {
          std::for_each(runs.begin() + static_cast<std::ptrdiff_t>(before), runs.end(), count);
          p = resume;
        }
        detected.reset();
      }
    }
    progress_.processed_bytes = p - begin;
    PostFound(progress_);
    PostPosition(p / 0x200000);
    params_.head.scan_position = p;
    if (runs.size() > kRunFlushCount) flush();
  }
  if (builder.run().length > 0) runs.push_back(builder.run());
  if (!params_.stop_requested()) params_.head.scan_position = params_.region_end;
  flush();
  task.Close();
}

}  // namespace orvane
