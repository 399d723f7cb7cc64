#include "device/image_backend.h"

#include "device/ewf_backend.h"
#include "device/path_kind.h"
#include "device/source_device.h"
#include "device/split_backend.h"

namespace orvane {

std::unique_ptr<ReadBackend> OpenImageBackend(const std::string& path, std::string* problem) {
  // Asked before any reader looks inside: a named pipe would block it.
  if (!IsMediumPath(path)) return nullptr;
  if (EwfBackend::IsEwfFile(path)) return EwfBackend::Open(path, problem);
  if (IsFirstSplitSegment(path)) {
    const std::vector<std::string> pieces = SplitSegmentPaths(path, problem);
    if (pieces.empty()) return nullptr;
    // A lone piece is an ordinary image that happens to be named so.
    if (pieces.size() > 1) return SplitBackend::Open(pieces, problem);
  }
  return FileBackend::Open(path);
}

}  // namespace orvane
