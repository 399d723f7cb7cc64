#include "device/path_kind.h"

#include <sys/stat.h>

namespace orvane {

PathKind KindOfPath(const std::string& path) {
  struct stat st{};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode) ? PathKind::Medium : PathKind::Other;
}

}  // namespace orvane
