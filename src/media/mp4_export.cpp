#include "media/mp4_export.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <future>
#include <system_error>

#include "device/notify.h"
#include "media/annexb.h"
#include "media/frame_reader.h"
#include "media/mp4_writer.h"
#include "recordings/hashing.h"
#include "scan/scan_parameters.h"

namespace orvane {

namespace {
constexpr int kMaxFps = 120;
// The look-ahead that the frame rate is estimated from stays this small.
constexpr size_t kLookaheadFrames = 1000;
constexpr size_t kLookaheadBytes = 64u << 20;

int64_t Second(int64_t ms) { return ms >= 0 ? ms / 1000 : (ms - 999) / 1000; }

std::string Mp4Path(const std::string& raw_path) {
  std::filesystem::path path(raw_path);
  path.replace_extension(".mp4");
  return path.string();
}

// The SHA-256 of the file the muxer wrote, read back: the muxer goes back to
// its start to fill in sizes, so the bytes are final only once it is done.
std::string Sha256OfWrittenFile(const std::string& path) {
  return DigestsOfFile(path, {DigestKind::Sha256})[0];
}

ExportedFile FallBack(std::string_view reason, const std::string& base_folder,
                      const RecordingEntry& entry, ScanParameters& p, SourceDevice& device,
                      int64_t index) {
  ExportedFile raw = ExportRecording(base_folder, entry, p, device, index);
  PostInfo(std::string(kMsgMp4Fallback) + std::string(reason) + " 文件:" + raw.path);
  return raw;
}
}  // namespace

int EstimateFps(const std::vector<int64_t>& times_ms, bool complete) {
  if (times_ms.empty()) return 25;
  const int64_t first = Second(times_ms.front());
  int64_t in_next = 0;
  bool past_next = false;
  for (int64_t t : times_ms) {
    const int64_t s = Second(t);
    if (s == first + 1) ++in_next;
    if (s > first + 1) past_next = true;
  }
  int64_t fps = 0;
  if (past_next && in_next > 0) {
    fps = in_next;
  } else if (complete) {
    const int64_t span = Second(times_ms.back()) - first + 1;
    fps = span > 0 ? static_cast<int64_t>(times_ms.size()) / span : 0;
  }
  if (fps <= 0) return 25;
  return static_cast<int>(std::min<int64_t>(fps, kMaxFps));
}

ExportedFile ExportRecordingMp4(const std::string& base_folder, const RecordingEntry& entry,
                                ScanParameters& p, SourceDevice& device, int64_t index) {
  FrameReader reader(p, device, entry);
  // Frames up to the first key frame cannot be decoded by themselves.
  VideoFrame frame;
  bool any = false, found_key = false;
  while (reader.Next(frame)) {
    any = true;
    if (frame.key && !ParameterSets(reader.codec(), frame.data.data(), frame.data.size()).empty()) {
      found_key = true;
      break;
    }
  }
  if (!found_key) {
    const std::string_view reason = any                       ? kReasonNoKeyFrame
                                    : reader.raw_frames() > 0 ? kReasonUnknownCodec
                                                              : kReasonNoFrames;
    return FallBack(reason, base_folder, entry, p, device, index);
  }

  std::deque<VideoFrame> ahead;
  std::vector<int64_t> times;
  size_t ahead_bytes = frame.data.size();
  ahead.push_back(std::move(frame));
  times.push_back(ahead.back().time_ms);
  bool at_end = false;
  const int64_t first_second = Second(times.front());
  while (ahead.size() < kLookaheadFrames && ahead_bytes < kLookaheadBytes) {
    VideoFrame next;
    if (!reader.Next(next)) {
      at_end = true;
      break;
    }
    times.push_back(next.time_ms);
    ahead_bytes += next.data.size();
    const bool enough = Second(next.time_ms) > first_second + 1;
    ahead.push_back(std::move(next));
    if (enough) break;
  }
  const int fps = EstimateFps(times, at_end);

  ExportedFile result;
  result.path = Mp4Path(BuildExportPath(p, entry, base_folder, index));
  Mp4Writer writer;
  bool created = false;
  if (!writer.Open(result.path, reader.codec(), ahead.front(), fps,
                   reader.has_start() ? reader.start_ms() : -1, created)) {
    if (created) {
      ::unlink(result.path.c_str());
      return FallBack(kReasonMuxFailed, base_folder, entry, p, device, index);
    }
    PostError(kMsgCreateTargetFailed);
    return result;
  }
  result.created = true;
  PostRange(entry.size / kExportChunk);
  bool ok = true, stopped = false;
  int64_t last_step = -1;
  auto write = [&](const VideoFrame& f) {
    if (!writer.Write(f)) return false;
    const int64_t step = reader.bytes().position() / kExportChunk;
    if (step != last_step) {
      PostPosition(step);
      last_step = step;
    }
    return true;
  };
  for (; !ahead.empty() && ok; ahead.pop_front()) ok = write(ahead.front());
  while (ok && !at_end) {
    if (p.stop_requested()) {
      stopped = true;
      break;
    }
    if (!reader.Next(frame)) break;
    ok = write(frame);
  }
  ok = writer.Finish() && ok;
  if (!ok) {
    ::unlink(result.path.c_str());
    return FallBack(kReasonMuxFailed, base_folder, entry, p, device, index);
  }
  std::error_code ec;
  result.written = static_cast<int64_t>(std::filesystem::file_size(result.path, ec));
  result.complete = !stopped;
  // The muxer writes the file itself; its hash is taken from what landed on
  // disk, so that the folder's checksums cover MP4 files like raw ones.
  // It is read back on a thread of its own, so that an export of many
  // recordings writes the next one meanwhile.
  try {
    const std::string path = result.path;
    result.sha256_later =
        std::async(std::launch::async, [path] { return Sha256OfWrittenFile(path); }).share();
  } catch (const std::system_error&) {
    result.sha256 = Sha256OfWrittenFile(result.path);
  }
  result.loss = reader.bytes().loss();
  if (const std::string t = UnreadableText(result); !t.empty()) PostError(t);
  if (const std::string t = PastEndText(result); !t.empty()) PostError(t);
  return result;
}

}  // namespace orvane
