#include "scan/task_check.h"

#include <filesystem>
#include <fstream>

#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane {

TaskFileCheck CheckTaskFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return TaskFileCheck::Unreadable;
  std::ifstream in(path, std::ios::binary);
  if (!in) return TaskFileCheck::Unreadable;
  uint8_t bytes[kTaskHeadSize] = {};
  in.read(reinterpret_cast<char*>(bytes), kTaskHeadSize);
  if (in.gcount() != kTaskHeadSize) return TaskFileCheck::Invalid;
  const TaskHead h = TaskHead::Decode(bytes);
  const bool known = h.brand >= 1 && h.brand <= 8 &&
                     (h.mode == ScanModeFast || h.mode == ScanModeDeep) &&
                     (h.version == 1 || h.version == 2) && h.scan_position >= 0 &&
                     h.region_end >= 0 && h.buffer >= 0;
  return known ? TaskFileCheck::Valid : TaskFileCheck::Invalid;
}

}  // namespace orvane
