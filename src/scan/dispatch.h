#pragma once
// The brand switch: runs a parse, loads a task page, fixes the smart value.

#include <cstdint>
#include <string_view>

#include "scan/found_by.h"

namespace orvane {

struct DeviceInfo;
struct ScanParameters;

// Whether a parse may start with a stop already requested and end at once.
enum class StopFlag {
  Clear,  // a fresh run: the stop flag is cleared with the head
  Keep,   // the parse worker's run: the flag was cleared when it started,
          // so a stop pressed since (during the smart-value detection) holds
};

// Empties the loaded list and resets the head from the parameters.
void PrepareTaskHead(ScanParameters& p);
// PrepareTaskHead, then the engine of the chosen brand; afterwards the user
// smart value is spent (-1). Brands outside 1..8 run nothing. The region
// ends at the end of the source first (ClampRegionToSource).
void RunParse(ScanParameters& p, StopFlag stop = StopFlag::Clear);
// PrepareTaskHead, then the engine of the parameters' brand reads the page.
// A path that is no regular file or block device is refused with
// "打开任务文件失败" before any engine opens it. Every loaded entry leaves
// it knowing how it was found.
void LoadTaskPage(ScanParameters& p, int32_t page);

// Byte length of the source as it reads, else as the device list knows it;
// 0 when neither can tell.
int64_t SourceSize(const DeviceInfo& source);
// Lowers the region end to the end of the source, where every deep engine
// and detector has to stop: a window past it can only fail. Returns the
// source size (0 when unknown, and then nothing changes).
int64_t ClampRegionToSource(ScanParameters& p);
// True for an engine's text that refuses the parse as a whole: a device that
// is not of the chosen brand, a buffer the scan cannot run with.
bool IsParseRefusal(std::string_view text);
// How a brand's task reader finds its recordings in a mode, apart from the
// groups it forms itself.
FoundBy DefaultFoundBy(int32_t brand, int32_t mode);
// The user's smart value when given, else the brand's detector, else its
// fallback; -1 for brands without a detector.
int64_t ResolveSmartValue(ScanParameters& p);
// True for the brands whose deep scan runs on a detected grid (2, 3, 5, 6, 8).
bool BrandHasSmartValue(int32_t brand);

}  // namespace orvane
