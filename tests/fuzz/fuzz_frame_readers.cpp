// The frame readers of every brand over one recording that covers the whole
// image: the first byte picks the brand, the second the task's time kind
// (low bits) and the decoding (top bit), the next four the recording's
// start time word, the rest is the image. Every frame is read; then the
// first key frames go through the decoder as the preview's strip takes
// them, or the first pictures as its playback does.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "fuzz/fuzz_support.h"
#include "media/frame_reader.h"
#include "media/picture_decoder.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

using namespace orvane;

namespace {

void CheckPicture(const Picture& picture) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<size_t>(picture.width) * picture.height * 3)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr int32_t kBrands[] = {BrandHikvision, BrandDahua,  BrandWfs,
                                        BrandBoli,      BrandHuayi,  BrandMeidianBell,
                                        BrandJovision,  BrandZhiling};
  const auto [brand, rest] = fuzz::SelectBrand({data, size}, kBrands);
  if (rest.size() < 5) return 0;
  const std::span<const uint8_t> bytes = rest.subspan(5);
  const DeviceInfo image = fuzz::MemoryImage(bytes, static_cast<int64_t>(bytes.size()));
  SourceDevice device;
  device.Open(image);

  ScanParameters p;
  p.source = &image;
  p.brand = brand;
  p.head.time_kind = static_cast<uint8_t>((rest[0] & 0x7F) % (TimeUnixCalendar + 1));
  RecordingEntry entry;
  entry.start_time = LoadLE32(rest.data() + 1);
  entry.fragments.push_back({0, static_cast<uint32_t>(bytes.size())});

  {
    FrameReader reader(p, device, entry);
    VideoFrame frame;
    int64_t frames = 0;
    while (reader.Next(frame)) {
      ++frames;
      if (frame.data.empty() || reader.codec() == VideoCodec::Unknown) std::abort();
    }
    if (frames > reader.raw_frames() || reader.bytes().position() > reader.bytes().size())
      std::abort();
  }

  if (rest[0] & 0x80) {
    PictureDecoder player(p, device, entry, 0);
    Picture picture;
    for (int k = 0; k < 3 && player.Next(picture); ++k) CheckPicture(picture);
  } else {
    int strip = 0;
    KeyFramePictures(p, device, entry, [&](Picture&& picture) {
      CheckPicture(picture);
      return ++strip < 2;
    });
  }
  return 0;
}
