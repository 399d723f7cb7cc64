#include "engines/wfs/wfs_engine.h"

#include "scan/scan_parameters.h"

namespace orvane {

// Placeholder until the engine is built: parses and loads nothing.
void WfsEngine::Scan() {}
void WfsEngine::ReadTaskPage(int32_t) {}
int64_t WfsEngine::DetectSmartValue() { return -1; }
}  // namespace orvane
