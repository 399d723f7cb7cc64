#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "scan/parse_job.h"
#include "scan/scan_parameters.h"
#include "scan/worker_flags.h"

namespace orvane::fuzz {

namespace {

class MemoryBackend final : public ReadBackend {
 public:
  MemoryBackend(std::shared_ptr<const std::vector<uint8_t>> bytes, int64_t size, int64_t at)
      : bytes_(std::move(bytes)), size_(size), at_(at) {}

  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    if (offset < 0) return -1;
    if (offset >= size_) return 0;
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(length), size_ - offset);
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, static_cast<size_t>(n));
    // The part of [offset, offset + n) that the held bytes cover.
    const int64_t from = std::max(offset, at_);
    const int64_t to = std::min(offset + n, at_ + static_cast<int64_t>(bytes_->size()));
    if (from < to)
      std::memcpy(out + (from - offset), bytes_->data() + (from - at_),
                  static_cast<size_t>(to - from));
    return n;
  }
  int64_t Size() override { return size_; }

 private:
  std::shared_ptr<const std::vector<uint8_t>> bytes_;
  int64_t size_;
  int64_t at_;
};

void RemoveScratch() { std::remove(ScratchTaskPath().c_str()); }

}  // namespace

DeviceInfo MemoryImage(std::span<const uint8_t> bytes, int64_t size, int64_t at) {
  auto held = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
  DeviceInfo d;
  d.name = "fuzz.img";
  d.kind = kDeviceKindImage;
  d.size = size;
  d.backend = std::make_shared<const BackendFactory>(
      [held, size, at] { return std::make_unique<MemoryBackend>(held, size, at); });
  return d;
}

const std::string& ScratchTaskPath() {
  static const std::string path = [] {
    const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm")
                                          ? "/dev/shm"
                                          : std::filesystem::temp_directory_path();
    std::atexit(RemoveScratch);
    return (dir / ("orvane-fuzz-" + std::to_string(getpid()) + ".tak")).string();
  }();
  return path;
}

void WriteScratchTask(std::span<const uint8_t> bytes) {
  std::FILE* f = std::fopen(ScratchTaskPath().c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
  std::fclose(f);
}

void RunParseOver(const DeviceInfo& device, int32_t brand, int32_t mode, int32_t version,
                  ScanParameters& p, int64_t smart_value) {
  p.source = &device;
  p.task_path = ScratchTaskPath();
  p.brand = brand;
  p.mode = mode;
  p.version = version;
  p.region_start = 0;
  p.region_end = device.size;
  p.user_smart_value = smart_value;
  WorkerFlags flags;
  RunParseJob(p, flags, ParseJobHooks{});
}

Selected SelectBrand(std::span<const uint8_t> input, std::span<const int32_t> brands) {
  if (input.empty()) return {brands[0], input};
  return {brands[input[0] % brands.size()], input.subspan(1)};
}

}  // namespace orvane::fuzz
