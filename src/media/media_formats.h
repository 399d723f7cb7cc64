#pragma once
// Lends the MP4 remux to the core's exports; called at start by every
// program that links the media libraries.

namespace orvane {

void RegisterMediaFormats();

}  // namespace orvane
