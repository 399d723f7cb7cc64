#include "imaging/unread_areas.h"

#include <cerrno>
#include <filesystem>

#include "device/notify.h"
#include "device/source_device.h"
#include "imaging/rescue_copy.h"

namespace orvane {

int64_t UnreadAreasBackend::ReadAt(int64_t offset, void* buffer, size_t length) {
  const int64_t unread = map_->FirstUnfinishedIn(offset, static_cast<int64_t>(length));
  if (unread == offset) {
    errno = EIO;
    return -1;
  }
  if (unread > offset) length = static_cast<size_t>(unread - offset);
  return inner_->ReadAt(offset, buffer, length);
}

void UnreadAreasBackend::Prefetch(int64_t offset, int64_t length) {
  const int64_t unread = map_->FirstUnfinishedIn(offset, length);
  if (unread >= 0) length = unread - offset;
  if (length > 0) inner_->Prefetch(offset, length);
}

DeviceInfo WithUnreadAreas(const DeviceInfo& device, std::shared_ptr<const RescueMap> map) {
  DeviceInfo wrapped = device;
  DeviceInfo inner = device;
  wrapped.backend =
      std::make_shared<const BackendFactory>([inner, map]() -> std::unique_ptr<ReadBackend> {
        std::unique_ptr<ReadBackend> real = OpenDeviceBackend(inner);
        if (!real) return nullptr;
        return std::make_unique<UnreadAreasBackend>(std::move(real), map);
      });
  return wrapped;
}

int64_t MissingBytes(const RescueMap& map, const RecordingEntry& entry) {
  int64_t missing = 0;
  for (const FragmentExtent& f : entry.fragments)
    missing += map.UnfinishedBytesIn(f.offset, f.length);
  return missing;
}

std::string MapBesideImage(const std::string& image_path) {
  std::error_code ec;
  for (const char* suffix : {".map", ".mapfile"}) {
    const std::string candidate = image_path + suffix;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

bool UseMapBesideImage(DeviceInfo& image) {
  if (image.kind != kDeviceKindImage) return false;
  const std::string path = MapBesideImage(image.OpenPath());
  if (path.empty()) return false;
  auto map = std::make_shared<RescueMap>();
  std::string error;
  if (!LoadRescueMap(path, *map, error)) {
    PostError("映射文件无法读取: " + path + ": " + error);
    return false;
  }
  image = WithUnreadAreas(image, std::move(map));
  PostInfo("使用映射文件:" + path);
  return true;
}

}  // namespace orvane
