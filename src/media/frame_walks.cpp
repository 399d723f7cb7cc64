// The frame walks of the brands whose frames no demuxer knows.

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "media/annexb.h"
#include "media/frame_source.h"
#include "scan/start_code_find.h"
#include "scan/task_head.h"

namespace orvane {

bool StreamWindow::Ensure(size_t n) {
  if (available() >= n) return true;
  if (at_end_) return false;
  // What the stream still holds bounds the window: a length read from damage
  // does not make it grow past the recording.
  const auto left = static_cast<uint64_t>(std::max<int64_t>(bytes_.size() - bytes_.position(), 0));
  if (n - available() > left) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, available());
    end_ -= begin_;
    begin_ = 0;
  }
  constexpr size_t kStep = 1u << 20;
  while (end_ < n && !at_end_) {
    const auto rest = static_cast<size_t>(std::max<int64_t>(bytes_.size() - bytes_.position(), 1));
    const size_t want = std::max(n - end_, std::min(kStep, rest));
    if (buffer_.size() < end_ + want) buffer_.resize(end_ + want);
    const size_t got = bytes_.Read(buffer_.data() + end_, want);
    end_ += got;
    if (got == 0) at_end_ = true;
  }
  return available() >= n;
}

namespace {

// Moves the window to the next byte equal to `first` (or to its end).
void SkipTo(StreamWindow& w, uint8_t first) {
  for (;;) {
    if (!w.Ensure(1)) return;
    const void* hit = std::memchr(w.data(), first, w.available());
    if (hit) {
      w.Consume(static_cast<size_t>(static_cast<const uint8_t*>(hit) - w.data()));
      return;
    }
    w.Consume(w.available());
  }
}

int64_t TimeOr(uint8_t kind, uint32_t word, int64_t fallback) {
  int64_t ms = 0;
  return word != 0 && RecorderTimeMs(kind, word, ms) ? ms : fallback;
}

class DahuaWalk final : public FrameSource {
 public:
  DahuaWalk(RecordingBytes& bytes, uint32_t magic, int64_t start_ms)
      : window_(bytes), magic_(magic), second_ms_(start_ms) {}

  bool Next(VideoFrame& frame) override {
    constexpr size_t kHeader = 24, kTrailer = 8;
    for (;;) {
      SkipTo(window_, static_cast<uint8_t>(magic_));
      if (!window_.Ensure(kHeader)) return false;
      const uint8_t* h = window_.data();
      const uint32_t length = LoadLE32(h + 12);
      if (LoadLE32(h) != magic_ || length < kHeader + kTrailer || length > kMaxFrameBytes ||
          !window_.Ensure(length)) {
        window_.Consume(1);
        continue;
      }
      h = window_.data();
      const uint8_t type = h[4];
      const size_t payload = kHeader + h[22];
      if ((type != 0xFC && type != 0xFD) || payload >= length - kTrailer) {
        window_.Consume(length);
        continue;
      }
      second_ms_ = TimeOr(TimePacked, LoadLE32(h + 16), second_ms_);
      frame.data.assign(h + payload, h + length - kTrailer);
      frame.time_ms = second_ms_ + std::min<int64_t>(LoadLE16(h + 20), 999);
      window_.Consume(length);
      return true;
    }
  }

 private:
  StreamWindow window_;
  uint32_t magic_;
  int64_t second_ms_;  // the last frame's whole second
};

class WfsWalk final : public FrameSource {
 public:
  WfsWalk(RecordingBytes& bytes, int64_t start_ms) : window_(bytes), time_ms_(start_ms) {}

  bool Next(VideoFrame& frame) override {
    for (;;) {
      SkipTo(window_, 0x00);
      if (!window_.Ensure(8)) return false;
      const uint8_t* h = window_.data();
      if (h[1] != 0 || h[2] != 1 || (h[3] != 0xFC && h[3] != 0xFD && h[3] != 0xFA)) {
        window_.Consume(1);
        continue;
      }
      size_t header = 8;
      uint32_t length = 0;
      if (h[3] == 0xFC) {
        if (!window_.Ensure(16)) return false;
        h = window_.data();
        header = 16;
        length = LoadLE32(h + 12);
      } else if (h[3] == 0xFD) {
        length = LoadLE32(h + 4);
      } else {
        length = LoadLE16(h + 6);
      }
      if (length > kMaxFrameBytes || !window_.Ensure(header + length)) {
        window_.Consume(1);
        continue;
      }
      h = window_.data();
      const uint8_t type = h[3];
      if (type == 0xFC) time_ms_ = TimeOr(TimePacked, LoadLE32(h + 8), time_ms_);
      if (type == 0xFA || length == 0) {
        window_.Consume(header + length);
        continue;
      }
      frame.data.assign(h + header, h + header + length);
      frame.time_ms = time_ms_;
      window_.Consume(header + length);
      return true;
    }
  }

