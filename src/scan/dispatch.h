#pragma once
// The brand switch: runs a parse, loads a task page, fixes the smart value.

#include <cstdint>

#include "scan/found_by.h"

namespace orvane {

struct ScanParameters;

// Empties the loaded list and resets the head from the parameters.
void PrepareTaskHead(ScanParameters& p);
// PrepareTaskHead, then the engine of the chosen brand; afterwards the user
// smart value is spent (-1). Brands outside 1..8 run nothing.
void RunParse(ScanParameters& p);
// PrepareTaskHead, then the engine of the parameters' brand reads the page.
// Every loaded entry leaves it knowing how it was found.
void LoadTaskPage(ScanParameters& p, int32_t page);
// How a brand's task reader finds its recordings in a mode, apart from the
// groups it forms itself.
FoundBy DefaultFoundBy(int32_t brand, int32_t mode);
// The user's smart value when given, else the brand's detector, else its
// fallback; -1 for brands without a detector.
int64_t ResolveSmartValue(ScanParameters& p);
// True for the brands whose deep scan runs on a detected grid (2, 3, 5, 6, 8).
bool BrandHasSmartValue(int32_t brand);

}  // namespace orvane
