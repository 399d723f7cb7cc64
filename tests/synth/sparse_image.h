#pragma once
// A sparse disk-image file: sized up front, written only where something is
// planted, so that a "2 TB" disk costs only the bytes it holds.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::synth {

class SparseImage {
 public:
  // Creates (truncating) the file and gives it `size` bytes.
  SparseImage(const std::string& path, int64_t size);
  ~SparseImage();
  SparseImage(const SparseImage&) = delete;
  SparseImage& operator=(const SparseImage&) = delete;

  void Write(int64_t offset, const void* data, size_t length);
  void Write(int64_t offset, const std::vector<uint8_t>& data) {
    Write(offset, data.data(), data.size());
  }
  // Zeros a range (punches it out where the file system can).
  void Wipe(int64_t offset, int64_t length);
  // Random bytes over a range, from a fixed seed.
  void FillNoise(int64_t offset, int64_t length, uint32_t seed);
  int64_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int64_t size_;
  int fd_;
};

}  // namespace orvane::synth
