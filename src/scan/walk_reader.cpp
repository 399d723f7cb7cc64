#include "scan/walk_reader.h"

#include <cstring>
#include <utility>

namespace orvane {

WalkReader::WalkReader(SourceDevice& dev, const DeviceInfo* source, Fill fill)
    : dev_(dev), fill_(std::move(fill)) {
  if (!source) return;
  ahead_dev_.Open(*source);
  if (!ahead_dev_.is_open()) return;
  // Asked for one window at a time; meanwhile the caller touches neither
  // the read-ahead handle nor its buffer.
  if (!reader_.Start(
          [this] { ahead_data_ = fill_(ahead_dev_, ahead_at_, ahead_len_, ahead_, ahead_ok_); }))
    ahead_dev_.Close();
}

void WalkReader::ReadAhead(int64_t at, size_t len) {
  if (!reader_.running() || !reader_.idle()) return;
  ahead_at_ = at;
  ahead_len_ = len;
  reader_.Ask();
}

const uint8_t* WalkReader::Read(int64_t at, size_t len, bool& ok) {
  if (reader_.Take() && ahead_at_ == at && ahead_len_ == len) {
    const auto offset = static_cast<size_t>(ahead_data_ - ahead_.data());
    std::swap(held_, ahead_);  // the bytes move with their buffer
    ok = ahead_ok_;
    return held_.data() + offset;
  }
  return fill_(dev_, at, len, held_, ok);
}

}  // namespace orvane
