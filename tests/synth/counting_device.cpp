#include "synth/counting_device.h"

#include <fstream>
#include <iterator>

#include "device/notify.h"
#include "device/source_device.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/test_support.h"

namespace orvane::synth {

namespace {
class CountingBackend final : public ReadBackend {
 public:
  CountingBackend(std::unique_ptr<ReadBackend> inner, std::shared_ptr<CountedReads> reads)
      : inner_(std::move(inner)), reads_(std::move(reads)) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    {
      std::lock_guard lock(reads_->mu);
      const ByteRange asked = ByteRange::FromLength(offset, static_cast<int64_t>(length));
      if (!asked.intersect(reads_->failing).empty()) return -1;
    }
    const int64_t n = inner_->ReadAt(offset, buffer, length);
    if (n > 0) reads_->bytes += n;
    return n;
  }
  int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::shared_ptr<CountedReads> reads_;
};
}  // namespace

DeviceInfo CountingImageDevice(const std::string& path, std::shared_ptr<CountedReads> reads) {
  DeviceInfo d = ImageDevice(path);
  d.backend =
      std::make_shared<const BackendFactory>([path, reads]() -> std::unique_ptr<ReadBackend> {
        auto inner = FileBackend::Open(path);
        if (!inner) return nullptr;
        return std::make_unique<CountingBackend>(std::move(inner), reads);
      });
  return d;
}

CountedParse ParseCounted(const std::string& image, int32_t brand, int32_t version,
                          int64_t given_smart, const std::string& task_path,
                          const ByteRange& failing, bool survey, int64_t region_start) {
  auto reads = std::make_shared<CountedReads>();
  reads->SetFailing(failing);
  const DeviceInfo dev = CountingImageDevice(image, reads);
  ScanParameters p;
  p.source = &dev;
  p.brand = brand;
  p.mode = ScanModeDeep;
  p.version = version;
  p.region_start = region_start;
  p.region_end = dev.size;
  p.user_smart_value = given_smart;
  p.task_path = task_path;
  p.survey_ahead = survey;
  CapturingSink sink;
  ScopedNotifySink scope(&sink);
  p.smart_value = ResolveSmartValue(p);
  reads->SetFailing({});
  RunParse(p);
  CountedParse out;
  std::ifstream in(task_path, std::ios::binary);
  out.task.assign(std::istreambuf_iterator<char>(in), {});
  out.read = reads->bytes.load();
  out.smart = p.smart_value;
  out.shared = p.detection_clear != nullptr;
  return out;
}

}  // namespace orvane::synth
