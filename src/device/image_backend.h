#pragma once
// How an image file is read: as an Expert Witness segment set when it is
// one, as the whole of a split raw image when it is named as its first
// piece, else as the plain file it is.

#include <memory>
#include <string>

#include "device/device_info.h"

namespace orvane {

// Null when the image cannot be opened; then `problem`, when given, says why
// beyond "cannot be opened" (a missing segment, a damaged segment set), or
// stays empty.
std::unique_ptr<ReadBackend> OpenImageBackend(const std::string& path,
                                              std::string* problem = nullptr);

}  // namespace orvane
