#include "media/recording_bytes.h"

#include <algorithm>
#include <cstring>

#include "device/source_device.h"
#include "scan/extent_fits.h"
#include "scan/salvage_read.h"

namespace orvane {

namespace {
// One device read at most; the device takes int32 lengths.
constexpr int64_t kMaxPiece = 2'097'152;
}  // namespace

RecordingBytes::RecordingBytes(SourceDevice& device, const RecordingEntry& entry)
    : device_(device), entry_(entry) {
  for (const FragmentExtent& f : entry.fragments) size_ += f.length;
  device_size_ = device.Size();
}

bool RecordingBytes::Seek(int64_t position) {
  if (position < 0 || position > size_) return false;
  fragment_ = 0;
  fragment_start_ = 0;
  while (fragment_ < entry_.fragments.size() &&
         fragment_start_ + entry_.fragments[fragment_].length <= position) {
    fragment_start_ += entry_.fragments[fragment_].length;
    ++fragment_;
  }
  position_ = position;
  return true;
}

size_t RecordingBytes::Read(uint8_t* out, size_t n) {
  size_t done = 0;
  while (done < n && fragment_ < entry_.fragments.size()) {
    const FragmentExtent& f = entry_.fragments[fragment_];
    const int64_t in_fragment = position_ - fragment_start_;
    if (in_fragment >= f.length) {
      fragment_start_ += f.length;
      ++fragment_;
      continue;
    }
    // A fragment that lies at no device offset (from a damaged task) holds
    // nothing: the stream goes on with the next fragment.
    if (f.offset < 0 || !ExtentFits(static_cast<uint64_t>(f.offset), f.length)) {
      loss_.past_end += f.length - in_fragment;
      position_ += f.length - in_fragment;
      continue;
    }
    const int64_t want =
        std::min<int64_t>({static_cast<int64_t>(n - done), f.length - in_fragment, kMaxPiece});
    const int64_t at = f.offset + in_fragment;
    uint8_t* dst = out + done;
    if (device_size_ > 0 && at + want > device_size_) {
      // What lies beyond the device end is not there: the stream goes on
      // with the next fragment.
      const int64_t inside = std::max<int64_t>(0, device_size_ - at);
      if (inside == 0) {
        loss_.past_end += f.length - in_fragment;
        position_ += f.length - in_fragment;
        continue;
      }
      device_.Read(at, dst, static_cast<int32_t>(inside));
      if (!device_.ok())
        loss_.unreadable += RecoverFailedRead(device_, at, dst, static_cast<int32_t>(inside));
      loss_.past_end += f.length - in_fragment - inside;
      done += static_cast<size_t>(inside);
      position_ += f.length - in_fragment;
      continue;
    }
    device_.Read(at, dst, static_cast<int32_t>(want));
    if (!device_.ok()) {
      loss_.unreadable += RecoverFailedRead(device_, at, dst, static_cast<int32_t>(want));
    } else if (device_.read_length() < want) {
      std::memset(dst + device_.read_length(), 0,
                  static_cast<size_t>(want - device_.read_length()));
    }
    done += static_cast<size_t>(want);
    position_ += want;
  }
  return done;
}

}  // namespace orvane
