#include "engines/jovision/jovision_engine.h"

#include "scan/scan_parameters.h"

namespace orvane {

// Placeholder until the engine is built: parses and loads nothing.
void JovisionEngine::Scan() {}
void JovisionEngine::ReadTaskPage(int32_t) {}

}  // namespace orvane
