#include "scan/identify.h"

#include <array>
#include <cstring>
#include <vector>

#include "device/byte_order.h"
#include "device/notify.h"
#include "device/source_device.h"
#include "engines/boli/boli_engine.h"
#include "engines/dahua/dahua_layout.h"
#include "engines/hikvision/hikvision_layout.h"
#include "engines/wfs/wfs_format.h"
#include "scan/salvage_read.h"
#include "scan/scan_parameters.h"

namespace orvane {

namespace {

constexpr size_t kSector = 512;
constexpr size_t kDahuaHeaderAt = 0x4400;
constexpr size_t kWfsSuperblockAt = 0x3000;

std::span<const uint8_t> SectorAt(std::span<const uint8_t> head, size_t at) {
  return at + kSector <= head.size() ? head.subspan(at, kSector) : std::span<const uint8_t>{};
}

bool Has(std::span<const uint8_t> head, size_t at, const char* text) {
  return BytesEqual(head, at, text, std::strlen(text));
}

}  // namespace

int32_t DiskHeadBrand(std::span<const uint8_t> given) {
  // Short heads (a tiny device) are tested as if zero-filled.
  std::vector<uint8_t> padded;
  std::span<const uint8_t> head = given;
  if (head.size() < 0x4600) {
    padded.assign(0x4600, 0);
    std::memcpy(padded.data(), given.data(), given.size());
    head = padded;
  }
  if (Has(head, 0, "HUAYI1.1")) return BrandHuayi;
  if (hikvision::ParseDiskHeader(SectorAt(head, hikvision::kHeaderOffset), 0).from_header)
    return BrandHikvision;
  const bool area_header = IsValidAreaHeader(SectorAt(head, kDahuaHeaderAt));
  if (area_header && Has(head, 0, "ZHILING1")) return BrandZhiling;
  if (Has(head, 3, "LING")) return BrandMeidianBell;
  if (area_header) return BrandDahua;
  if (wfs::IsWfsSuperblock(SectorAt(head, kWfsSuperblockAt))) return BrandWfs;
  if (LoadLE32(head.data() + 32) % 512 == 0 && IsBoliHeader(SectorAt(head, 0))) return BrandBoli;
  if (Has(head, 0, "jvbk")) return BrandJovision;
  return BrandNone;
}

int32_t IdentifyDiskBrand(const DeviceInfo& device) {
  SourceDevice dev;
  dev.Open(device);
  if (!dev.is_open()) {
    PostError(kMsgOpenSourceFailed);
    return kBrandUnreadable;
  }
  std::vector<uint8_t> head(kDiskHeadBytes);
  if (!ReadSalvaging(dev, 0, head.data(), kDiskHeadBytes)) {
    PostError(kMsgReadFailed);
    // Nothing at all came back: there is nothing to judge by.
    bool any = false;
    for (uint8_t b : head)
      if (b != 0) {
        any = true;
        break;
      }
    if (!any) return kBrandUnreadable;
  }
  return DiskHeadBrand(head);
}

int32_t IdentifyDiskBrand(const DeviceInfo& device, ScanParameters&) {
  return IdentifyDiskBrand(device);
}

int32_t IdentifyStreamBrand(std::span<const uint8_t> s) {
  // Positions whose signatures may reach 0x1FC bytes further (the Boli
  // successor test) stop 0x200 bytes before the end.
  if (s.size() <= 0x200) return BrandNone;
  const uint8_t* b = s.data();
  const size_t end = s.size() - 0x200;
  const uint64_t successor_limit = s.size() - 0x1FC;
  constexpr uint32_t kStart = 0x01000000;  // bytes 00 00 00 01
  // Every signature begins with one of a few bytes or has a start code
  // ending at k + 19; all other positions are passed over at once.
  static constexpr auto kLeads = [] {
    std::array<bool, 256> t{};
    t[0x00] = t['D'] = t['H'] = t['Z'] = t['J'] = true;
    return t;
  }();
  for (size_t k = 0; k < end; ++k) {
    if (!kLeads[b[k]] && b[k + 19] != 1) continue;
    const bool start_at_16 = LoadLE32(b + k + 16) == kStart;
    switch (b[k]) {
      case 0x00:
        if (b[k + 1] == 0 && b[k + 2] == 1) {
          if (b[k + 3] == 0xBA && LoadLE32(b + k + 20) == 0xBC010000u && b[k + 32] == 'H' &&
              b[k + 33] == 'K')
            return BrandHikvision;
          if (b[k + 3] == 0xFC && start_at_16) return BrandWfs;
        }
        break;
      case 'D':
      case 'H':
      case 'Z': {
        static constexpr char kTags[3][5] = {"DHAV", "HYAV", "ZLAV"};
        static constexpr int32_t kBrands[3] = {BrandDahua, BrandHuayi, BrandMeidianBell};
        const int t = b[k] == 'D' ? 0 : b[k] == 'H' ? 1 : 2;
        const uint16_t kind = LoadLE16(b + k + 4);
        if (std::memcmp(b + k, kTags[t], 4) == 0 && (kind == 0xFC || kind == 0xFD))
          return kBrands[t];
        break;
      }
      case 'J':
        if (start_at_16 && std::memcmp(b + k, "JVS ", 4) == 0) return BrandJovision;
        break;
      default:
        break;
    }
    if (start_at_16) {
      const uint64_t n = LoadLE32(b + k + 4);
      if (n < successor_limit - (k + 4) && IsValidReversedTime(LoadLE32(b + k + 12)) &&
          LoadLE32(b + k + n + 32) == kStart)
        return BrandBoli;
    }
  }
  return BrandNone;
}

int32_t IdentifyStreamBrand(const ScanParameters&, std::span<const uint8_t> sample) {
  return IdentifyStreamBrand(sample);
}

std::string_view DiskBrandText(int32_t code) {
  switch (code) {
    case BrandHikvision: return "海康";
    case BrandDahua: return "大华";
    case BrandWfs: return "WFS";
    case BrandBoli: return "波粒";
    case BrandHuayi: return "华亿";
    case BrandMeidianBell: return "美电贝尔";
    case BrandJovision: return "中维监控";
    case BrandZhiling: return "智灵监控";
    default: return "unKnown";
  }
}

std::string_view StreamBrandText(int32_t code) {
  switch (code) {
    case BrandHikvision: return "海康监控";
    case BrandDahua: return "大华监控";
    case BrandWfs: return "WFS监控";
    case BrandBoli: return "波粒监控";
    case BrandHuayi: return "华亿监控";
    case BrandMeidianBell: return "美电贝尔";
    case BrandJovision: return "中维监控";
    case BrandZhiling: return "智灵监控";
    default: return kAutoIdentifyUnknown;
  }
}

int32_t SampleStreamBrand(const DeviceInfo& device, const std::function<void(int)>& on_sample) {
  SourceDevice dev;
  dev.Open(device);
  if (!dev.is_open()) return BrandNone;
  const int64_t size = device.size > 0 ? device.size : dev.Size();
  const int64_t step = size / 5;
  std::vector<uint8_t> window(kSampleSize);
  for (int i = 0; i < kSampleCount; ++i) {
    ReadSalvaging(dev, kSampleStart + i * step, window.data(), kSampleSize);
    const int32_t brand = IdentifyStreamBrand(window);
    if (brand != BrandNone) return brand;
    if (on_sample) on_sample(i);
  }
  return BrandNone;
}

void RunAutoIdentify(std::span<const DeviceInfo* const> ticked, const AutoIdentifyCallbacks& cb,
                     const std::atomic<int32_t>* stop) {
  for (size_t row = 0; row < ticked.size(); ++row) {
    if (stop && stop->load() != 0) break;
    if (cb.status) cb.status(row, kAutoIdentifyRunning);
    if (cb.progress) cb.progress(0);
    const int32_t brand = ticked[row] ? SampleStreamBrand(*ticked[row], cb.progress) : BrandNone;
    if (cb.status) cb.status(row, StreamBrandText(brand));
    if (cb.done) cb.done(row, brand);
  }
}

}  // namespace orvane
