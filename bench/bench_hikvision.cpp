// Hikvision engine: deep parse against a plain sequential read of the same
// page-cached image; the fast parse of a sparse 2 TB disk (what it reads and
// how long it takes); the peak memory of a deep parse as the disk grows.
//
//   bench_hikvision [folder] [size in MiB, at least 2048] [deep|fast|memory]
//
// Prints each measurement; exits 1 when the deep parse runs at less than 0.8
// of the read's speed, the fast parse reads more than the header and one
// index a block, or the memory of an 8 GiB scan exceeds that of a 1 GiB scan
// by more than 10%.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "device/source_device.h"
#include "plain_read.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

namespace {

using namespace orvane;
using bench::Clock;
using bench::PlainRead;
using bench::Seconds;
constexpr int64_t kMiB = 1 << 20;

ScanParameters& Params(ScanParameters& p, const DeviceInfo& device, const std::string& task,
                       int32_t mode) {
  p.source = &device;
  p.task_path = task;
  p.brand = BrandHikvision;
  p.mode = mode;
  p.region_start = 0;
  p.region_end = device.size;
  return p;
}

// Half recordings, half noise, in 8 MiB stretches. The recordings' packs
// are the size a recorder writes for a D1 to 1080p stream (a frame of some
// 8 KB a pack, compressed data that looks random), so that the candidate
// search wades through video as well as through noise.
void BuildDenseImage(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  synth::Bytes packs;
  std::mt19937 rng(5);
  synth::Bytes frame(8000);
  int64_t t = synth::UnixTime(2024, 1, 1, 0, 0, 0);
  for (int k = 0; packs.size() < static_cast<size_t>(4 * kMiB); ++k) {
    for (auto& b : frame) b = static_cast<uint8_t>(rng());
    const synth::Bytes pack =
        synth::MakeHikvisionPack(synth::PackedTimeFromUnix(t + k / 25), frame, 3600u * k);
    packs.insert(packs.end(), pack.begin(), pack.end());
  }
  packs.resize(4 * kMiB);
  for (int64_t at = 0; at < size; at += 8 * kMiB) {
    img.Write(at, packs.data(), static_cast<size_t>(std::min<int64_t>(4 * kMiB, size - at)));
    if (at + 4 * kMiB < size)
      img.FillNoise(at + 4 * kMiB, std::min<int64_t>(4 * kMiB, size - at - 4 * kMiB),
                    static_cast<uint32_t>(at / kMiB));
  }
}

bool DeepThroughput(const std::string& folder, int64_t size) {
  const std::string path = folder + "/hik-dense.img";
  std::printf("building a %lld MiB image ...\n", static_cast<long long>(size / kMiB));
  BuildDenseImage(path, size);
  const DeviceInfo device = synth::ImageDevice(path);
  PlainRead(device);  // into the page cache
  int64_t records = 0;
  const bench::Race race = bench::BestOf(device, 3, [&] {
    ScanParameters p;
    Params(p, device, folder + "/hik-dense.tak", ScanModeDeep);
    const auto t0 = Clock::now();
    RunParse(p);
    const double s = Seconds(t0, Clock::now());
    records = (p.head.file_length - kTaskHeadSize) / 21;
    return s;
  });
  const double read = race.read, parse = race.job;
  const double gib = static_cast<double>(size) / (1 << 30);
  const double ratio = race.ratio();
  std::printf("deep parse: %.2f GiB/s, plain read: %.2f GiB/s, ratio %.2f (%lld recordings)\n",
              gib / parse, gib / read, ratio, static_cast<long long>(records));
  std::filesystem::remove(path);
  std::filesystem::remove(folder + "/hik-dense.tak");
  const bool ok = ratio >= 0.8;
  if (!ok) std::printf("FAIL: deep parse below 0.8 of the plain read\n");
  return ok;
}

// Counts what the engine asks of the device.
struct ReadCounter {
  std::atomic<int64_t> bytes{0};
  std::atomic<int64_t> calls{0};
};

DeviceInfo CountedDevice(const std::string& path, std::shared_ptr<ReadCounter> counter) {
  class Counted final : public ReadBackend {
   public:
    Counted(std::unique_ptr<ReadBackend> inner, std::shared_ptr<ReadCounter> c)
        : inner_(std::move(inner)), c_(std::move(c)) {}
    int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
      c_->bytes += static_cast<int64_t>(length);
      c_->calls += 1;
      return inner_->ReadAt(offset, buffer, length);
    }
    int64_t Size() override { return inner_->Size(); }

   private:
    std::unique_ptr<ReadBackend> inner_;
    std::shared_ptr<ReadCounter> c_;
  };
  DeviceInfo d = synth::ImageDevice(path);
  d.backend = std::make_shared<const BackendFactory>([path, counter]() -> std::unique_ptr<ReadBackend> {
    auto inner = FileBackend::Open(path);
    if (!inner) return nullptr;
    return std::make_unique<Counted>(std::move(inner), counter);
  });
  return d;
}

