#pragma once
// Bytes that end right at an inaccessible page, so that a test of a decoder
// or a search crashes on the first byte it reads behind them, with or
// without a sanitizer.

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvane::synth {

class GuardedBytes {
 public:
  // `size` zero bytes, the last of them just before the guard page.
  explicit GuardedBytes(size_t size);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  uint8_t* data() { return data_; }
  size_t size() const { return size_; }
  std::span<const uint8_t> bytes() const { return {data_, size_}; }

 private:
  void* map_ = nullptr;
  size_t map_size_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace orvane::synth
