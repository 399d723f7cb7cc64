#include "scan/bad_area_skip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/source_device.h"
#include "scan/salvage_read.h"

namespace orvane {

namespace {
constexpr int64_t kPiece = 64 << 10;
}  // namespace

void BadAreaSkip::BeginRegion(int64_t begin, int64_t end) {
  const int64_t limit = std::max(kMinSkip, std::min(kMaxSkip, (end - begin) / 100));
  max_skip_ = limit - limit % kSectorSize;
  skip_ = kMinSkip;
  skip_until_ = -1;
  failing_ = false;
}

void BadAreaSkip::Failed(int64_t bad_at, int64_t skip_from, int64_t limit) {
  skip_until_ = std::max(bad_at + kSectorSize, std::min(limit, skip_from + skip_));
  map_.Mark(bad_at, kSectorSize, kAreaBadSector);
  map_.Mark(bad_at + kSectorSize, skip_until_ - bad_at - kSectorSize, kAreaNonTrimmed);
  skip_ = std::min(skip_ * 2, max_skip_);
  failing_ = true;
  const auto now = std::chrono::steady_clock::now();
  if (save_ && (last_save_ == std::chrono::steady_clock::time_point{} ||
                now - last_save_ >= save_interval_)) {
    save_(map_);
    last_save_ = now;
  }
}

int64_t BadAreaSkip::FirstBadSector(SourceDevice& device, int64_t at, int64_t end, uint8_t* out) {
  const int64_t base = at;
  // Pieces first: on a drive that fails a whole request for one sector, a
  // bad spot then costs two more failed reads, not one per sector before it.
  while (at < end) {
    const auto n = static_cast<int32_t>(std::min(kPiece, end - at));
    device.Read(at, out + (at - base), n);
    const int64_t got = std::clamp<int64_t>(device.read_length(), 0, n);
    if (device.ok() && got == n) {
      at += n;
      continue;
    }
    if (!device.ok()) ++failed_reads_;
    std::memset(out + (at - base) + got, 0, static_cast<size_t>(n - got));
    if (got > 0 || device.ok()) return at + got;
    break;
  }
  const int64_t piece_end = std::min(end, at + kPiece);
  for (; at < piece_end; at += kSectorSize) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(kSectorSize, piece_end - at));
    device.Read(at, out + (at - base), n);
    const int64_t got = std::clamp<int64_t>(device.read_length(), 0, n);
    if (device.ok() && got == n) continue;
    if (!device.ok()) ++failed_reads_;
    std::memset(out + (at - base) + got, 0, static_cast<size_t>(n - got));
    return at + got;
  }
  return at;
}

bool BadAreaSkip::Read(SourceDevice& device, int64_t device_size, int64_t offset, uint8_t* buffer,
                       size_t length, size_t capacity) {
  int64_t inside = static_cast<int64_t>(length);
  if (device_size > 0) inside = std::clamp<int64_t>(device_size - offset, 0, inside);
  // Past the end of the medium nothing is bad, only absent.
  if (inside <= 0) return ReadZeroed(device, device_size, offset, buffer, length, capacity);
  std::memset(buffer + inside, 0, capacity - static_cast<size_t>(inside));
  const int64_t end = offset + inside;
  bool ok = true;
  int64_t at = offset;
  while (at < end) {
    uint8_t* out = buffer + (at - offset);
    if (skip_until_ > at) {
      const int64_t to = std::min(end, skip_until_);
      std::memset(out, 0, static_cast<size_t>(to - at));
      at = to;
      continue;
    }
    const auto n = static_cast<int32_t>(end - at);
    device.Read(at, out, n);
    const int64_t got = std::clamp<int64_t>(device.read_length(), 0, n);
    std::memset(out + got, 0, static_cast<size_t>(n - got));
    if (device.ok()) {
      // Whole, or short at the end of a medium of unknown size.
      map_.Mark(at, got, kAreaFinished);
      if (got == n) {
        skip_ = kMinSkip;
        failing_ = false;
      }
      return ok;
    }
    ok = false;
    ++failed_reads_;
    int64_t bad = at + got;
    // The first failure after good reads is placed to the sector and costs
    // the least skip behind it. In a bad area (a failure in a row) the rest
    // of the window is given up too, as the rescue copy gives up the rest of
    // its block: with skips still shorter than a window, every window would
    // otherwise fail once more.
    const bool in_a_row = failing_ && got == 0;
    if (got == 0 && !failing_ && n > kSectorSize) bad = FirstBadSector(device, at, end, out);
    map_.Mark(at, bad - at, kAreaFinished);
    if (bad >= end) {
      // The failure did not come back: all was read after all.
      failing_ = false;
      return ok;
    }
    Failed(bad, in_a_row ? end : bad, map_.end());
    at = bad;
  }
  return ok;
}

void BadAreaSkip::NoteRead(int64_t device_size, int64_t offset, int64_t length) {
  int64_t end = offset + std::max<int64_t>(length, 0);
  if (device_size > 0) end = std::min(end, device_size);
  const int64_t from = std::max(offset, skip_until_);
  if (from >= end) return;
  map_.Mark(from, end - from, kAreaFinished);
  skip_ = kMinSkip;
  failing_ = false;
}

void BadAreaSkip::NoteSectorsRead(int64_t device_size, int64_t offset, int64_t length) {
  const UnitSpan read = UnitsHolding(offset, length, kSectorSize);
  NoteRead(device_size, read.begin, read.length);
}

std::vector<ByteRange> BadAreaSkip::UnreadAreas() const {
  std::vector<ByteRange> out;
  for (const MapArea& a : map_.Areas()) {
    if (a.status != kAreaBadSector && a.status != kAreaNonTrimmed) continue;
    if (!out.empty() && out.back().end == a.pos) {
      out.back().end = a.end();
    } else {
      out.push_back({a.pos, a.end()});
    }
  }
  return out;
}

std::string TaskMapPath(const std::string& task_path) { return task_path + ".map"; }

std::string BadAreaText(const ByteRange& area) {
  char text[128];
  std::snprintf(text, sizeof text, "读取失败 偏移:%lld 大小:%lld",
                static_cast<long long>(area.begin), static_cast<long long>(area.length()));
  return text;
}

}  // namespace orvane
