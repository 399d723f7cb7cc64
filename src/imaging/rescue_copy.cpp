#include "imaging/rescue_copy.h"

#include <algorithm>
#include <memory>

#include "device/background_prefetch.h"
#include "device/sequential_prefetch.h"
#include "device/source_device.h"

namespace orvane {

namespace {

using Clock = std::chrono::steady_clock;

class RescueRun {
 public:
  RescueRun(RescueMap& map, const RescueSettings& settings, RescueIo& io)
      : map_(map),
        s_(settings),
        io_(io),
        buffer_(new uint8_t[static_cast<size_t>(std::max(settings.block, settings.sector))]),
        last_save_(Clock::now()),
        last_notice_(Clock::now()) {}

  RescueOutcome Run() {
    if (!CopyPhase() || !TrimPhase() || !ScrapePhase() || !RetryPhase()) return Finish();
    map_.current_status = kAreaFinished;
    return Finish();
  }

 private:
  bool Stopped() {
    if (outcome_.write_failed) return true;
    if (io_.stop && io_.stop->load() != 0) outcome_.stopped = true;
    return outcome_.stopped;
  }

  RescueOutcome Finish() {
    if (io_.save_map) io_.save_map(map_);
    if (io_.map_changed) io_.map_changed(map_);
    return outcome_;
  }

  void Enter(char status, int pass, int64_t pos) {
    map_.current_status = status;
    map_.current_pass = pass;
    map_.current_pos = pos;
    if (io_.map_changed) io_.map_changed(map_);
  }

  // After every read: the periodic map save and the live view.
  void Tick() {
    const auto now = Clock::now();
    if (io_.save_map && now - last_save_ >= s_.save_interval) {
      io_.save_map(map_);
      last_save_ = now;
    }
    if (io_.map_changed && now - last_notice_ >= std::chrono::milliseconds(250)) {
      io_.map_changed(map_);
      last_notice_ = now;
    }
  }

  // Reads [pos, pos + length); the good part is written and marked finished.
  // Returns the number of good bytes, or -1 when the image refused them.
  int64_t ReadPiece(int64_t pos, int64_t length) {
    map_.current_pos = pos;
    int64_t n = io_.source->ReadAt(pos, buffer_.get(), static_cast<size_t>(length));
    n = std::clamp<int64_t>(n, 0, length);
    if (n > 0) {
      if (!io_.write(pos, buffer_.get(), static_cast<size_t>(n))) {
        outcome_.write_failed = true;
        outcome_.write_failed_pos = pos;
        return -1;
      }
      map_.Mark(pos, n, kAreaFinished);
    }
    Tick();
    return n;
  }

  // The sector holding `pos`, cut to [low, high).
  int64_t SectorStart(int64_t pos) const { return pos - pos % s_.sector; }

  // One sweep of block reads over the non-tried areas. A failed block's
  // unread part waits for the trim; with skipping, the copy then jumps
  // further ahead on every failure in a row, so that a damaged stretch costs
  // a few failed reads, not one per block.
  bool CopySweep(int pass, bool skipping, int64_t from) {
    const int64_t range = map_.end() - map_.begin();
    const int64_t limit = std::max(s_.min_skip, std::min(s_.max_skip, range / 100));
    const int64_t max_skip = std::max(s_.sector, limit - limit % s_.sector);
    int64_t skip = s_.min_skip;
    Enter(kAreaNonTried, pass, from);
    int64_t pos = from;
    MapArea area;
    // The first sweep reads in order: the kernel reads ahead of it, as it
    // does for the scans, until the source fails a read.
    SequentialPrefetch read_ahead;
    if (!skipping) read_ahead.Stop();
    BackgroundPrefetch prefetcher(*io_.source);
    while (map_.NextArea(kAreaNonTried, pos, area)) {
      if (Stopped()) return false;
      const int64_t length = std::min(s_.block, area.size);
      if (io_.block_started) io_.block_started(area.pos);
      const int64_t n = ReadPiece(area.pos, length);
      if (n < 0) return false;
      pos = area.pos + length;
      if (n == length) {
        skip = s_.min_skip;
        prefetcher.Ask(read_ahead.AfterRead(area.pos, n, map_.end()));
        continue;
      }
      read_ahead.Stop();
      map_.Mark(area.pos + n, length - n, kAreaNonTrimmed);
      if (skipping) {
        pos = std::min(map_.end(), pos + skip);
        skip = std::min(skip * 2, max_skip);
      }
    }
    return true;
  }

