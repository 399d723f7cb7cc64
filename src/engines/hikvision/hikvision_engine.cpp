#include "engines/hikvision/hikvision_engine.h"

#include "scan/scan_parameters.h"

namespace orvane {

// Placeholder until the engine is built: parses and loads nothing.
void HikvisionEngine::Scan() {}
void HikvisionEngine::ReadTaskPage(int32_t) {}

}  // namespace orvane
