#include <cstdlib>
#include <string>

#include "scan/scan_parameters.h"

namespace orvane {

namespace {
const char* const kSlugs[] = {"",      "hikvision",   "dahua",    "wfs",    "boli",
                              "huayi", "meidianbell", "jovision", "zhiling"};
}

const char* BrandSlug(int32_t brand) {
  return brand >= 1 && brand <= 8 ? kSlugs[brand] : "";
}

int32_t BrandFromText(const std::string& text) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (int32_t b = 1; b <= 8; ++b)
    if (lower == kSlugs[b]) return b;
  if (lower.size() == 1 && lower[0] >= '1' && lower[0] <= '8') return lower[0] - '0';
  return 0;
}

}  // namespace orvane
