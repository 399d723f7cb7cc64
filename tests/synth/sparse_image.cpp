#include "synth/sparse_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <stdexcept>

namespace orvane::synth {

SparseImage::SparseImage(const std::string& path, int64_t size) : path_(path), size_(size) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) throw std::runtime_error("cannot create " + path);
  if (::ftruncate(fd_, size) != 0) throw std::runtime_error("cannot size " + path);
}

SparseImage::~SparseImage() { ::close(fd_); }

void SparseImage::Write(int64_t offset, const void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd_, p + done, length - done, offset + static_cast<int64_t>(done));
    if (n <= 0) throw std::runtime_error("cannot write " + path_);
    done += static_cast<size_t>(n);
  }
}

void SparseImage::Wipe(int64_t offset, int64_t length) {
  if (::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, length) == 0) return;
  std::vector<uint8_t> zeros(1 << 20, 0);
  for (int64_t at = offset; at < offset + length;) {
    const auto n = static_cast<size_t>(std::min<int64_t>(zeros.size(), offset + length - at));
    Write(at, zeros.data(), n);
    at += static_cast<int64_t>(n);
  }
}

void SparseImage::FillNoise(int64_t offset, int64_t length, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> chunk(1 << 20);
  for (int64_t at = offset; at < offset + length;) {
    for (size_t i = 0; i < chunk.size(); i += 4) {
      const uint32_t v = rng();
      for (int k = 0; k < 4; ++k) chunk[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    const auto n = static_cast<size_t>(std::min<int64_t>(chunk.size(), offset + length - at));
    Write(at, chunk.data(), n);
    at += static_cast<int64_t>(n);
  }
}

}  // namespace orvane::synth
