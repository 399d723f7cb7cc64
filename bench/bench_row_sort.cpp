// Sorting a full page of the recording list by each of its columns:
// 20,000,000 one-fragment recordings of four channels, one a minute, with
// a tick on every third row.
//
// Target: each sort within 2 s; the ticks afterwards are the same rows'.
//
//   bench_row_sort [--records N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "recordings/recording_rows.h"
#include "recordings/row_sort.h"
#include "scan/recording_entry.h"

using namespace orvane;

namespace {

uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 2000) << 26) | (static_cast<uint32_t>(mo) << 22) |
         (static_cast<uint32_t>(d) << 17) | (static_cast<uint32_t>(h) << 12) |
         (static_cast<uint32_t>(mi) << 6) | static_cast<uint32_t>(s);
}

}  // namespace

int main(int argc, char** argv) {
  int64_t records = 20'000'000;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--records") == 0) records = std::atoll(argv[i + 1]);

  std::vector<RecordingEntry> entries;
  entries.reserve(static_cast<size_t>(records));
  for (int64_t i = 0; i < records; ++i) {
    RecordingEntry e;
    e.channel = 1 + i % 4;
    const int64_t minute = i / 4;
    const int day = 1 + static_cast<int>(minute / 1440 % 28);
    const int hour = static_cast<int>(minute / 60 % 24);
    const int min = static_cast<int>(minute % 60);
    e.start_time = Packed(2019, 5, day, hour, min, 0);
    e.end_time = Packed(2019, 5, day, hour, min, 50);
    e.size = 1048576 + (i * 7919) % 100000;
    e.fragments.push_back({i * 1048576, static_cast<uint32_t>(e.size)});
    entries.push_back(std::move(e));
  }
  RecordingRows rows;
  rows.Bind(&entries);
  for (size_t r = 0; r < rows.size(); r += 3) rows.SetTicked(r, true);
  const size_t ticked = rows.TickedCount();

  bool ok = true;
  const char* names[] = {"index", "channel", "size", "start", "end", "fragments"};
  for (int column = 0; column < 6; ++column) {
    for (bool descending : {false, true}) {
      const auto begin = std::chrono::steady_clock::now();
      SortRows(rows, column, descending, 1);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
      // Every entry still has its row and its tick.
      bool same = rows.size() == entries.size() && rows.TickedCount() == ticked;
      for (size_t r = 0; same && r < rows.size(); r += 9973)
        same = rows.IsTicked(r) == (rows.EntryIndex(r) % 3 == 0);
      std::printf("%-9s %-10s %lld rows in %.2f s%s\n", names[column],
                  descending ? "descending" : "ascending", static_cast<long long>(rows.size()),
                  seconds, same ? "" : "  TICKS LOST");
      if (seconds > 2.0 || !same) ok = false;
    }
  }
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
