#pragma once
// A deep parse that keeps the map of the areas it could not read beside its
// task (TASK.map), and a continued parse that tries those areas again.

#include <functional>
#include <string>

namespace orvane {

struct ScanParameters;

// Runs `scan` (the brand's engine over the parameters' region) with reads
// that skip ahead over bad areas. A continued parse then scans the areas
// its map lists as failed or skipped, adding what it finds there to the
// task, and leaves the head as the main run left it. Every area still
// unread is logged once ("读取失败 偏移:… 大小:…"); the map is saved when
// it lists any, or when there was one before.
void RunDeepParseWithBadAreas(ScanParameters& p, const std::function<void()>& scan);

// True when the map beside the task lists areas a continued parse would try
// again: a finished parse may then still be continued.
bool TaskMapHasUnreadAreas(const std::string& task_path);

}  // namespace orvane
