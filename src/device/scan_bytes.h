#pragma once
// The buffers that scans, exports and copies read the medium into. A read
// from the page cache is a copy into such a buffer, and a copy into memory
// mapped with 4 KiB pages spends a fifth of its time on address
// translation, and on a virtual machine each fault on a small page costs
// some 12 us; buffers of 64 KiB and more therefore live on 2 MiB pages
// where the kernel has them to give, and on ordinary pages otherwise.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace orvane {

// Memory for `bytes` bytes, zero, on large pages as far as possible; null
// when none could be had. Freed with ReleaseScanMemory(p, bytes).
void* TakeScanMemory(size_t bytes);
void ReleaseScanMemory(const void* p, size_t bytes);
// As TakeScanMemory, for bytes that are only ever read: mapped read-only,
// they are neither cleared nor given memory of their own, the kernel's zero
// page standing in for them. Freed with ReleaseScanMemory(p, bytes).
const void* TakeZeroMemory(size_t bytes);

// Buffers smaller than this come from the ordinary heap. Above it, one
// large-page fault and clear cost less than the faults of the small pages.
inline constexpr size_t kScanMemoryThreshold = 64 << 10;

template <class T>
struct ScanAllocator {
  using value_type = T;
  ScanAllocator() = default;
  template <class U>
  ScanAllocator(const ScanAllocator<U>&) {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (bytes < kScanMemoryThreshold) return std::allocator<T>().allocate(n);
    void* p = TakeScanMemory(bytes);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kScanMemoryThreshold) {
      std::allocator<T>().deallocate(p, n);
      return;
    }
    ReleaseScanMemory(p, bytes);
  }
  template <class U>
  bool operator==(const ScanAllocator<U>&) const {
    return true;
  }
};

using ScanBytes = std::vector<uint8_t, ScanAllocator<uint8_t>>;

// Zero bytes to hand out where nothing was read, mapped when first needed
// (see TakeZeroMemory).
class ZeroBytes {
 public:
  ZeroBytes() = default;
  ~ZeroBytes();
  ZeroBytes(const ZeroBytes&) = delete;
  ZeroBytes& operator=(const ZeroBytes&) = delete;

  // Maps `bytes` zero bytes unless already mapped; false when they could not
  // be had or fewer are mapped.
  bool Map(size_t bytes);
  const uint8_t* data() const { return data_; }
  bool empty() const { return data_ == nullptr; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace orvane
