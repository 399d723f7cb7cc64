#include "engines/wfs/wfs_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "engines/wfs/wfs_align.h"
#include "engines/wfs/wfs_format.h"
#include "engines/wfs/wfs_read.h"
#include "scan/clear_ranges.h"
#include "scan/survey_ahead.h"
#include "scan/task_file.h"

namespace orvane {

namespace {
constexpr std::string_view kMsgLoadTaskError = "load task file error";
constexpr int64_t kProbeBuffer = 0x200200;
constexpr int64_t kProbeScanEnd = 0x1FFFFF;  // last position a buffer scan starts a frame at
constexpr int64_t kSingleProbeLimit = int64_t{6} << 30;
constexpr int64_t kProbeLength = 0x80000000;
}  // namespace

void WfsEngine::Reset() { progress_ = ScanProgress{}; }

void WfsEngine::Scan() {
  Reset();
  SourceDevice device;
  if (params_.source) device.Open(*params_.source, kGenericRead);
  if (!params_.source || !device.ok()) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  const bool known_version = params_.version == 1 || params_.version == 2;
  if (params_.mode == ScanModeFast) {
    params_.head.time_kind = TimePacked;
    PostInfo("正在快速解析WFS监控录像...");
    if (known_version) FastParse(device);
    PostInfo("快速解析WFS监控录像任务完成");
  } else if (params_.mode == ScanModeDeep) {
    params_.head.time_kind = TimePacked;
    PostInfo("正在深度解析WFS监控录像...");
    if (known_version) DeepParse(device);
    PostInfo("深度解析WFS监控录像任务完成");
  }
}

void WfsEngine::ReadTaskPage(int32_t page) {
  // Opened once to tell a missing file with this reader's own message.
  if (std::FILE* probe = std::fopen(params_.task_path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    PostError(kMsgLoadTaskError);
    return;
  }
  TaskReader task;
  if (!task.Open(params_.task_path)) return;
  Reset();
  params_.head = task.ReadHead();
  const TaskHead& head = params_.head;
  if (head.version != 1 && head.version != 2) return;
  if (head.mode == ScanModeFast) {
    // The whole body is one page.
    if (page == 0) ReadFastBody(task);
  } else if (head.mode == ScanModeDeep) {
    if (head.version == 1) {
      if (page == 0) ReadDeepBlocks(task);
    } else {
      ReadDeepExtents(task, page);
    }
  }
}

int64_t WfsEngine::DetectSmartValue() {
  SourceDevice device;
  if (params_.source) device.Open(*params_.source, kGenericRead);
  if (!params_.source || !device.ok()) {
    PostError(kMsgOpenSourceFailed);
    return -1;
  }
  wfs::AlignmentVotes votes;
  // Probes stay inside the region and the medium: past either there is
  // nothing the user asked for, and past the medium every read fails.
  int64_t end = params_.region_end;
  if (const int64_t size = device.Size(); size > 0) end = std::min(end, size);
  const int64_t span = end - params_.region_start;
  if (span <= 0) return -1;
  const int64_t tenth = span / 10;
  // Sector-aligned probe starts keep every read a plain aligned one.
  auto aligned = [](int64_t at) { return at - at % 512; };
  int64_t from = params_.region_start + tenth;
  if (span <= kSingleProbeLimit) {
    Probe(device, aligned(from), end, votes);
  } else {
    PostRange(9);
    for (int k = 0; k < 9; ++k) {
      PostPosition(k);
      if (params_.stop_requested()) break;
      Probe(device, aligned(from), std::min(SaturatingAdd(from, kProbeLength), end), votes);
      from += tenth;
    }
  }
  if (params_.detection_clear) params_.detection_clear->Settle();
  return votes.Result();
}

void WfsEngine::Probe(SourceDevice& device, int64_t from, int64_t to, wfs::AlignmentVotes& votes) {
  votes.NewRun();
  ScanBytes buf;
  try {
    buf.resize(kProbeBuffer);
  } catch (const std::bad_alloc&) {
    return;
  }
  const std::span<const uint8_t> all(buf.data(), kProbeBuffer);
  // What the probe searched in vain is kept for the deep scan until a read
  // fails: the zeros of a failed read say nothing of the medium's bytes.
  ClearRanges* clear = params_.detection_clear.get();
  // A window searched in vain leaves the three positions in front of the
  // next one unsearched (their codes would end in it); the first bytes of
  // the next one tell whether a code starts there.
  uint8_t seam[6] = {};
  int64_t seam_at = -1;
  int64_t at = from;
  // With the first three bytes of the window at `at`: the seam in front of
  // it holds no code start, and joins the stretches searched in vain.
  auto close_seam = [&](const uint8_t* head) {
    std::memcpy(seam + 3, head, 3);
    if (wfs::FindStartCode(std::span<const uint8_t>(seam, sizeof seam), 0) == sizeof seam)
      clear->Add(seam_at, at);
  };
  // A window without a code anywhere is one the walk below steps over whole.
  SurveyAhead ahead(
      SurveySource(params_),
      SurveyAhead::Plan{from, to, static_cast<int32_t>(kProbeBuffer), true, kProbeBuffer,
                        static_cast<int32_t>(kProbeBuffer), device.Size()},
      [](const uint8_t* data, size_t) {
        const std::span<const uint8_t> window(data, kProbeBuffer);
        return wfs::FindStartCode(window, 0) < window.size();
      });
  while (at < to && !params_.stop_requested()) {
    const int64_t want = std::min(to - at, kProbeBuffer);
    if (want <= 0) break;
    if (ahead.Empty(at)) {
      // As below for a window searched in vain. Its seams need only the
      // three bytes on either side of each.
      if (clear && seam_at == at - 3 && want >= 3) {
        uint8_t head[3];
        device.Read(at, head, 3);
        if (device.ok())
          close_seam(head);
        else
          clear = nullptr;
      }
      seam_at = -1;
      if (clear) clear->Add(at, at + want - 3);
      if (clear && want >= 3) {
        device.Read(at + want - 3, seam, 3);
        if (device.ok())
          seam_at = at + want - 3;
        else
          clear = nullptr;
      }
      if (!clear) ahead.Stop();
      at += kProbeBuffer;
      continue;
    }
    // A read fills or (failing) salvages all it was asked for; only what
    // lies behind a short last window keeps the bytes of the one before.
    std::memset(buf.data() + want, 0, static_cast<size_t>(kProbeBuffer - want));
    if (!wfs::ReadSalvaging(device, at, buf.data(), static_cast<int32_t>(want))) {
      clear = nullptr;
      ahead.Stop();
    }
    if (clear && seam_at == at - 3 && want >= 3) close_seam(buf.data());
    seam_at = -1;

    int64_t j = 0;
    while (j <= kProbeScanEnd) {
      const int64_t searched_from = j;
      j = static_cast<int64_t>(wfs::FindStartCode(all, static_cast<size_t>(j)));
      // Only codes whose four bytes were all read count as absent.
      if (clear) clear->Add(at + searched_from, at + std::min(j, want - 3));
      if (j > kProbeScanEnd) break;
      wfs::Frame f;
      if (!wfs::RecogniseFrame(all.subspan(static_cast<size_t>(j)), f)) {
        ++j;
        continue;
      }
      const int64_t behind = j + f.size;
      uint32_t next = 0;
      if (behind <= kProbeScanEnd) {
        next = LoadLE32(buf.data() + behind);
      } else {
        uint8_t more[20] = {};
        device.Read(at + behind, more, sizeof more);
        next = LoadLE32(more);
      }
      if (!wfs::IsStartCode(next)) {
        j += 8;
        continue;
      }
      votes.Track(static_cast<uint64_t>(at + j), f.size, f.time, f.kind);
      if (votes.decided()) break;
      j = behind;
    }
    if (j >= want && want >= 3) {
      std::memcpy(seam, buf.data() + want - 3, 3);
      seam_at = at + want - 3;
    }
    at += j;
    if (votes.decided()) {
      votes.CountDecision();
      return;
    }
  }
}

}  // namespace orvane
