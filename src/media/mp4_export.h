#pragma once
// Writing a recording in the format the user chose: the recorder's own
// stream as it lies on the disk, or an MP4 remuxed from its video frames.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recordings/export.h"
#include "recordings/export_formats.h"

namespace orvane {

inline constexpr std::string_view kReasonNoFrames = "没有找到视频帧";
inline constexpr std::string_view kReasonUnknownCodec = "无法识别视频编码";
inline constexpr std::string_view kReasonNoKeyFrame = "没有可解码的关键帧";
inline constexpr std::string_view kReasonMuxFailed = "MP4写入失败";

// The MP4 of one recording, or the raw file when the stream cannot be
// remuxed.
ExportedFile ExportRecordingMp4(const std::string& base_folder, const RecordingEntry& entry,
                                ScanParameters& p, SourceDevice& device, int64_t index);

// Frames per second from the recorder times (ms) of a stream's first
// frames: the frames of the first whole second seen, or, when the times do
// not reach past it, all frames over the seconds they span. `complete`
// says that the times are those of the whole stream. 25 when nothing tells.
int EstimateFps(const std::vector<int64_t>& times_ms, bool complete);

}  // namespace orvane
