#include "engines/dahua/dahua_engine.h"

#include "scan/scan_parameters.h"

namespace orvane {

// Placeholder until the engine is built: parses and loads nothing.
void DahuaFamilyEngine::Scan() {}
void DahuaFamilyEngine::ReadTaskPage(int32_t) {}
int64_t DahuaFamilyEngine::DetectSmartValue() { return -1; }
}  // namespace orvane
