#pragma once
// The formats a recording is exported in. The recorder's own stream is
// written by the core; the MP4 remux needs the media libraries, which cost
// every program that links them a good tenth of a second at start, and is
// lent to the core by the programs that have them (RegisterMediaFormats).

#include <cstdint>
#include <string>
#include <string_view>

#include "recordings/export.h"

namespace orvane {

inline constexpr std::string_view kMsgMp4Fallback = "无法转换为MP4,已按原始格式导出:";
inline constexpr std::string_view kReasonNoMediaLibraries = "本程序不含视频库";

using Mp4Exporter = ExportedFile (*)(const std::string& base_folder, const RecordingEntry& entry,
                                     ScanParameters& p, SourceDevice& device, int64_t index);

// Set once at start by a program that links the media libraries.
void SetMp4Exporter(Mp4Exporter exporter);
bool Mp4ExportAvailable();

// Writes one recording in `format` (the one function every export goes
// through). An MP4 that cannot be made falls back to the raw file, with a
// log line saying why.
// With `digest_later` the file may come back while its digest is still
// being taken (sha256_later); the caller then calls TakeDigest().
ExportedFile ExportRecordingAs(ExportFormat format, const std::string& base_folder,
                               const RecordingEntry& entry, ScanParameters& p, SourceDevice& device,
                               int64_t index, bool digest_later = false);

}  // namespace orvane
