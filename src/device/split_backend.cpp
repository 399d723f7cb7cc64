#include "device/split_backend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "device/byte_range.h"
#include "device/kernel_read_ahead.h"
#include "device/page_cache.h"

namespace orvane {

namespace {

// "IMAGE." and "001" of "IMAGE.001".
struct SplitName {
  std::string stem;  // everything up to and including the last dot
  std::string suffix;
  bool digits = false;
};

constexpr size_t kLongestSuffix = 12;  // keeps the ordinal inside 64 bits

std::optional<SplitName> ParseSplitName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  SplitName n{path.substr(0, dot + 1), path.substr(dot + 1), false};
  if (n.suffix.size() < 2 || n.suffix.size() > kLongestSuffix || n.stem.size() < 2 ||
      n.stem[n.stem.size() - 2] == '/')
    return std::nullopt;
  const bool all_digits =
      std::all_of(n.suffix.begin(), n.suffix.end(), [](char c) { return c >= '0' && c <= '9'; });
  const bool all_letters =
      std::all_of(n.suffix.begin(), n.suffix.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  if (!all_digits && !all_letters) return std::nullopt;
  n.digits = all_digits;
  return n;
}

// The position of a suffix in its numbering.
uint64_t Ordinal(const SplitName& n) {
  uint64_t value = 0;
  for (char c : n.suffix) value = value * (n.digits ? 10 : 26) + (n.digits ? c - '0' : c - 'a');
  return value;
}

bool IsRegularFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whether the folder holds a piece of the same image numbered after `missing`.
bool LaterPiecePresent(const SplitName& missing) {
  std::filesystem::path folder = std::filesystem::path(missing.stem).parent_path();
  if (folder.empty()) folder = ".";
  const uint64_t after = Ordinal(missing);
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = (folder / it->path().filename()).string();
    const std::optional<SplitName> n = ParseSplitName(name);
    if (!n || n->digits != missing.digits || n->suffix.size() != missing.suffix.size()) continue;
    if (std::filesystem::path(n->stem).filename() != std::filesystem::path(missing.stem).filename())
      continue;
    if (Ordinal(*n) > after) return true;
  }
  return false;
}

}  // namespace

bool IsFirstSplitSegment(const std::string& path) {
  const std::optional<SplitName> n = ParseSplitName(path);
  return n && Ordinal(*n) <= (n->digits ? 1u : 0u);
}

std::string NextSplitSegment(const std::string& path) {
  const std::optional<SplitName> n = ParseSplitName(path);
  if (!n) return {};
  std::string next = n->suffix;
  const char low = n->digits ? '0' : 'a';
  const char high = n->digits ? '9' : 'z';
  for (size_t i = next.size(); i-- > 0;) {
    if (next[i] != high) {
      ++next[i];
      return n->stem + next;
    }
    next[i] = low;
  }
  return {};
}

std::vector<std::string> SplitSegmentPaths(const std::string& first, std::string* problem) {
  std::vector<std::string> paths;
  if (!IsRegularFile(first)) {
    if (problem) *problem = "cannot open " + first;
    return paths;
  }
  paths.push_back(first);
  std::string next = NextSplitSegment(first);
  while (!next.empty() && IsRegularFile(next)) {
    paths.push_back(next);
    next = NextSplitSegment(next);
  }
  if (!next.empty()) {
    const std::optional<SplitName> missing = ParseSplitName(next);
    if (missing && LaterPiecePresent(*missing)) {
      if (problem) *problem = "split image segment missing: " + next;
      paths.clear();
    }
  }
  return paths;
}

std::unique_ptr<SplitBackend> SplitBackend::Open(const std::vector<std::string>& paths,
                                                 std::string* problem) {
  std::unique_ptr<SplitBackend> backend(new SplitBackend());
  int64_t start = 0;
  for (const std::string& path : paths) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    const bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd >= 0) ::close(fd);
    if (!ok) {
      if (problem) *problem = "cannot open split image segment " + path;
      return nullptr;
    }
    backend->segments_.push_back({path, start, static_cast<int64_t>(st.st_size), st.st_dev});
    start += st.st_size;
  }
  if (backend->segments_.empty()) {
    if (problem) *problem = "no split image segments";
    return nullptr;
  }
  backend->size_ = start;
  return backend;
}

SplitBackend::~SplitBackend() {
  if (open_fd_ >= 0) ::close(open_fd_);
}

void SplitBackend::Prefetch(int64_t offset, int64_t length) {
  std::lock_guard lock(mu_);
  if (open_fd_ < 0 || open_index_ >= segments_.size()) return;
  const Segment& s = segments_[open_index_];
  const ByteRange within =
      ByteRange::FromLength(offset, length).intersect(ByteRange::FromLength(s.start, s.length));
  if (!within.empty())
    ::posix_fadvise(open_fd_, within.begin - s.start, within.length(), POSIX_FADV_WILLNEED);
}

bool SplitBackend::Resident(int64_t offset, int64_t length) {
  std::lock_guard lock(mu_);
  if (open_fd_ < 0 || open_index_ >= segments_.size()) return false;
  const Segment& s = segments_[open_index_];
  if (length <= 0 || offset < s.start || offset - s.start > s.length - length) return false;
  return RangeResident(open_fd_, offset - s.start, length);
}

int64_t SplitBackend::KernelReadAhead() {
  // The pieces mostly share one file system: each is asked for once.
  std::vector<uint64_t> systems;
  for (const Segment& s : segments_)
    if (std::find(systems.begin(), systems.end(), s.file_system) == systems.end())
      systems.push_back(s.file_system);
  int64_t least = -1;
  for (const uint64_t system : systems) {
    const int64_t bytes = FileSystemReadAhead(system);
    if (bytes < 0) return -1;
    least = least < 0 ? bytes : std::min(least, bytes);
  }
  return least;
}

void SplitBackend::StopReadAhead() {
  std::lock_guard lock(mu_);
  read_ahead_stopped_ = true;
  if (open_fd_ >= 0) StopKernelReadAhead(open_fd_);
}

int SplitBackend::SegmentFd(size_t index) {
  if (open_fd_ >= 0 && open_index_ == index) return open_fd_;
  if (open_fd_ >= 0) ::close(open_fd_);
  open_fd_ = ::open(segments_[index].path.c_str(), O_RDONLY | O_CLOEXEC);
  open_index_ = index;
  if (open_fd_ >= 0 && read_ahead_stopped_) StopKernelReadAhead(open_fd_);
  return open_fd_;
}

int64_t SplitBackend::ReadAt(int64_t offset, void* buffer, size_t length) {
  if (offset < 0) return -1;
  if (offset >= size_ || length == 0) return 0;
  std::lock_guard lock(mu_);
  auto* out = static_cast<uint8_t*>(buffer);
  // The last piece that starts at or before the offset.
  size_t index = static_cast<size_t>(
      std::upper_bound(segments_.begin(), segments_.end(), offset,
                       [](int64_t at, const Segment& s) { return at < s.start; }) -
      segments_.begin() - 1);
  size_t done = 0;
  while (done < length && index < segments_.size()) {
    const Segment& s = segments_[index];
    const int64_t at = offset + static_cast<int64_t>(done);
    const int64_t within = at - s.start;
    if (within >= s.length) {
      ++index;
      continue;
    }
    const size_t want = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(length - done), s.length - within));
    const int fd = SegmentFd(index);
    if (fd < 0) break;
    const ssize_t n = ::pread(fd, out + done, want, within);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    // A piece shorter than when it was opened ends the medium there.
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done > 0 ? static_cast<int64_t>(done) : -1;
}

}  // namespace orvane
