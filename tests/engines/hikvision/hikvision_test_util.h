#pragma once
// Running the Hikvision engine on built disks.

#include <mutex>
#include <string>
#include <vector>

#include "device/byte_range.h"
#include "device/source_device.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

namespace orvane::test {

// A parse of one built image into a task file, loaded back.
struct HikRun {
  DeviceInfo device;
  ScanParameters p;

  HikRun(const DeviceInfo& dev, const std::string& task, int32_t mode) : device(dev) {
    p.source = &device;
    p.brand = BrandHikvision;
    p.mode = mode;
    p.task_path = task;
    p.region_start = 0;
    p.region_end = device.size;
  }
  void Parse() { RunParse(p); }
  void Load(int32_t page = 0) { LoadTaskPage(p, page); }
};

// Remembers every read asked of the image.
class ReadLog {
 public:
  void Add(int64_t offset, size_t length) {
    std::lock_guard lock(mu_);
    reads_.push_back({offset, static_cast<int64_t>(length)});
  }
  std::vector<std::pair<int64_t, int64_t>> reads() const {
    std::lock_guard lock(mu_);
    return reads_;
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::pair<int64_t, int64_t>> reads_;
};

inline DeviceInfo LoggedImageDevice(const std::string& path, std::shared_ptr<ReadLog> log) {
  class Logged final : public ReadBackend {
   public:
    Logged(std::unique_ptr<ReadBackend> inner, std::shared_ptr<ReadLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}
    int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
      log_->Add(offset, length);
      return inner_->ReadAt(offset, buffer, length);
    }
    int64_t Size() override { return inner_->Size(); }

   private:
    std::unique_ptr<ReadBackend> inner_;
    std::shared_ptr<ReadLog> log_;
  };
  DeviceInfo d = synth::ImageDevice(path);
  d.backend = std::make_shared<const BackendFactory>([path, log]() -> std::unique_ptr<ReadBackend> {
    auto inner = FileBackend::Open(path);
    if (!inner) return nullptr;
    return std::make_unique<Logged>(std::move(inner), log);
  });
  return d;
}

// A sink that keeps every position and can ask for a stop at one of them.
class StepSink final : public NotifySink {
 public:
  explicit StepSink(std::atomic<int32_t>* stop = nullptr, int64_t stop_at = -1)
      : stop_(stop), stop_at_(stop_at) {}
  void Text(NotifyCode code, std::string_view text) override {
    std::lock_guard lock(mu_);
    lines_.push_back({code, std::string(text)});
  }
  void Found(const ScanProgress& pr) override {
    std::lock_guard lock(mu_);
    found_.push_back(pr);
  }
  void Range(int64_t steps) override {
    std::lock_guard lock(mu_);
    ranges_.push_back(steps);
  }
  void Position(int64_t step) override {
    std::lock_guard lock(mu_);
    positions_.push_back(step);
    if (stop_ && step == stop_at_) stop_->store(1);
  }
  void Totals(const ExportTotals&) override {}

  int Count(std::string_view text) const {
    std::lock_guard lock(mu_);
    int n = 0;
    for (const auto& l : lines_) n += l.text == text;
    return n;
  }
  std::vector<int64_t> positions() const {
    std::lock_guard lock(mu_);
    return positions_;
  }
  std::vector<int64_t> ranges() const {
    std::lock_guard lock(mu_);
    return ranges_;
  }
  std::vector<ScanProgress> found() const {
    std::lock_guard lock(mu_);
    return found_;
  }

 private:
  mutable std::mutex mu_;
  std::atomic<int32_t>* stop_;
  int64_t stop_at_;
  std::vector<synth::CapturingSink::Line> lines_;
  std::vector<ScanProgress> found_;
  std::vector<int64_t> ranges_;
  std::vector<int64_t> positions_;
};

}  // namespace orvane::test
