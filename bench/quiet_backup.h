#pragma once
// The mirror backup as the benchmarks run it: hooks that print nothing, and
// the job of copying one file into another.

#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/mirror_backup.h"

namespace orvane::bench {

inline BackupHooks QuietBackupHooks() {
  BackupHooks quiet;
  quiet.log = [](std::string_view, std::string_view) {};
  quiet.progress_range = [](int64_t) {};
  quiet.progress_position = [](int64_t) {};
  return quiet;
}

// A job holds atomics and cannot be returned; it is filled in place.
inline void SetFileToFile(BackupJob& job, const std::string& from, int64_t bytes,
                          const std::string& to) {
  job.source.kind = kEndpointFile;
  job.source.path = from;
  job.source.size = bytes;
  job.target.kind = kEndpointFile;
  job.target.path = to;
}

}  // namespace orvane::bench
