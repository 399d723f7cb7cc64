#pragma once
// The areas of a disk that a rescue copy never read, as seen by the scans and
// exports that work on the copy: a map of the copy marks them, and reading
// them fails the way a bad sector does, without touching the medium.

#include <cstdint>
#include <memory>
#include <string>

#include "device/device_info.h"
#include "imaging/rescue_map.h"
#include "scan/recording_entry.h"

namespace orvane {

// Reads `inner` except where `map` has anything but finished areas: a read
// that meets one returns the bytes before it, a read that starts in one
// fails, as Linux answers for a bad sector. Positions outside the map's
// range read through.
class UnreadAreasBackend final : public ReadBackend {
 public:
  UnreadAreasBackend(std::unique_ptr<ReadBackend> inner, std::shared_ptr<const RescueMap> map)
      : inner_(std::move(inner)), map_(std::move(map)) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override;
  int64_t Size() override { return inner_->Size(); }
  // Up to the first unread area: on a live failing drive a read ahead into
  // one would cost what the map was made to spare.
  void Prefetch(int64_t offset, int64_t length) override;

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::shared_ptr<const RescueMap> map_;
};

// `device` read through its map: every SourceDevice opened on the result
// sees the unread areas as unreadable.
DeviceInfo WithUnreadAreas(const DeviceInfo& device, std::shared_ptr<const RescueMap> map);

// Bytes of the recording's fragments that lie in unread areas.
int64_t MissingBytes(const RescueMap& map, const RecordingEntry& entry);

// The map kept beside an image: IMAGE.map or IMAGE.mapfile; empty when
// there is none.
std::string MapBesideImage(const std::string& image_path);

// An image opened with its map beside it reads through the map from then
// on; the map's use is posted, and a map that cannot be read is posted as
// an error and left out. True when a map is now in use.
bool UseMapBesideImage(DeviceInfo& image);

}  // namespace orvane
