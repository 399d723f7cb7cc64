#include <cstdio>
#include <memory>

#include "cli_common.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane::cli {

// task-info: the head of a task file and its page count.
static int TaskInfo(const std::string& path, bool json) {
  ScanParameters p;
  p.task_path = path;
  if (!ReadTaskHead(p, false)) return kExitFailed;
  p.brand = p.head.brand;
  p.mode = p.head.mode;
  p.version = p.head.version;
  const int32_t pages = TaskPageCount(p);
  const TaskHead& h = p.head;
  if (json) {
    std::printf(
        "{\"file_length\": %lld, \"scan_position\": %lld, \"region_end\": %lld, "
        "\"smart_value\": %lld, \"buffer\": %d, \"mode\": %d, \"brand\": %d, \"brand_name\": "
        "\"%s\", \"version\": %d, \"time_kind\": %d, \"pages\": %d}\n",
        static_cast<long long>(h.file_length), static_cast<long long>(h.scan_position),
        static_cast<long long>(h.region_end), static_cast<long long>(h.smart_value), h.buffer,
        h.mode, h.brand, BrandSlug(h.brand), h.version, h.time_kind, pages);
  } else {
    std::printf("file length:   %lld\n", static_cast<long long>(h.file_length));
    std::printf("scan position: %lld\n", static_cast<long long>(h.scan_position));
    std::printf("region end:    %lld\n", static_cast<long long>(h.region_end));
    std::printf("smart value:   %lld\n", static_cast<long long>(h.smart_value));
    std::printf("buffer:        %d\n", h.buffer);
    std::printf("mode:          %d\n", h.mode);
    std::printf("brand:         %d %s\n", h.brand, BrandSlug(h.brand));
    std::printf("version:       %d\n", h.version);
    std::printf("time kind:     %d\n", h.time_kind);
    std::printf("pages:         %d\n", pages);
  }
  return kExitOk;
}

void RegisterDeviceCommands(CLI::App& app, int& status) {
  auto* info = app.add_subcommand("task-info", "Show the head of a task file and its page count");
  struct Options {
    std::string path;
    bool json = false;
  };
  auto opts = std::make_shared<Options>();
  info->add_option("TASK", opts->path, "task file (.tak)")->required();
  info->add_flag("--json", opts->json, "print one JSON object");
  info->callback([&status, opts] { status = TaskInfo(opts->path, opts->json); });
}

}  // namespace orvane::cli
