#include "imaging/rescue_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>

#include "device/byte_range.h"

namespace orvane {

namespace {

// A map larger than this is not one this program wrote or can use; reading
// it whole would let a bad file take all memory.
constexpr int64_t kMaxMapFileBytes = 64ll << 20;

bool ParseNumber(std::string_view word, int64_t& out) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  if (word.empty()) return false;
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (ec != std::errc() || end != word.data() + word.size()) return false;
  if (value > static_cast<uint64_t>(INT64_MAX)) return false;
  out = static_cast<int64_t>(value);
  return true;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

std::string Hex(int64_t value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llX", width, static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

bool IsAreaStatus(char c) {
  return c == kAreaNonTried || c == kAreaNonTrimmed || c == kAreaNonScraped ||
         c == kAreaBadSector || c == kAreaFinished;
}

RescueMap::RescueMap(int64_t begin, int64_t size)
    : current_pos(begin), begin_(begin), end_(SaturatingAdd(begin, std::max<int64_t>(size, 0))) {
  if (end_ > begin_) areas_[begin_] = {end_ - begin_, kAreaNonTried};
}

void RescueMap::SplitAt(int64_t at) {
  auto it = areas_.upper_bound(at);
  if (it == areas_.begin()) return;
  --it;
  const int64_t pos = it->first;
  Entry& e = it->second;
  if (pos == at || pos + e.size <= at) return;
  const Entry tail{pos + e.size - at, e.status};
  e.size = at - pos;
  areas_.emplace_hint(std::next(it), at, tail);
}

void RescueMap::Mark(int64_t pos, int64_t size, char status) {
  const int64_t from = std::max(pos, begin_);
  const int64_t to = std::min(SaturatingAdd(pos, std::max<int64_t>(size, 0)), end_);
  if (to <= from) return;
  SplitAt(from);
  SplitAt(to);
  auto first = areas_.lower_bound(from);
  areas_.erase(first, areas_.lower_bound(to));
  auto it = areas_.emplace(from, Entry{to - from, status}).first;
  if (it != areas_.begin()) {
    auto prev = std::prev(it);
    if (prev->second.status == status && prev->first + prev->second.size == from) {
      prev->second.size += it->second.size;
      areas_.erase(it);
      it = prev;
    }
  }
  auto next = std::next(it);
  if (next != areas_.end() && next->second.status == status &&
      it->first + it->second.size == next->first) {
    it->second.size += next->second.size;
    areas_.erase(next);
  }
}

std::vector<MapArea> RescueMap::Areas() const {
  std::vector<MapArea> out;
  out.reserve(areas_.size());
  for (const auto& [pos, e] : areas_) out.push_back({pos, e.size, e.status});
  return out;
}

bool RescueMap::NextArea(char status, int64_t from, MapArea& out) const {
  auto it = areas_.upper_bound(from);
  if (it != areas_.begin()) --it;
  for (; it != areas_.end(); ++it) {
    const int64_t end = it->first + it->second.size;
    if (it->second.status != status || end <= from) continue;
    const int64_t start = std::max(it->first, from);
    out = {start, end - start, status};
    return true;
  }
  return false;
}

int64_t RescueMap::UnfinishedBytesIn(int64_t pos, int64_t size) const {
  const int64_t from = std::max(pos, begin_);
  const int64_t to = std::min(SaturatingAdd(pos, std::max<int64_t>(size, 0)), end_);
  int64_t total = 0;
  auto it = areas_.upper_bound(from);
  if (it != areas_.begin()) --it;
  for (; it != areas_.end() && it->first < to; ++it) {
    if (it->second.status == kAreaFinished) continue;
    const int64_t a = std::max(it->first, from);
    const int64_t b = std::min(it->first + it->second.size, to);
    if (b > a) total += b - a;
  }
  return total;
}

int64_t RescueMap::FirstUnfinishedIn(int64_t pos, int64_t size) const {
  const int64_t from = std::max(pos, begin_);
  const int64_t to = std::min(SaturatingAdd(pos, std::max<int64_t>(size, 0)), end_);
  auto it = areas_.upper_bound(from);
  if (it != areas_.begin()) --it;
  for (; it != areas_.end() && it->first < to; ++it) {
    if (it->second.status == kAreaFinished || it->first + it->second.size <= from) continue;
    return std::max(it->first, from);
  }
  return -1;
}

int64_t RescueMap::Bytes(char status) const {
  int64_t total = 0;
  for (const auto& [pos, e] : areas_)
    if (e.status == status) total += e.size;
  return total;
}

int64_t RescueMap::Count(char status) const {
  int64_t count = 0;
  for (const auto& [pos, e] : areas_)
    if (e.status == status) ++count;
  return count;
}

std::vector<char> CellStatuses(const RescueMap& map, int cells) {
  if (cells <= 0) return {};
  std::vector<char> out(static_cast<size_t>(cells), kAreaFinished);
  const int64_t range = map.end() - map.begin();
  if (range <= 0) return out;
  auto rank = [](char status) {
    switch (status) {
      case kAreaBadSector:
        return 4;
      case kAreaNonTrimmed:
        return 3;
      case kAreaNonScraped:
        return 2;
      case kAreaNonTried:
        return 1;
      default:
        return 0;
    }
  };
  // Cell of a byte: (pos - begin) * cells / range, in 128 bits so a disk of
  // any size cannot overflow it.
  auto cell_of = [&](int64_t pos) {
    const __int128 scaled = static_cast<__int128>(pos - map.begin()) * cells / range;
    return static_cast<int>(std::min<__int128>(scaled, cells - 1));
  };
  for (const MapArea& a : map.Areas()) {
    if (a.status == kAreaFinished) continue;
    const int first = cell_of(a.pos);
    const int last = cell_of(a.end() - 1);
    for (int c = first; c <= last; ++c)
      if (rank(a.status) > rank(out[static_cast<size_t>(c)]))
        out[static_cast<size_t>(c)] = a.status;
  }
  return out;
}

std::string FormatRescueMap(const RescueMap& map, std::string_view first_comment) {
  std::string text;
  text += "# ";
  text += first_comment;
  text += "\n# current_pos  current_status  current_pass\n";
  text += Hex(map.current_pos, 8) + "     " + map.current_status + "               " +
          std::to_string(map.current_pass) + "\n";
  text += "#      pos        size  status\n";
  for (const MapArea& a : map.Areas())
    text += Hex(a.pos, 8) + "  " + Hex(a.size, 8) + "  " + a.status + "\n";
  return text;
}

bool ParseRescueMap(std::string_view text, RescueMap& out, std::string& error) {
  bool have_status_line = false;
  int64_t current_pos = 0;
  char current_status = kAreaNonTried;
  int current_pass = 1;
  std::vector<MapArea> areas;
  size_t line_number = 0;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    ++line_number;
    const auto words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    auto bad = [&](const char* what) {
      error = "line " + std::to_string(line_number) + ": " + what;
      return false;
    };
    if (!have_status_line) {
      // The status letters of this line are the phase letters, a superset of
      // the area letters; only the position matters for resuming.
      if (words.size() < 2 || words[1].size() != 1 || !ParseNumber(words[0], current_pos))
        return bad("bad current position line");
      current_status = words[1][0];
      int64_t pass = 1;
      if (words.size() >= 3 && (!ParseNumber(words[2], pass) || pass > 1000000))
        return bad("bad pass number");
      current_pass = static_cast<int>(pass);
      have_status_line = true;
      continue;
    }
    MapArea a;
    if (words.size() < 3 || words[2].size() != 1 || !IsAreaStatus(words[2][0]) ||
        !ParseNumber(words[0], a.pos) || !ParseNumber(words[1], a.size))
      return bad("bad area line");
    a.status = words[2][0];
    if (a.size <= 0 || a.pos > INT64_MAX - a.size) return bad("bad area size");
    if (!areas.empty() && a.pos != areas.back().end())
      return bad("area does not follow the one before it");
    areas.push_back(a);
  }
  if (!have_status_line) {
    error = "no current position line";
    return false;
  }
  if (areas.empty()) {
    error = "no areas";
    return false;
  }
  RescueMap map(areas.front().pos, areas.back().end() - areas.front().pos);
  for (const MapArea& a : areas)
    if (a.status != kAreaNonTried) map.Mark(a.pos, a.size, a.status);
  map.current_pos = current_pos;
  map.current_status = current_status;
  map.current_pass = current_pass;
  out = std::move(map);
  return true;
}

bool LoadRescueMap(const std::string& path, RescueMap& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  std::string text;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
    if (static_cast<int64_t>(text.size()) > kMaxMapFileBytes) {
      error = "map file too large";
      return false;
    }
  }
  return ParseRescueMap(text, out, error);
}

bool SaveRescueMap(const std::string& path, const RescueMap& map, std::string_view first_comment) {
  const std::string text = FormatRescueMap(map, first_comment);
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool written = done == text.size() && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace orvane