 private:
  StreamWindow window_;
  int64_t time_ms_;
};

class BoliWalk final : public FrameSource {
 public:
  BoliWalk(RecordingBytes& bytes, int64_t start_ms) : window_(bytes), time_ms_(start_ms) {}

  bool Next(VideoFrame& frame) override {
    constexpr size_t kHeader = 16;
    for (;;) {
      SkipTo(window_, 0x30);
      if (!window_.Ensure(kHeader)) return false;
      const uint8_t* h = window_.data();
      const uint32_t length = LoadLE32(h + 4);
      // The payload always opens with a four-byte start code, which keeps
      // the walk from taking a "01?d" inside a payload for a frame.
      if (h[1] != 0x31 || h[3] != 0x64 || length < 4 || length > kMaxFrameBytes ||
          !window_.Ensure(kHeader + length) || LoadBE32(window_.data() + kHeader) != 1) {
        window_.Consume(1);
        continue;
      }
      h = window_.data();
      time_ms_ = TimeOr(TimePackedReversed, LoadLE32(h + 12), time_ms_);
      frame.data.assign(h + kHeader, h + kHeader + length);
      frame.time_ms = time_ms_;
      window_.Consume(kHeader + length);
      return true;
    }
  }

 private:
  StreamWindow window_;
  int64_t time_ms_;
};

// A bare Annex-B stream cut into access units by the rules of the codec: a
// unit ends where, after its first slice, a parameter set, delimiter or SEI
// begins, or a slice that is the first of a new picture.
class AnnexBWalk final : public FrameSource {
 public:
  AnnexBWalk(RecordingBytes& bytes, VideoCodec codec, int64_t start_ms)
      : window_(bytes),
        codec_(codec == VideoCodec::H265 ? codec : VideoCodec::H264),
        start_ms_(start_ms) {}

  bool Next(VideoFrame& frame) override {
    // Bytes of a start code and the NAL header bytes a decision needs.
    constexpr size_t kLook = 3 + 3;
    size_t scan = 0;  // where the search for the next start code goes on
    bool slice = false;
    for (;;) {
      const size_t avail = window_.available();
      const size_t found = FindStartCode(scan, avail);
      if (found + kLook > avail) {
        // The window ends before the next start code can be judged: more
        // bytes, unless the stream ends or the unit would grow too long.
        if (avail < kMaxFrameBytes && window_.Ensure(avail + 1)) {
          // A code cut by the window's end is looked at again, nothing before it.
          scan = found < avail ? found : std::max(scan, avail >= 2 ? avail - 2 : 0);
          continue;
        }
        if (avail == 0) return false;
        return Emit(frame, avail);
      }
      const uint8_t* d = window_.data();
      const size_t code = found > 0 && d[found - 1] == 0 ? found - 1 : found;
      const uint8_t* h = d + found + 3;
      if (slice && code > 0 && OpensAccessUnit(codec_, h)) return Emit(frame, code);
      slice = slice || IsSliceNal(codec_, h);
      scan = found + 3;
    }
  }

 private:
  // Offset of the next 00 00 01 at or after `from`; `avail` when none.
  size_t FindStartCode(size_t from, size_t avail) const {
    if (from + 3 > avail) return avail;
    const size_t one = FindOneBehindZeros(window_.data(), from + 2, avail, 2);
    return one < avail ? one - 2 : avail;
  }

  bool Emit(VideoFrame& frame, size_t n) {
    frame.data.assign(window_.data(), window_.data() + n);
    // A bare stream carries no times: its frames follow each other at 25 a
    // second from the recording's start.
    frame.time_ms = start_ms_ + frames_ * 40;
    ++frames_;
    window_.Consume(n);
    return true;
  }

  StreamWindow window_;
  VideoCodec codec_;
  int64_t start_ms_;
  int64_t frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> OpenDahuaWalk(RecordingBytes& bytes, uint32_t magic,
                                           int64_t start_ms) {
  return std::make_unique<DahuaWalk>(bytes, magic, start_ms);
}

std::unique_ptr<FrameSource> OpenWfsWalk(RecordingBytes& bytes, int64_t start_ms) {
  return std::make_unique<WfsWalk>(bytes, start_ms);
}

std::unique_ptr<FrameSource> OpenBoliWalk(RecordingBytes& bytes, int64_t start_ms) {
  return std::make_unique<BoliWalk>(bytes, start_ms);
}

std::unique_ptr<FrameSource> OpenAnnexBWalk(RecordingBytes& bytes, VideoCodec codec,
                                            int64_t start_ms) {
  return std::make_unique<AnnexBWalk>(bytes, codec, start_ms);
}

}  // namespace orvane
