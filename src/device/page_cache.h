#pragma once
// Whether the page cache holds a stretch of an open file.

#include <cstdint>

namespace orvane {

// True when every page of [offset, offset + length) of `fd` is in the page
// cache; false when one is not, or where the kernel cannot say (before
// Linux 6.5).
bool RangeResident(int fd, int64_t offset, int64_t length);

}  // namespace orvane
