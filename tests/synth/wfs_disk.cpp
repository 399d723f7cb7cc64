#include "synth/wfs_disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "device/byte_order.h"
#include "scan/task_head.h"

namespace orvane::synth {

uint32_t PackTime(int year, int month, int day, int hour, int minute, int second) {
  return (static_cast<uint32_t>(year - 2000) << 26) | (static_cast<uint32_t>(month) << 22) |
         (static_cast<uint32_t>(day) << 17) | (static_cast<uint32_t>(hour) << 12) |
         (static_cast<uint32_t>(minute) << 6) | static_cast<uint32_t>(second);
}

uint32_t AddSeconds(uint32_t packed, int64_t seconds) {
  int64_t total = DaysFromCivil((packed >> 26) + 2000, (packed >> 22) & 15, (packed >> 17) & 31) *
                      86400 +
                  ((packed >> 12) & 31) * 3600 + ((packed >> 6) & 63) * 60 + (packed & 63) +
                  seconds;
  int64_t days = total / 86400;
  const int64_t rem = total % 86400;
  // Civil date of a day count (Howard Hinnant's civil_from_days).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  return PackTime(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d),
                  static_cast<int>(rem / 3600), static_cast<int>(rem / 60 % 60),
                  static_cast<int>(rem % 60));
}

