#include "synth/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "device/source_device.h"
#include "recordings/export_totals.h"

namespace orvane::synth {

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

DeviceInfo ImageDevice(const std::string& path) {
  DeviceInfo d;
  d.kind = kDeviceKindImage;
  d.name = path;
  d.number = 0;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  d.size = ec ? 0 : static_cast<int64_t>(size);
  return d;
}

namespace {
class FaultyBackend final : public ReadBackend {
 public:
  FaultyBackend(std::unique_ptr<ReadBackend> inner, std::vector<ByteRange> bad)
      : inner_(std::move(inner)), bad_(std::move(bad)) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    const ByteRange asked = ByteRange::FromLength(offset, static_cast<int64_t>(length));
    for (const auto& b : bad_)
      if (!asked.intersect(b).empty()) return -1;
    return inner_->ReadAt(offset, buffer, length);
  }
  int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::vector<ByteRange> bad_;
};
}  // namespace

DeviceInfo FaultyImageDevice(const std::string& path, std::vector<ByteRange> bad) {
  DeviceInfo d = ImageDevice(path);
  d.backend = std::make_shared<const BackendFactory>([path, bad]() -> std::unique_ptr<ReadBackend> {
    auto inner = FileBackend::Open(path);
    if (!inner) return nullptr;
    return std::make_unique<FaultyBackend>(std::move(inner), bad);
  });
  return d;
}

void CapturingSink::Text(NotifyCode code, std::string_view text) {
  std::lock_guard lock(mu_);
  lines_.push_back({code, std::string(text)});
}
void CapturingSink::Found(const ScanProgress& progress) {
  std::lock_guard lock(mu_);
  last_found_ = progress;
  ++found_posts_;
}
void CapturingSink::Range(int64_t steps) {
  std::lock_guard lock(mu_);
  range_ = steps;
}
void CapturingSink::Position(int64_t step) {
  std::lock_guard lock(mu_);
  position_ = step;
}
void CapturingSink::Totals(const ExportTotals& t) {
  std::lock_guard lock(mu_);
  totals_.push_back({t.total_size, t.total_count, t.done_size, t.done_count});
}

std::vector<CapturingSink::Line> CapturingSink::lines() const {
  std::lock_guard lock(mu_);
  return lines_;
}
std::vector<std::string> CapturingSink::texts(NotifyCode code) const {
  std::lock_guard lock(mu_);
  std::vector<std::string> out;
  for (const auto& l : lines_)
    if (l.code == code) out.push_back(l.text);
  return out;
}
bool CapturingSink::Has(std::string_view text) const { return Count(text) > 0; }
int CapturingSink::Count(std::string_view text) const {
  std::lock_guard lock(mu_);
  return static_cast<int>(
      std::count_if(lines_.begin(), lines_.end(), [&](const Line& l) { return l.text == text; }));
}
ScanProgress CapturingSink::last_found() const {
  std::lock_guard lock(mu_);
  return last_found_;
}
int64_t CapturingSink::last_range() const {
  std::lock_guard lock(mu_);
  return range_;
}
int64_t CapturingSink::last_position() const {
  std::lock_guard lock(mu_);
  return position_;
}
int CapturingSink::found_posts() const {
  std::lock_guard lock(mu_);
  return found_posts_;
}
std::vector<std::array<int64_t, 4>> CapturingSink::totals() const {
  std::lock_guard lock(mu_);
  return totals_;
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("orvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace orvane::synth
