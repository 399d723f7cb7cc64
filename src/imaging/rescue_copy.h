#pragma once
// The copy of a source range that keeps going over unreadable areas: the
// readable bulk first in large blocks, skipping ahead further on each failure
// in a row, then the edges of every failed block sector by sector (trim),
// then every sector not yet tried (scrape), then optional retries of the bad
// sectors. A healthy source is one sequential pass of whole blocks.
//
// Reads go straight to the ReadBackend rather than through SourceDevice: a
// short count tells exactly where a bad sector begins, and the bytes before
// it are good and kept.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/device_info.h"
#include "imaging/rescue_map.h"

namespace orvane {

struct RescueSettings {
  int64_t block = 0x200000;      // first-pass read size
  int64_t sector = kSectorSize;  // unit of trim, scrape and retry reads
  int64_t min_skip = 0x10000;    // skip after the first failure in a row
  int64_t max_skip = 1ll << 30;  // ...and at most this, or 1% of the range if smaller
  int retries = 0;               // extra passes over the bad sectors
  std::chrono::milliseconds save_interval{30000};
};

// What the copy is connected to.
struct RescueIo {
  ReadBackend* source = nullptr;
  // Puts bytes read at source position `pos` into the image; false on failure.
  std::function<bool(int64_t pos, const uint8_t* data, size_t length)> write;
  // Keeps the map somewhere safe: at least every save interval and at the end.
  std::function<void(const RescueMap& map)> save_map;
  // Before each first-pass block, with the block's position.
  std::function<void(int64_t pos)> block_started;
  // After the map changed, at most a few times a second.
  std::function<void(const RescueMap& map)> map_changed;
  const std::atomic<int32_t>* stop = nullptr;
};

struct RescueOutcome {
  bool stopped = false;          // the stop flag ended it
  bool write_failed = false;     // the image could not take a block
  int64_t write_failed_pos = 0;  // source position of that block
};

// Works through `map` (fresh or loaded from a stopped copy) until nothing
// non-tried, non-trimmed or non-scraped is left and the retries are done, or
// until stopped. Positions in the map are source positions.
RescueOutcome RunRescueCopy(RescueMap& map, const RescueSettings& settings, RescueIo& io);

}  // namespace orvane
