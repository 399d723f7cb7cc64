#include "scan/parse_job.h"

#include <string>

#include "imaging/mirror_backup.h"
#include "scan/bad_area_parse.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "scan/worker_flags.h"
#include "tools/power_off.h"

namespace orvane {

int64_t EditValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (INT64_MAX - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

namespace {
bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

int64_t SectorsToBytes(int64_t sectors) {
  if (sectors > INT64_MAX / 512) return INT64_MAX / 512 * 512;
  if (sectors < INT64_MIN / 512) return INT64_MIN / 512 * 512;
  return sectors * 512;
}
}  // namespace

StartResult ValidateParseStart(const ParseRequest& r, ScanParameters& p, WorkerFlags& flags) {
  StartResult result;
  if (flags.worker_busy.load()) {
    result.warning = kMsgWorkerBusy;
    return result;
  }
  // A finished parse is still continued when its map lists areas to try again.
  const bool retries_left = r.continue_run && TaskMapHasUnreadAreas(r.path_text);
  p.stop.store(0);
  p.mode = ScanModeUnset;
  p.brand = BrandNone;
  flags.job_kind.store(JobParse);

  p.region_start = SectorsToBytes(EditValue(r.start_text));
  p.region_end = SectorsToBytes(EditValue(r.end_text));
  const int64_t buffer = EditValue(r.buffer_text);
  // The buffer is an int32 on disk; a value that does not fit is as wrong as 0.
  p.buffer = (buffer > 0 && buffer <= INT32_MAX) ? static_cast<int32_t>(buffer) : 0;

  if (r.fast_checked) {
    p.mode = ScanModeFast;
  } else if (r.deep_checked) {
    p.mode = ScanModeDeep;
    if (p.region_start >= p.region_end && !retries_left) {
      result.warning = kMsgBadParameters;
      return result;
    }
  }
  p.version = r.version1_checked ? 1 : 2;
  p.brand = (r.brand >= 1 && r.brand <= 8) ? r.brand : BrandNone;
  p.continue_flag = r.continue_run ? 1 : 0;
  p.task_path = r.path_text;

  if (p.brand == BrandNone || p.mode == ScanModeUnset || p.buffer == 0 ||
      EndsWith(p.task_path, "...")) {
    result.warning = kMsgBadParameters;
    return result;
  }
  // A negative start would address before the disk.
  if (p.mode == ScanModeDeep && p.region_start < 0) {
    result.warning = kMsgBadParameters;
    return result;
  }
  if (p.mode == ScanModeDeep) {
    const int64_t size = ClampRegionToSource(p);
    if (size > 0 && p.region_start >= size && !retries_left) {
      result.warning = kMsgBadParameters;
      return result;
    }
  }
  // The task is written while the source is read: on the source's own
  // medium it would overwrite the evidence.
  if (p.source != nullptr && TargetTouchesSource(p.source->OpenPath(), p.task_path)) {
    result.warning = kMsgTaskOnSource;
    return result;
  }
  result.started = true;
  return result;
}

void RunParseJob(ScanParameters& p, WorkerFlags& flags, const ParseJobHooks& hooks) {
  flags.worker_busy.store(1);
  if (hooks.clear_list) hooks.clear_list();

  // The detectors probe within the region: never past the source's end.
  ClampRegionToSource(p);
  if (BrandHasSmartValue(p.brand) && p.mode == ScanModeDeep) {
    if (hooks.status_line) hooks.status_line(kMsgDetecting);
    p.smart_value = ResolveSmartValue(p);
    if (hooks.status_line) hooks.status_line(kMsgDetected);
  } else if (!BrandHasSmartValue(p.brand)) {
    p.smart_value = 0;
  }

  RunParse(p, StopFlag::Keep);

  if (hooks.status_line) hooks.status_line(kMsgLoadingTask);
  if (hooks.pages_known) hooks.pages_known(TaskPageCount(p));
  if (hooks.log_info) hooks.log_info(kMsgLoadingTask);
  LoadTaskPage(p, 0);
  if (hooks.list_loaded) hooks.list_loaded();
  if (hooks.log_info) hooks.log_info(kMsgTaskLoaded);

  flags.worker_busy.store(0);
  if (hooks.close_dialog) hooks.close_dialog();
  PowerOffIfRequested(flags);
}

void PowerOffIfRequested(WorkerFlags& flags) {
  if (flags.shutdown_when_done.load() && flags.power_off) flags.power_off->PowerOffMachine();
}

}  // namespace orvane
