#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_common.h"
#include "scan/identify.h"

namespace orvane::cli {

// identify: the brand of each device by its first sectors, and with --stream
// also by samples of its recorded data.
static int Identify(const std::vector<std::string>& devices, bool stream, bool json) {
  TerminalSink sink;
  ScopedNotifySink scoped(&sink);
  int status = kExitOk;
  nlohmann::json out = nlohmann::json::array();
  for (const auto& text : devices) {
    DeviceInfo device;
    nlohmann::json row;
    row["device"] = text;
    if (!ResolveDevice(text, device)) {
      status = kExitFailed;
      row["disk_brand"] = kBrandUnreadable;
      row["disk_text"] = std::string(DiskBrandText(kBrandUnreadable));
      if (json) out.push_back(row);
      else std::printf("%s\t%s\n", text.c_str(), std::string(DiskBrandText(kBrandUnreadable)).c_str());
      continue;
    }
    const int32_t disk = IdentifyDiskBrand(device);
    if (disk == kBrandUnreadable) status = kExitFailed;
    row["disk_brand"] = disk;
    row["disk_text"] = std::string(DiskBrandText(disk));
    std::string line = text + "\t" + std::string(DiskBrandText(disk));
    if (stream) {
      const int32_t sampled = SampleStreamBrand(device);
      row["stream_brand"] = sampled;
      row["stream_text"] = std::string(StreamBrandText(sampled));
      line += "\t" + std::string(StreamBrandText(sampled));
    }
    if (json) {
      out.push_back(row);
    } else {
      std::printf("%s\n", line.c_str());
    }
  }
  if (json) std::printf("%s\n", out.dump().c_str());
  return status;
}

void RegisterIdentifyCommands(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand("identify", "Recognise the recorder brand of disks or images");
  struct Options {
    std::vector<std::string> devices;
    bool stream = false;
    bool json = false;
  };
  auto opts = std::make_shared<Options>();
  cmd->add_option("DEVICE", opts->devices, "disk image, /dev path or drive:N")->required();
  cmd->add_flag("--stream", opts->stream,
                "also sample the recorded data (four 1 MiB windows) for frame signatures");
  cmd->add_flag("--json", opts->json, "print one JSON array");
  cmd->callback([&status, opts] { status = Identify(opts->devices, opts->stream, opts->json); });
}

}  // namespace orvane::cli
