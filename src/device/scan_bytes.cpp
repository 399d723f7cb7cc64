#include "device/scan_bytes.h"

#include <sys/mman.h>

#include <cstdint>

namespace orvane {

namespace {
constexpr size_t kLargePage = 2 << 20;
constexpr size_t kPage = 4096;

size_t PagesOf(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

// A part of a large page this long or longer goes on a large page of its
// own, as a buffer of that size does.
constexpr size_t kLargeRemainder = kScanMemoryThreshold;

// The pages for `bytes`: whole large pages where the remainder is long.
size_t LengthFor(size_t bytes) {
  const size_t remainder = bytes % kLargePage;
  if (remainder >= kLargeRemainder) return bytes - remainder + kLargePage;
  return PagesOf(bytes);
}
}  // namespace

namespace {
// `bytes` of zero on a large-page boundary, as far as the kernel has large
// pages to give; null when none could be had.
void* MapAligned(size_t bytes, int protection) {
  if (bytes == 0 || bytes > SIZE_MAX - 2 * kLargePage) return nullptr;
  const size_t length = LengthFor(bytes);
  // Room to place the buffer on a large-page boundary; the slack on both
  // sides goes back at once.
  const size_t span = length + kLargePage;
  void* raw = ::mmap(nullptr, span, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto base = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t start = (base + kLargePage - 1) / kLargePage * kLargePage;
  if (start > base) ::munmap(raw, start - base);
  const uintptr_t tail = start + length;
  if (base + span > tail) ::munmap(reinterpret_cast<void*>(tail), base + span - tail);
  // Only whole large pages are asked for: a tail of a few sectors behind
  // them would otherwise take a large page of its own.
  const size_t whole = length / kLargePage * kLargePage;
  if (whole > 0) ::madvise(reinterpret_cast<void*>(start), whole, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(start);
}
}  // namespace

void* TakeScanMemory(size_t bytes) { return MapAligned(bytes, PROT_READ | PROT_WRITE); }

const void* TakeZeroMemory(size_t bytes) { return MapAligned(bytes, PROT_READ); }

void ReleaseScanMemory(const void* p, size_t bytes) {
  if (p) ::munmap(const_cast<void*>(p), LengthFor(bytes));
}

bool ZeroBytes::Map(size_t bytes) {
  if (data_) return size_ >= bytes;
  data_ = static_cast<const uint8_t*>(TakeZeroMemory(bytes));
  size_ = data_ ? bytes : 0;
  return data_ != nullptr;
}

ZeroBytes::~ZeroBytes() { ReleaseScanMemory(data_, size_); }

}  // namespace orvane
