#include "synth/guarded_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

namespace orvane::synth {

GuardedBytes::GuardedBytes(size_t size) : size_(size) {
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t body = (size + page - 1) / page * page;
  map_size_ = body + page;
  map_ = mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map_ == MAP_FAILED) throw std::runtime_error("mmap failed");
  auto* base = static_cast<uint8_t*>(map_);
  if (mprotect(base + body, page, PROT_NONE) != 0) {
    munmap(map_, map_size_);
    throw std::runtime_error("mprotect failed");
  }
  data_ = base + body - size;
}

GuardedBytes::~GuardedBytes() { munmap(map_, map_size_); }

}  // namespace orvane::synth
