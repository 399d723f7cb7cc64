// orvane thumbnail: one picture of a recording as a PNG file.

#include <cmath>
#include <memory>

#include "cli_common.h"
#include "device/source_device.h"
#include "media_handover.h"
#ifdef ORVANE_CLI_MEDIA
#include "media/thumbnail.h"
#endif
#include "recordings/export.h"
#include "scan/dispatch.h"
#include "scan/task_head.h"

namespace orvane::cli {

namespace {

struct ThumbnailOptions {
  std::string task;
  std::string source;
  std::string out;
  int page = 0;
  int64_t row = -1;
  double at = 0;
};

int ThumbnailCommand(const ThumbnailOptions& o) {
#ifndef ORVANE_CLI_MEDIA
  (void)o;
  return HandOverToMediaProgram();
#else
  TerminalSink terminal;
  ScopedNotifySink scoped(&terminal);
  if (o.row < 0 || o.page < 0 || !std::isfinite(o.at) || o.at < 0) {
    PrintMessage("错误", "--row and --page take 0 or more, --at seconds of 0 or more");
    return kExitUsage;
  }
  DeviceInfo device;
  if (!ResolveDevice(o.source, device)) return kExitFailed;
  ScanParameters p;
  p.task_path = o.task;
  if (!ReadTaskHead(p, false)) return kExitFailed;
  ApplyTaskHead(p);
  LoadTaskPage(p, o.page);
  if (static_cast<size_t>(o.row) >= p.recordings.size()) {
    PrintMessage("错误", "row " + std::to_string(o.row) + " is not in the list");
    return kExitUsage;
  }
  SourceDevice dev;
  dev.Open(device, kGenericRead);
  if (!dev.is_open()) {
    PrintMessage("错误", kMsgOpenSourceFailed);
    return kExitFailed;
  }
  p.source = &device;
  Picture picture;
  if (!DecodePictureAt(p, dev, p.recordings[static_cast<size_t>(o.row)],
                       static_cast<int64_t>(o.at * 1000), picture)) {
    PrintMessage("错误", kMsgCannotDecode);
    return kExitFailed;
  }
  if (!WritePng(picture, o.out)) {
    PrintMessage("错误", kMsgCreateTargetFailed);
    return kExitFailed;
  }
  std::printf("%s\t%dx%d\n", o.out.c_str(), picture.width, picture.height);
  return kExitOk;
#endif
}

}  // namespace

void RegisterThumbnailCommands(CLI::App& app, int& status) {
  auto o = std::make_shared<ThumbnailOptions>();
  auto* cmd = app.add_subcommand("thumbnail", "Write one picture of a recording as a PNG file");
  cmd->add_option("TASK", o->task, "task file (.tak)")->required();
  cmd->add_option("--source", o->source, "the device the task was parsed from")->required();
  cmd->add_option("--row", o->row, "the recording, as the list numbers it")->required();
  cmd->add_option("--out", o->out, "the PNG file to write")->required();
  cmd->add_option("--page", o->page, "page of the task, from 0");
  cmd->add_option("--at", o->at, "seconds into the recording (default 0)");
  cmd->callback([&status, o] { status = ThumbnailCommand(*o); });
}

}  // namespace orvane::cli
