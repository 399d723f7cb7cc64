#pragma once
// Recordings as a recorder's main stream fills them, for the benchmarks of
// the preview and the MP4 export: 25 frames a second of 4..64 KiB (a unit of
// the committed stream, lengthened), a key frame a second, in Hikvision
// program-stream packs, Dahua frames or a Jovision recording file.

#include <cstdint>
#include <random>
#include <vector>

#include "engines/dahua/dahua_variant.h"
#include "scan/recording_entry.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "synth/dahua_disk.h"
#include "synth/h264_stream.h"
#include "synth/hikvision_disk.h"
#include "synth/jovision_disk.h"
#include "synth/sparse_image.h"

namespace orvane::bench {

struct MediaSet {
  const char* label;
  int32_t brand;
  uint8_t time_kind;
  std::vector<RecordingEntry> recordings;
  int64_t bytes = 0;
};

inline std::vector<MediaSet> MediaSets() {
  return {{"hikvision", BrandHikvision, TimeUnixUtc, {}, 0},
          {"dahua", BrandDahua, TimePacked, {}, 0},
          {"jovision", BrandJovision, TimeUnixCalendar, {}, 0}};
}

inline constexpr int kMediaFps = 25;

// The k-th frame's unit: one of `units` in turn, lengthened with bytes that
// hold no zero (and so no start code) to 4..64 KiB.
inline synth::Bytes MediaFrameUnit(int k, std::mt19937_64& rng,
                                   const std::vector<synth::Bytes>& units) {
  synth::Bytes unit = units[static_cast<size_t>(k) % units.size()];
  const size_t want = 4096 + rng() % (60 * 1024);
  while (unit.size() < want) {
    const uint64_t word = rng() | 0x0101010101010101ULL;
    for (int b = 0; b < 8; ++b) unit.push_back(static_cast<uint8_t>(word >> (8 * b)));
  }
  return unit;
}

// Recordings of about `each` bytes, as many as fit in `total` bytes from
// `at` on, written one after the other into `img` and listed in `set`; their
// frames made of `units` (the committed stream's by default). Returns the
// offset behind the last.
inline int64_t PlantMediaRecordings(synth::SparseImage& img, int64_t at, int64_t total,
                                    int64_t each, MediaSet& set,
                                    const std::vector<synth::Bytes>& units = synth::TestFrames()) {
  std::mt19937_64 rng(static_cast<uint64_t>(set.brand));
  int64_t start = synth::UnixTime(2024, 6, 1, 10, 0, 0);
  const int64_t end_all = at + total;
  const uint32_t magic = set.brand == BrandDahua ? DahuaVariantFor(BrandDahua).magic : 0;
  while (at + each <= end_all) {
    synth::Bytes run;
    int k = 0;
    for (;; ++k) {
      const synth::Bytes unit = MediaFrameUnit(k, rng, units);
      if (static_cast<int64_t>(run.size() + unit.size()) + 256 > each) break;
      const uint32_t packed = synth::PackedTimeFromUnix(start + k / kMediaFps);
      synth::Bytes frame;
      if (set.brand == BrandHikvision)
        frame =
            synth::MakeHikvisionPack(packed, unit, static_cast<uint64_t>(k) * 90000 / kMediaFps);
      else if (set.brand == BrandDahua)
        frame = synth::DahuaVideoFrame(magic, 1, packed, static_cast<uint32_t>(k), unit,
                                       synth::IsKeyFrame(unit));
      else
        frame = unit;
      run.insert(run.end(), frame.begin(), frame.end());
    }
    if (set.brand == BrandJovision) run = synth::JvsFile(1, run);
    img.Write(at, run);
    RecordingEntry e;
    e.channel = 1 + static_cast<int64_t>(set.recordings.size()) % 16;
    const int64_t last = start + (k - 1) / kMediaFps;
    const bool unix_time = set.time_kind == TimeUnixUtc || set.time_kind == TimeUnixCalendar;
    e.start_time = unix_time ? static_cast<uint32_t>(start) : synth::PackedTimeFromUnix(start);
    e.end_time = unix_time ? static_cast<uint32_t>(last) : synth::PackedTimeFromUnix(last);
    e.size = static_cast<int64_t>(run.size());
    e.fragments.push_back({at, static_cast<uint32_t>(run.size())});
    set.recordings.push_back(e);
    set.bytes += e.size;
    at += static_cast<int64_t>(run.size());
    start = last + 60;
  }
  return at;
}

}  // namespace orvane::bench
