// Builds the bundled sample: a sparse image of a Hikvision recorder disk with
// recordings of several cameras. Some of them only a deep parse finds: a
// block's index names only its longest recording, and one block's index was
// wiped as if the recorder had been reformatted.

#include <cstdio>
#include <exception>
#include <string>

#include "synth/hikvision_disk.h"

using namespace orvane::synth;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvane-make-sample IMAGE\n");
    return 2;
  }
  try {
    HikvisionDiskOptions options;
    options.blocks = 4;
    HikvisionDisk disk(argv[1], options);
    struct Plan {
      int64_t block;
      int64_t offset;
      int channel;
      int64_t start;
      int frames;
      bool indexed;
      const char* note;
    };
    const Plan plans[] = {
        {0, 0x100000, 1, UnixTime(2024, 5, 1, 8, 0, 0), 250, true, "indexed"},
        {0, 0x4000000, 2, UnixTime(2024, 5, 1, 9, 30, 0), 100, true,
         "indexed, but not its block's longest: deep parse only"},
        {1, 0x1000000, 2, UnixTime(2024, 5, 2, 14, 0, 0), 200, true, "indexed"},
        {2, 0, 3, UnixTime(2024, 5, 3, 20, 15, 0), 150, true, "index wiped: deep parse only"},
        {3, 0x2000000, 4, UnixTime(2024, 5, 4, 6, 45, 30), 300, true, "indexed"},
    };
    std::printf("sample disk: %s (%lld bytes, sparse)\n", argv[1],
                static_cast<long long>(disk.size()));
    for (const Plan& plan : plans) {
      HikRecordingSpec spec;
      spec.channel = plan.channel;
      spec.start_unix = plan.start;
      spec.frames = plan.frames;
      const HikPlanted r = disk.AddRecording(plan.block, plan.offset, spec, plan.indexed);
      std::printf("  channel %d at byte %lld: %d frames, %lld bytes, %lld s from %lld (UTC) - %s\n",
                  r.channel, static_cast<long long>(r.offset), r.frames,
                  static_cast<long long>(r.length()),
                  static_cast<long long>(r.end_unix - r.start_unix + 1),
                  static_cast<long long>(r.start_unix), plan.note);
    }
    disk.WipeIndex(2);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane-make-sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
