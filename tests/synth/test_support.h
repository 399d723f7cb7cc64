#pragma once
// What every test of the core needs around a built disk: a device on an image
// file, the same device with simulated bad sectors, a sink that keeps what
// the workers posted, and a temporary folder that cleans up after itself.

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "device/byte_range.h"
#include "device/device_info.h"
#include "device/notify.h"
#include "scan/scan_parameters.h"

namespace orvane::synth {

// A device of kind image on a file.
DeviceInfo ImageDevice(const std::string& path);

// Every byte of a file, as the tests compare exports and copies with what
// was planted; empty when the file cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// The same image whose reads fail wherever they touch one of `bad` (a bad
// sector map). Unaligned and partial requests fail as a whole, as a drive
// does for a sector it cannot read.
DeviceInfo FaultyImageDevice(const std::string& path, std::vector<ByteRange> bad);

// Keeps every notification; thread-safe so workers may post from anywhere.
class CapturingSink final : public NotifySink {
 public:
  struct Line {
    NotifyCode code;
    std::string text;
  };
  void Text(NotifyCode code, std::string_view text) override;
  void Found(const ScanProgress& progress) override;
  void Range(int64_t steps) override;
  void Position(int64_t step) override;
  void Totals(const ExportTotals& totals) override;

  std::vector<Line> lines() const;
  std::vector<std::string> texts(NotifyCode code) const;
  bool Has(std::string_view text) const;
  int Count(std::string_view text) const;
  ScanProgress last_found() const;
  int64_t last_range() const;
  int64_t last_position() const;
  int found_posts() const;
  std::vector<std::array<int64_t, 4>> totals() const;

 private:
  mutable std::mutex mu_;
  std::vector<Line> lines_;
  ScanProgress last_found_{};
  int found_posts_ = 0;
  int64_t range_ = 0;
  int64_t position_ = 0;
  std::vector<std::array<int64_t, 4>> totals_;
};

// A fresh folder under the system's temp dir, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace orvane::synth
