#include "map_option.h"

#include "cli_common.h"
#include "imaging/unread_areas.h"

namespace orvane::cli {

bool LoadMapOption(const std::string& path, std::shared_ptr<const RescueMap>& map) {
  auto loaded = std::make_shared<RescueMap>();
  std::string error;
  if (!LoadRescueMap(path, *loaded, error)) {
    PrintMessage("错误", "映射文件无法读取: " + path + ": " + error);
    return false;
  }
  PrintMessage("信息", "使用映射文件:" + path);
  map = std::move(loaded);
  return true;
}

bool ApplyMapOption(const std::string& path, DeviceInfo& device,
                    std::shared_ptr<const RescueMap>& map) {
  if (path.empty()) return true;
  if (!LoadMapOption(path, map)) return false;
  device = WithUnreadAreas(device, map);
  return true;
}

}  // namespace orvane::cli