namespace {

Bytes WithAnnexBStart(const Bytes& payload) {
  static const uint8_t kStart[4] = {0, 0, 0, 1};
  if (payload.size() >= 4 && std::equal(kStart, kStart + 4, payload.begin())) return payload;
  Bytes out{0};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

}  // namespace

Bytes WfsKeyFrame(uint32_t time, const Bytes& payload) {
  const Bytes body = WithAnnexBStart(payload);
  Bytes f(16);
  StoreLE32(f.data(), 0xFC010000);
  StoreLE32(f.data() + 4, 0x00F00140);  // picture size, not examined
  StoreLE32(f.data() + 8, time);
  StoreLE32(f.data() + 12, static_cast<uint32_t>(body.size()));
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

Bytes WfsVideoFrame(const Bytes& payload) {
  const Bytes body = WithAnnexBStart(payload);
  Bytes f(8);
  StoreLE32(f.data(), 0xFD010000);
  StoreLE32(f.data() + 4, static_cast<uint32_t>(body.size()));
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

Bytes WfsAudioFrame(const Bytes& payload) {
  Bytes f(8);
  StoreLE32(f.data(), 0xFA010000);
  StoreLE16(f.data() + 4, 0x0010);
  StoreLE16(f.data() + 6, static_cast<uint16_t>(payload.size()));
  f.insert(f.end(), payload.begin(), payload.end());
  return f;
}

namespace {

// The frames of one recording, one after the other: the test frames in a
// loop at 25 frames a second, an audio frame behind every fifth.
class FrameSource {
 public:
  FrameSource(uint32_t start, bool audio, uint32_t min_payload)
      : start_(start), audio_(audio), min_payload_(min_payload) {}
  // The next frame and the time it plays at.
  const Bytes& Next(uint32_t& time) {
    const auto& frames = TestFrames();
    if (pending_audio_) {
      pending_audio_ = false;
      time = last_time_;
      return AudioFrame();
    }
    const int64_t n = count_++;
    const Bytes* unit = &frames[static_cast<size_t>(n % static_cast<int64_t>(frames.size()))];
    const bool key = IsKeyFrame(*unit);
    if (unit->size() < min_payload_) {
      padded_ = *unit;
      padded_.resize(min_payload_, 0);
      unit = &padded_;
    }
    time = AddSeconds(start_, n / 25);
    last_time_ = time;
    current_ = key ? WfsKeyFrame(time, *unit) : WfsVideoFrame(*unit);
    if (audio_ && n % 5 == 4) pending_audio_ = true;
    return current_;
  }

 private:
  static const Bytes& AudioFrame() {
    static const Bytes frame = [] {
      Bytes pcm(160);
      // Companded silence-like bytes; never zero, so never a start code.
      for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(0xD5 ^ (i * 7 % 16));
      return WfsAudioFrame(pcm);
    }();
    return frame;
  }

  uint32_t start_;
  bool audio_;
  uint32_t min_payload_;
  Bytes padded_;
  int64_t count_ = 0;
  bool pending_audio_ = false;
  uint32_t last_time_ = 0;
  Bytes current_;
};

}  // namespace

WfsDisk::WfsDisk(const std::string& path, const WfsGeometry& geometry)
    : g_(geometry), image_(path, geometry.disk_size) {
  area_start_ = g_.area_base + g_.smart_value;
  const int64_t seg = segment_size();
  entries_ = static_cast<uint32_t>((g_.disk_size - area_start_) / seg);
  if (g_.index_start + int64_t{entries_} * 32 > area_start_ || g_.index_start < 0x3200)
    throw std::runtime_error("WFS index does not fit in front of the segment area");
  uint8_t sb[512] = {};
  StoreLE32(sb + 0x2C, g_.unit_size);
  StoreLE32(sb + 0x30, g_.units_per_segment);
  StoreLE32(sb + 0x44, static_cast<uint32_t>(g_.index_start / g_.unit_size));
  StoreLE32(sb + 0x48, static_cast<uint32_t>(area_start_ / g_.unit_size));
  StoreLE32(sb + 0x4C, entries_);
  StoreLE32(sb + 0x148, 0x789ABCDE);
  image_.Write(0x3000, sb, sizeof sb);
}

void WfsDisk::WriteEntry(uint32_t n, uint32_t prev, uint32_t next, uint32_t start, uint32_t end,
                         uint8_t channel) {
  uint8_t e[32] = {};
  StoreLE32(e + 0x00, 1);
  StoreLE32(e + 0x04, prev);
  StoreLE32(e + 0x08, next);
  StoreLE32(e + 0x0C, start);
  StoreLE32(e + 0x10, end);
  StoreLE32(e + 0x18, entries_);
  e[0x1F] = static_cast<uint8_t>((channel - 1) << 2);
  image_.Write(g_.index_start + int64_t{n} * 32, e, sizeof e);
}

void WfsDisk::WipeIndex() { image_.Wipe(g_.index_start, int64_t{entries_} * 32); }

const WfsPlanted& WfsDisk::Plant(uint8_t channel, uint32_t start_time,
                                 std::vector<uint32_t> segments, int64_t max_bytes, bool audio) {
  WfsPlanted rec;
  rec.channel = channel;
  rec.segments = segments;
  FrameSource source(start_time, audio, g_.min_video_payload);
  const size_t seg = segment_size();
  const int64_t capacity = static_cast<int64_t>(seg) * static_cast<int64_t>(segments.size());
  const int64_t limit = max_bytes > 0 ? std::min(max_bytes, capacity) : capacity;

  Bytes buf(seg);
  Bytes carry;  // the rest of a frame cut at the previous segment end
  uint32_t carry_time = 0;
  int64_t written = 0;
  bool done = false;
  bool first_frame = true;
  for (size_t k = 0; k < segments.size(); ++k) {
    const uint32_t n = segments[k];
    std::fill(buf.begin(), buf.end(), uint8_t{0});
    size_t used = 0;
    uint32_t seg_start = carry.empty() ? 0 : carry_time, seg_end = carry_time;
    if (!carry.empty()) {
      std::copy(carry.begin(), carry.end(), buf.begin());
      used = carry.size();
      carry.clear();
    }
    const bool last = k + 1 == segments.size();
    while (!done) {
      uint32_t time = 0;
      const Bytes& frame = source.Next(time);
      if (written + static_cast<int64_t>(frame.size()) > limit) {
        done = true;  // the stream ends with whole frames
        break;
      }
      if (first_frame) rec.start_time = time;
      first_frame = false;
      if (seg_start == 0) seg_start = time;
      seg_end = time;
      rec.end_time = time;
      written += static_cast<int64_t>(frame.size());
      rec.stream.insert(rec.stream.end(), frame.begin(), frame.end());
      const size_t room = seg - used;
      if (frame.size() <= room) {
        std::copy(frame.begin(), frame.end(), buf.begin() + static_cast<long>(used));
        used += frame.size();
        if (used == seg) break;
        continue;
      }
      if (last) {
        // Cannot happen: the limit keeps the last frame inside.
        done = true;
        break;
      }
      std::copy(frame.begin(), frame.begin() + static_cast<long>(room),
                buf.begin() + static_cast<long>(used));
      carry.assign(frame.begin() + static_cast<long>(room), frame.end());
      carry_time = time;
      used = seg;
      break;
    }
    image_.Write(segment_offset(n), buf);
    rec.extents.push_back({segment_offset(n), static_cast<uint32_t>(seg)});
    const uint32_t prev = k > 0 ? segments[k - 1] : entries_;
    const uint32_t next = k + 1 < segments.size() ? segments[k + 1] : entries_;
    WriteEntry(n, prev, next, seg_start, seg_end, channel);
  }
  rec.stream_bytes = written;
  planted_.push_back(std::move(rec));
  return planted_.back();
}

Bytes ReadExtents(const std::string& path, const std::vector<FragmentExtent>& extents) {
  Bytes out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  for (const auto& e : extents) {
    const size_t at = out.size();
    out.resize(at + e.length);
    const ssize_t got = ::pread(fd, out.data() + at, e.length, e.offset);
    out.resize(at + static_cast<size_t>(std::max<ssize_t>(got, 0)));
  }
  ::close(fd);
  return out;
}

Bytes ReadExtents(const std::string& path, const FragmentList& extents) {
  return ReadExtents(path, std::vector<FragmentExtent>(extents.begin(), extents.end()));
}

}  // namespace orvane::synth