  bool CopyPhase() {
    // A copy stopped in its first sweep goes on where it was.
    int64_t from = map_.begin();
    if (map_.current_status == kAreaNonTried && map_.current_pass == 1)
      from = std::clamp(map_.current_pos, map_.begin(), map_.end());
    if (!CopySweep(1, true, from)) return false;
    // What the skips passed over, and what lay before a resumed start.
    return CopySweep(2, false, map_.begin());
  }

  // One sector at `pos` (cut to [low, high)); the part that failed is bad.
  // Returns 1 when all was read, 0 when some failed, -1 on a write failure.
  int ReadSector(int64_t pos, int64_t high) {
    const int64_t end = std::min(high, SectorStart(pos) + s_.sector);
    const int64_t n = ReadPiece(pos, end - pos);
    if (n < 0) return -1;
    if (n == end - pos) return 1;
    map_.Mark(pos + n, end - pos - n, kAreaBadSector);
    return 0;
  }

  // From both edges of each failed block inward, sector by sector, until a
  // sector fails; what lies between is left to the scrape.
  bool TrimPhase() {
    Enter(kAreaNonTrimmed, 1, map_.begin());
    MapArea area;
    while (map_.NextArea(kAreaNonTrimmed, map_.begin(), area)) {
      int64_t low = area.pos;
      int64_t high = area.end();
      while (low < high) {
        if (Stopped()) return false;
        const int64_t next = std::min(high, SectorStart(low) + s_.sector);
        const int r = ReadSector(low, high);
        if (r < 0) return false;
        low = next;
        if (r == 0) break;
      }
      while (low < high) {
        if (Stopped()) return false;
        const int64_t start = std::max(low, SectorStart(high - 1));
        const int r = ReadSector(start, high);
        if (r < 0) return false;
        high = start;
        if (r == 0) break;
      }
      if (low < high) map_.Mark(low, high - low, kAreaNonScraped);
    }
    return true;
  }

  // Every sector of every area of `status`, one read each.
  bool SectorSweep(char status) {
    MapArea area;
    int64_t pos = map_.begin();
    while (map_.NextArea(status, pos, area)) {
      int64_t at = area.pos;
      while (at < area.end()) {
        if (Stopped()) return false;
        const int64_t next = std::min(area.end(), SectorStart(at) + s_.sector);
        if (ReadSector(at, area.end()) < 0) return false;
        at = next;
      }
      pos = area.end();
    }
    return true;
  }

  bool ScrapePhase() {
    Enter(kAreaNonScraped, 1, map_.begin());
    return SectorSweep(kAreaNonScraped);
  }

  bool RetryPhase() {
    for (int pass = 1; pass <= s_.retries && map_.Count(kAreaBadSector) > 0; ++pass) {
      Enter(kAreaBadSector, pass, map_.begin());
      if (!SectorSweep(kAreaBadSector)) return false;
    }
    return true;
  }

  RescueMap& map_;
  const RescueSettings& s_;
  RescueIo& io_;
  std::unique_ptr<uint8_t[]> buffer_;
  Clock::time_point last_save_;
  Clock::time_point last_notice_;
  RescueOutcome outcome_;
};

}  // namespace

RescueOutcome RunRescueCopy(RescueMap& map, const RescueSettings& settings, RescueIo& io) {
  if (!io.source || !io.write || settings.block <= 0 || settings.sector <= 0) {
    RescueOutcome out;
    out.write_failed = true;
    out.write_failed_pos = map.begin();
    return out;
  }
  return RescueRun(map, settings, io).Run();
}

}  // namespace orvane
