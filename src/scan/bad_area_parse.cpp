#include "scan/bad_area_parse.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "device/notify.h"
#include "imaging/rescue_map.h"
#include "scan/bad_area_skip.h"
#include "scan/scan_parameters.h"
#include "scan/task_file.h"

namespace orvane {

namespace {

constexpr std::string_view kScanMapComment = "Mapfile. Created by orvane parse";

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The map of an earlier run of this task, when it covers the region left.
bool LoadEarlierMap(const ScanParameters& p, RescueMap& map) {
  const std::string path = TaskMapPath(p.task_path);
  if (!p.continue_flag || !IsFile(path)) return false;
  std::string error;
  return LoadRescueMap(path, map, error) && map.begin() <= p.region_start &&
         map.end() >= p.region_end;
}

}  // namespace

bool TaskMapHasUnreadAreas(const std::string& task_path) {
  const std::string path = TaskMapPath(task_path);
  if (!IsFile(path)) return false;
  RescueMap map;
  std::string error;
  if (!LoadRescueMap(path, map, error)) return false;
  return !BadAreaSkip(std::move(map)).UnreadAreas().empty();
}

void RunDeepParseWithBadAreas(ScanParameters& p, const std::function<void()>& scan) {
  RescueMap earlier;
  const bool had_map = LoadEarlierMap(p, earlier);
  auto skip = had_map ? std::make_unique<BadAreaSkip>(std::move(earlier))
                      : std::make_unique<BadAreaSkip>(p.region_start, p.region_end);
  // Only what earlier runs could not read, in front of where the scan goes
  // on (behind it the scan reads everything anyway); what fails now waits
  // for the next run.
  std::vector<ByteRange> retry;
  for (ByteRange area : skip->UnreadAreas()) {
    area.end = std::min(area.end, p.region_start);
    if (!area.empty()) retry.push_back(area);
  }
  const std::string map_path = TaskMapPath(p.task_path);
  skip->KeepSaved([&map_path](const RescueMap& m) { SaveRescueMap(map_path, m, kScanMapComment); });

  p.bad_area_skip = skip.get();
  skip->BeginRegion(p.region_start, p.region_end);
  scan();

  if (!retry.empty() && !p.stop_requested()) {
    const int64_t start = p.region_start, end = p.region_end;
    const int64_t position = p.head.scan_position;
    for (const ByteRange& area : retry) {
      if (p.stop_requested()) break;
      p.region_start = area.begin;
      p.region_end = area.end;
      skip->BeginRegion(area.begin, area.end);
      scan();
    }
    p.region_start = start;
    p.region_end = end;
    // The head says how far the scan of the region went, as the main run
    // left it, not where the last retried area ended.
    p.head.scan_position = position;
    TaskWriter head;
    if (head.Open(p)) head.Close();
  }
  p.bad_area_skip = nullptr;

  const std::vector<ByteRange> unread = skip->UnreadAreas();
  for (const ByteRange& area : unread) PostError(BadAreaText(area));
  if ((!unread.empty() || had_map) && !SaveRescueMap(map_path, skip->map(), kScanMapComment))
    PostError("映射文件写入失败:" + map_path);
}

}  // namespace orvane
