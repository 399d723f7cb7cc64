#pragma once
// The reads of the frame walks (the phase detector and the version-2 scan).
// A walk resumes where the last one handled its last frame, which is rarely
// on a sector; the read starts at the sector below instead, so that the
// device reads straight into the buffer.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

#include "device/source_device.h"
#include "scan/handoff.h"

namespace orvane {

// Reads `len` bytes at `at` into `buf` (grown as needed) and returns where
// the bytes at `at` begin; everything behind them reads as zero, also where
// the read failed (`ok` false) or the medium ended.
const uint8_t* ReadForWalk(SourceDevice& dev, int64_t device_size, int64_t at, size_t len,
                           std::vector<uint8_t>& buf, bool& ok);

// The windows of the version-2 scan. Over empty or noisy space a walk
// searches its whole window and ends exactly one window further; there the
// next window is read ahead, through a handle of its own on the source,
// while the scan searches this one. Where frames chain across window ends
// the next position is known only when the walk is done, and windows are
// read as they are asked for, as before.
class WalkReader {
 public:
  // `source` opens the read-ahead handle; without one (or when it cannot be
  // opened, or no thread can be had) every read is made by `dev`.
  WalkReader(SourceDevice& dev, const DeviceInfo* source, int64_t device_size);
  ~WalkReader();
  WalkReader(const WalkReader&) = delete;
  WalkReader& operator=(const WalkReader&) = delete;

  // The bytes at `at` as ReadForWalk gives them; valid until the next call.
  const uint8_t* Read(int64_t at, size_t len, bool& ok);
  // Reads the window at `at` ahead, for a Read of the same `at` and `len`.
  void ReadAhead(int64_t at, size_t len);

 private:
  enum : int { kIdle, kAsked, kDone, kQuit };
  void Run();

  SourceDevice& dev_;
  SourceDevice ahead_dev_;
  const int64_t device_size_;
  std::vector<uint8_t> held_;   // the bytes handed out
  std::vector<uint8_t> ahead_;  // the read-ahead window
  int64_t ahead_at_ = -1;
  size_t ahead_len_ = 0;
  const uint8_t* ahead_data_ = nullptr;
  bool ahead_ok_ = true;
  std::atomic<int> state_{kIdle};
  Handoff handoff_;
  bool threaded_ = false;
  std::thread thread_;
};

}  // namespace orvane
