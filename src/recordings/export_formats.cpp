#include "recordings/export_formats.h"

#include <atomic>

#include "device/notify.h"

namespace orvane {

namespace {
std::atomic<Mp4Exporter> g_mp4_exporter{nullptr};
}  // namespace

void SetMp4Exporter(Mp4Exporter exporter) { g_mp4_exporter.store(exporter); }

bool Mp4ExportAvailable() { return g_mp4_exporter.load() != nullptr; }

ExportedFile ExportRecordingAs(ExportFormat format, const std::string& base_folder,
                               const RecordingEntry& entry, ScanParameters& p, SourceDevice& device,
                               int64_t index, bool digest_later) {
  if (format == ExportFormat::Mp4) {
    if (const Mp4Exporter mp4 = g_mp4_exporter.load()) {
      ExportedFile f = mp4(base_folder, entry, p, device, index);
      if (!digest_later) f.TakeDigest();
      return f;
    }
  }
  ExportedFile raw = ExportRecording(base_folder, entry, p, device, index);
  if (format == ExportFormat::Mp4 && raw.created)
    PostInfo(std::string(kMsgMp4Fallback) + std::string(kReasonNoMediaLibraries) +
             " 文件:" + raw.path);
  return raw;
}

}  // namespace orvane
