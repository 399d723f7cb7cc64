#pragma once
// The one block of parse settings and loaded results, shared by the parse
// dialog, the worker, the dispatcher, the engines and the task readers.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/device_info.h"
#include "scan/recording_entry.h"
#include "scan/task_head.h"

namespace orvane {
class BadAreaSkip;
class ClearRanges;
class DetectionChunks;
class DetectionWalk;
}  // namespace orvane

namespace orvane {

enum BrandCode : int32_t {
  BrandNone = 0,
  BrandHikvision = 1,
  BrandDahua = 2,
  BrandWfs = 3,
  BrandBoli = 4,
  BrandHuayi = 5,
  BrandMeidianBell = 6,
  BrandJovision = 7,
  BrandZhiling = 8,
};

enum ScanMode : int32_t {
  ScanModeUnset = 0,
  ScanModeFast = 1,
  ScanModeDeep = 2,
};

inline constexpr int32_t kDefaultBuffer = 2097152;

// Counters of a running engine, passed with NotifyCode::Found.
struct ScanProgress {
  int64_t found_count = 0;
  int64_t found_bytes = 0;
  int64_t processed_bytes = 0;  // 0 when the engine does not count them
};

struct ScanParameters {
  const DeviceInfo* source = nullptr;
  std::string task_path;
  int32_t brand = BrandNone;
  int32_t mode = ScanModeUnset;
  int32_t version = 1;
  int64_t region_start = 0;  // bytes
  int64_t region_end = 0;    // bytes, exclusive
  uint8_t continue_flag = 0;
  // Set by the parse for a deep scan: its reads skip ahead over bad areas
  // and keep a map of them.
  BadAreaSkip* bad_area_skip = nullptr;
  // Filled by the smart-value detection with what it searched and found no
  // frame in, for the deep scan of the same region to step over.
  std::shared_ptr<ClearRanges> detection_clear;
  // Filled by the Dahua-family detection before a version-2 deep scan with
  // the frame runs its walk found, for the scan to take over where the two
  // walks meet.
  std::shared_ptr<DetectionWalk> detection_walk;
  // The same before a version-1 deep scan, with what the walk tells of the
  // scan's chunks.
  std::shared_ptr<DetectionChunks> detection_chunks;
  // Whether the scans may read ahead on a second thread (see SurveyAhead).
  // Nothing found depends on it; tests turn it off to show as much.
  bool survey_ahead = true;
  int64_t smart_value = 0;        // bytes
  int64_t user_smart_value = -1;  // bytes; -1 = not given
  int32_t buffer = kDefaultBuffer;
  std::atomic<int32_t> stop{0};  // the only field the GUI writes during a run
  TaskHead head;
  std::vector<RecordingEntry> recordings;
  // Seconds the recorder's clock ran ahead of the true time; shown beside
  // the recorder's times, never used in file names.
  int64_t clock_offset = 0;

  bool stop_requested() const { return stop.load(std::memory_order_relaxed) != 0; }
};

// The device a scan's second thread reads from (see SurveyAhead): the
// source, unless the survey is off.
inline const DeviceInfo* SurveySource(const ScanParameters& p) {
  return p.survey_ahead ? p.source : nullptr;
}

// Brand names as the user and the CLI use them ("hikvision", ... "zhiling").
const char* BrandSlug(int32_t brand);
// Code 1..8 for a slug or a decimal code; 0 when unknown.
int32_t BrandFromText(const std::string& text);

}  // namespace orvane
