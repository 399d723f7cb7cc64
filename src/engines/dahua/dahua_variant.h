#pragma once
// The four recorder brands that share the Dahua disk layout differ only in a
// handful of constants and texts. They are gathered here so that every
// algorithm of the engine is written once and reads its brand's values.

#include <cstdint>
#include <string_view>

namespace orvane {

struct DahuaVariant {
  int32_t brand = 0;
  uint32_t magic = 0;            // first four bytes of every frame, as a u32
  uint32_t marker_position = 0;  // absolute byte of the area-table marker
  uint32_t first_slot = 0;       // absolute byte of the first 64-byte slot
  uint32_t base_field = 0;       // offset of the base-sector u64 in a slot
  uint32_t fallbacks[2] = {0, 0};  // area headers probed when there is no table
  int fallback_count = 0;
  // The fast parse leaves the device size instead of the region end as the
  // head's scan position.
  bool head_position_is_device_size = false;
  int64_t default_smart_value = 0;
  std::string_view fast_start;
  std::string_view fast_done;
  std::string_view deep_start;
  std::string_view deep_done;
  std::string_view foreign_disk;
};

// The variant of brand codes 2, 5, 6 and 8; null for any other code.
const DahuaVariant* FindDahuaVariant(int32_t brand);
// As above, but falls back to the Dahua variant for other codes.
const DahuaVariant& DahuaVariantFor(int32_t brand);

inline constexpr std::string_view kMsgDahuaBadBuffer = "错误编码：008";

}  // namespace orvane
