#include "media/media_formats.h"

#include "media/mp4_export.h"
#include "recordings/export_formats.h"

namespace orvane {

void RegisterMediaFormats() { SetMp4Exporter(&ExportRecordingMp4); }

}  // namespace orvane