bool FastParse2TB(const std::string& folder) {
  const std::string path = folder + "/hik-2tb.img";
  synth::HikvisionDiskOptions o;
  o.first_block = 0x100000;
  o.blocks = 1800;
  o.size = 2'000'000'000'000LL;
  {
    synth::HikvisionDisk disk(path, o);
    for (int b = 0; b < 1800; b += 90) {
      synth::HikRecordingSpec s;
      s.channel = b % 16;
      s.start_unix = synth::UnixTime(2024, 1, 1, 0, 0, 0) + b * 3600;
      s.frames = 25;
      disk.AddRecording(b, 0x1000, s);
    }
  }
  auto counter = std::make_shared<ReadCounter>();
  const DeviceInfo device = CountedDevice(path, counter);
  ScanParameters p;
  Params(p, device, folder + "/hik-2tb.tak", ScanModeFast);
  const auto t0 = Clock::now();
  RunParse(p);
  const double s = Seconds(t0, Clock::now());
  const int64_t records = (p.head.file_length - kTaskHeadSize) / 21;
  std::printf("fast parse of a 2 TB disk (1,800 blocks): %.2f s, %lld reads, %lld MiB read, "
              "%lld recordings\n",
              s, static_cast<long long>(counter->calls.load()),
              static_cast<long long>(counter->bytes.load() / kMiB), static_cast<long long>(records));
  std::filesystem::remove(path);
  std::filesystem::remove(folder + "/hik-2tb.tak");
  const bool ok = counter->bytes.load() == 512 + 1800 * kMiB && records == 20 && s < 60;
  if (!ok) std::printf("FAIL: the fast parse read more than one index a block, or took too long\n");
  return ok;
}

// A disk that is nothing but four-pack recordings, one every KiB, made up as
// it is read: the found list fills as fast as a disk can fill it.
class PackFieldBackend final : public ReadBackend {
 public:
  explicit PackFieldBackend(int64_t size) : size_(size) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    if (offset >= size_) return 0;
    length = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), size_ - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    std::memset(out, 0, length);
    const int64_t end = offset + static_cast<int64_t>(length);
    // Four packs of one time in every KiB; the next KiB is 20 s later.
    for (int64_t group = offset / 1024; group * 1024 < end; ++group) {
      const synth::Bytes pack =
          synth::MakeHikvisionPack(synth::PackedTimeFromUnix(base_ + group * 20), {}, 0);
      for (int64_t slot = group * 1024; slot < group * 1024 + 1024; slot += 256) {
        const int64_t from = std::max(slot, offset);
        const int64_t to = std::min(slot + static_cast<int64_t>(pack.size()), end);
        if (from < to) std::memcpy(out + (from - offset), pack.data() + (from - slot), to - from);
      }
    }
    return static_cast<int64_t>(length);
  }
  int64_t Size() override { return size_; }

 private:
  int64_t size_;
  int64_t base_ = synth::UnixTime(2012, 1, 1, 0, 0, 0);
};

// Peak resident memory (KiB) of a deep parse of a made-up disk, in a child.
long PeakMemoryOfDeepParse(const std::string& folder, int64_t size) {
  const pid_t pid = fork();
  if (pid == 0) {
    DeviceInfo device;
    device.kind = kDeviceKindImage;
    device.name = "pack field";
    device.size = size;
    device.backend = std::make_shared<const BackendFactory>(
        [size]() -> std::unique_ptr<ReadBackend> { return std::make_unique<PackFieldBackend>(size); });
    ScanParameters p;
    Params(p, device, folder + "/hik-mem-" + std::to_string(size) + ".tak", ScanModeDeep);
    RunParse(p);
    std::filesystem::remove(p.task_path);
    _exit((p.head.file_length - kTaskHeadSize) / 21 == size / 1024 ? 0 : 3);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("FAIL: the made-up disk did not give one recording per KiB\n");
    return -1;
  }
  return ru.ru_maxrss;
}

bool MemoryBound(const std::string& folder) {
  const long small = PeakMemoryOfDeepParse(folder, 1LL << 30);
  const long large = PeakMemoryOfDeepParse(folder, 8LL << 30);
  std::printf("deep parse peak memory: 1 GiB disk %ld KiB, 8 GiB disk %ld KiB "
              "(1,048,576 and 8,388,608 recordings)\n",
              small, large);
  const bool ok = small > 0 && large > 0 && large <= small * 11 / 10;
  if (!ok) std::printf("FAIL: the memory of a deep parse grows with the disk\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  const int64_t mib = argc > 2 ? std::max<int64_t>(2048, std::atoll(argv[2])) : 2048;
  ScopedNotifySink quiet(nullptr);
  // A third argument picks one measurement: deep, fast or memory.
  const std::string only = argc > 3 ? argv[3] : "";
  bool ok = true;
  if (only.empty() || only == "deep") ok = DeepThroughput(folder, mib * kMiB) && ok;
  if (only.empty() || only == "fast") ok = FastParse2TB(folder) && ok;
  if (only.empty() || only == "memory") ok = MemoryBound(folder) && ok;
  std::printf(ok ? "all within bounds\n" : "some bounds missed\n");
  return ok ? 0 : 1;
}
