#include "engines/boli/boli_engine.h"

#include "scan/scan_parameters.h"

namespace orvane {

// Placeholder until the engine is built: parses and loads nothing.
void BoliEngine::Scan() {}
void BoliEngine::ReadTaskPage(int32_t) {}

}  // namespace orvane
