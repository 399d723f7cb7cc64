#include "device/ewf_backend.h"

#include <libewf.h>

#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

// Takes libewf's error text (if any) and frees it.
std::string TakeError(libewf_error_t*& error) {
  std::string text;
  if (error) {
    char buffer[512] = {};
    if (libewf_error_sprint(error, buffer, sizeof buffer) > 0) text = buffer;
    libewf_error_free(&error);
  }
  return text;
}

void DropError(libewf_error_t*& error) {
  if (error) libewf_error_free(&error);
}

// The segment file names of the set `path` belongs to. An image whose name
// does not follow the segment naming is taken as a set of that one file.
std::vector<std::string> SegmentNames(const std::string& path) {
  libewf_error_t* error = nullptr;
  char** names = nullptr;
  int count = 0;
  std::vector<std::string> out;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) == 1) {
    for (int i = 0; i < count; ++i) out.emplace_back(names[i]);
    libewf_glob_free(names, count, &error);
  }
  DropError(error);
  if (out.empty()) out.push_back(path);
  return out;
}

}  // namespace

struct EwfBackend::Handle {
  libewf_handle_t* ewf = nullptr;
  ~Handle() {
    if (!ewf) return;
    libewf_error_t* error = nullptr;
    libewf_handle_close(ewf, &error);
    DropError(error);
    libewf_handle_free(&ewf, &error);
    DropError(error);
  }
};

bool EwfBackend::IsEwfFile(const std::string& path) {
  if (path.empty()) return false;
  libewf_error_t* error = nullptr;
  const int result = libewf_check_file_signature(path.c_str(), &error);
  DropError(error);
  return result == 1;
}

std::unique_ptr<EwfBackend> EwfBackend::Open(const std::string& path, std::string* problem) {
  auto fail = [&](libewf_error_t*& error, const std::string& what) {
    const std::string detail = TakeError(error);
    if (problem) *problem = detail.empty() ? what : what + ": " + detail;
    return nullptr;
  };
  libewf_error_t* error = nullptr;
  auto handle = std::make_unique<Handle>();
  if (libewf_handle_initialize(&handle->ewf, &error) != 1) return fail(error, path);

  const std::vector<std::string> names = SegmentNames(path);
  std::vector<char*> pointers;
  for (const auto& n : names) pointers.push_back(const_cast<char*>(n.c_str()));
  if (libewf_handle_open(handle->ewf, pointers.data(), static_cast<int>(pointers.size()),
                         LIBEWF_OPEN_READ, &error) != 1)
    return fail(error, path);
  // A set whose last segment does not close it lacks the ones behind it.
  if (libewf_handle_segment_files_corrupted(handle->ewf, &error) == 1)
    return fail(error, "EWF segment set incomplete: the segment after " + names.back() +
                           " is missing or damaged");
  DropError(error);

  size64_t media_size = 0;
  uint32_t sector_bytes = 0;
  if (libewf_handle_get_media_size(handle->ewf, &media_size, &error) != 1 ||
      libewf_handle_get_bytes_per_sector(handle->ewf, &sector_bytes, &error) != 1)
    return fail(error, path);
  // A chunk that fails its check must not hand out its damaged bytes, should
  // any caller look at a buffer after a failed read.
  libewf_handle_set_read_zero_chunk_on_error(handle->ewf, 1, &error);
  DropError(error);

  std::unique_ptr<EwfBackend> backend(new EwfBackend(std::move(handle)));
  backend->media_size_ = static_cast<int64_t>(std::min<size64_t>(media_size, INT64_MAX));
  backend->sector_bytes_ = sector_bytes > 0 ? sector_bytes : kSectorSize;

  uint32_t acquiry = 0;
  if (libewf_handle_get_number_of_acquiry_errors(backend->handle_->ewf, &acquiry, &error) == 1) {
    for (uint32_t i = 0; i < acquiry; ++i) {
      uint64_t first = 0, count = 0;
      if (libewf_handle_get_acquiry_error(backend->handle_->ewf, i, &first, &count, &error) != 1)
        break;
      backend->acquiry_errors_.push_back(ByteRange::FromLength(
          SaturatingMul(static_cast<int64_t>(std::min<uint64_t>(first, INT64_MAX)),
                        backend->sector_bytes_),
          SaturatingMul(static_cast<int64_t>(std::min<uint64_t>(count, INT64_MAX)),
                        backend->sector_bytes_)));
    }
  }
  DropError(error);
  return backend;
}

EwfBackend::EwfBackend(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}

EwfBackend::~EwfBackend() = default;

int64_t EwfBackend::ReadChunks(int64_t offset, uint8_t* out, size_t length) {
  // libewf may hand back less than asked for without being at the end; a
  // reader that takes a short count for a bad spot must not see that.
  size_t done = 0;
  while (done < length) {
    libewf_error_t* error = nullptr;
    const ssize_t n = libewf_handle_read_random(handle_->ewf, out + done, length - done,
                                                offset + static_cast<int64_t>(done), &error);
    DropError(error);
    if (n < 0) return done > 0 ? static_cast<int64_t>(done) : -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t EwfBackend::FirstUnreadable(int64_t offset, int64_t length) {
  const ByteRange wanted = ByteRange::FromLength(offset, length);
  int64_t first = -1;
  auto consider = [&](const ByteRange& bad) {
    const ByteRange hit = wanted.intersect(bad);
    if (!hit.empty() && (first < 0 || hit.begin < first)) first = hit.begin;
  };
  for (const ByteRange& bad : acquiry_errors_) consider(bad);

  // libewf notes every chunk that failed its check while reading; the list
  // stays short (adjacent chunks merge), and is empty on a sound image.
  libewf_error_t* error = nullptr;
  uint32_t count = 0;
  if (libewf_handle_get_number_of_checksum_errors(handle_->ewf, &count, &error) == 1) {
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t start = 0, sectors = 0;
      if (libewf_handle_get_checksum_error(handle_->ewf, i, &start, &sectors, &error) != 1) break;
      consider(ByteRange::FromLength(
          SaturatingMul(static_cast<int64_t>(std::min<uint64_t>(start, INT64_MAX)), sector_bytes_),
          SaturatingMul(static_cast<int64_t>(std::min<uint64_t>(sectors, INT64_MAX)),
                        sector_bytes_)));
    }
  }
  DropError(error);
  return first;
}

int64_t EwfBackend::ReadAt(int64_t offset, void* buffer, size_t length) {
  if (offset < 0) return -1;
  if (offset >= media_size_ || length == 0) return 0;
  length =
      static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), media_size_ - offset));
  std::lock_guard lock(mu_);
  const int64_t got = ReadChunks(offset, static_cast<uint8_t*>(buffer), length);
  if (got <= 0) return got < 0 ? -1 : 0;
  // As a drive does for a sector it cannot read, the whole request fails;
  // the caller's piece-by-piece retry then keeps everything around it.
  return FirstUnreadable(offset, got) < 0 ? got : -1;
}

}  // namespace orvane
