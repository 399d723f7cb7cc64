#include <nlohmann/json.hpp>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli_common.h"
#include "device/device_list.h"
#include "device/format_text.h"
#include "device/partitions.h"
#include "device/source_device.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane::cli {

// task-info: the head of a task file and its page count.
static int TaskInfo(const std::string& path, bool json) {
  TerminalSink sink;
  ScopedNotifySink scoped(&sink);
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


static nlohmann::ordered_json PartitionJson(const PartitionRecord& p) {
  return {{"name", p.name},   {"kind", p.kind},   {"file_system", FileSystemName(p.kind)},
          {"tree_text", FileSystemText(p.kind)}, {"unit", p.unit},
          {"start", p.start}, {"length", p.length}};
}

static nlohmann::ordered_json DeviceJson(const DeviceInfo& d) {
  nlohmann::ordered_json parts = nlohmann::ordered_json::array();
  for (const auto& p : d.partitions) parts.push_back(PartitionJson(p));
  return {{"number", d.number},
          {"kind", d.kind},
          {"name", d.name},
          {"serial", d.serial},
          {"path", d.OpenPath()},
          {"sector_size", d.sector_size},
          {"size", d.size},
          {"size_text", FormatSize(d.size)},
          {"partitions", parts}};
}

// The device as the device tree labels it, with where its bytes are.
static void PrintDevice(const DeviceInfo& d) {
  std::printf("[#%d] %s [%s] [%s]\n", d.number, d.name.c_str(), d.serial.c_str(),
              FormatSize(d.size).c_str());
  std::printf("    %s, %s, %lld bytes\n", d.OpenPath().c_str(),
              d.kind == kDeviceKindPhysical ? "drive" : "image", static_cast<long long>(d.size));
}

static void PrintPartitions(const DeviceInfo& d) {
  if (d.partitions.empty()) {
    std::printf("    no partition with a known file system\n");
    return;
  }
  std::printf("    %-14s %4s  %-11s %6s %16s %16s\n", "NAME", "KIND", "FILE SYSTEM", "UNIT",
              "START", "LENGTH");
  for (const auto& p : d.partitions) {
    std::printf("    %-14s %4d  %-11s %6d %16lld %16lld  [%s] [%s]\n", p.name.c_str(), p.kind,
                std::string(FileSystemName(p.kind)).c_str(), p.unit,
                static_cast<long long>(p.start), static_cast<long long>(p.length),
                FormatSize(p.start).c_str(), FormatSize(p.length).c_str());
  }
}

static constexpr const char* kNoRights =
    "no drive could be opened: permission denied (run as root or as a member of group disk)";

static int Devices(bool json) {
  TerminalSink sink;
  ScopedNotifySink scoped(&sink);
  DeviceList list;
  const EnumerationReport report = EnumerateDevices(list);
  if (list.empty() && report.denied > 0) {
    PrintMessage("错误", kNoRights);
    return kExitFailed;
  }
  if (report.denied > 0) {
    PrintMessage("警告", std::to_string(report.denied) +
                             " drive(s) left out: permission denied (run as root or as a "
                             "member of group disk)");
  }
  if (json) {
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (const auto& d : list) all.push_back(DeviceJson(d));
    std::printf("%s\n", all.dump(2).c_str());
    return kExitOk;
  }
  if (list.empty()) std::printf("no drives found\n");
  for (const auto& d : list) {
    PrintDevice(d);
    PrintPartitions(d);
  }
  return kExitOk;
}

static int Partitions(const std::string& device_text, bool json) {
  DeviceInfo d;
  int read_errors = 0;
  if (!ResolveDevice(device_text, d, &read_errors)) return kExitFailed;
  if (json) {
    std::printf("%s\n", DeviceJson(d).dump(2).c_str());
  } else {
    PrintDevice(d);
    PrintPartitions(d);
  }
  // What could be read is shown; a list with unread sectors behind it is no
  // answer a script may trust.
  return read_errors > 0 ? kExitFailed : kExitOk;
}

// Sixteen bytes a line: offset, hex bytes in two groups of eight, printable
// characters.
static void PrintHexLine(int64_t offset, const uint8_t* bytes, size_t n) {
  char line[128];
  int at = std::snprintf(line, sizeof line, "%016" PRIx64 " ", static_cast<uint64_t>(offset));
  for (size_t i = 0; i < 16; ++i) {
    if (i == 8) line[at++] = ' ';
    if (i < n) {
      at += std::snprintf(line + at, sizeof line - at, " %02x", bytes[i]);
    } else {
      at += std::snprintf(line + at, sizeof line - at, "   ");
    }
  }
  at += std::snprintf(line + at, sizeof line - at, "  |");
  for (size_t i = 0; i < n; ++i)
    line[at++] = (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
  line[at++] = '|';
  line[at] = 0;
  std::puts(line);
}

static int HexDump(const std::string& device_text, int64_t offset, int64_t length, bool json) {
  if (offset < 0 || length <= 0) {
    PrintMessage("错误", "--offset must be 0 or more and --length above 0");
    return kExitUsage;
  }
  DeviceInfo d;
  if (!ResolveDevice(device_text, d)) return kExitFailed;
  SourceDevice source;
  source.Open(d);
  if (!source.ok()) {
    PrintMessage("错误", kMsgOpenSourceFailed);
    return kExitFailed;
  }
  const int64_t size = d.size > 0 ? d.size : source.Size();
  if (size > 0) {
    if (offset >= size) {
      PrintMessage("错误", "offset " + std::to_string(offset) + " lies beyond the device (" +
                               std::to_string(size) + " bytes)");
      return kExitFailed;
    }
    length = std::min(length, size - offset);
  }
  constexpr int64_t kChunk = 64 * 1024;
  std::vector<uint8_t> buf(kChunk);
  // The JSON form streams its hex text, so that any length fits in memory.
  if (json)
    std::printf("{\"offset\":%lld,\"length\":%lld,\"hex\":\"", static_cast<long long>(offset),
                static_cast<long long>(length));
  for (int64_t done = 0; done < length;) {
    const int64_t n = std::min(kChunk, length - done);
    std::fill(buf.begin(), buf.end(), 0);
    source.Read(offset + done, buf.data(), static_cast<int32_t>(n));
    if (!source.ok()) {
      // The lines in front of the bad spot were read: show them, then fail.
      const int64_t shown = source.read_length() / 16 * 16;
      if (json) {
        std::printf("\",\"failed_offset\":%lld}\n",
                    static_cast<long long>(offset + done + source.read_length()));
      } else {
        for (int64_t i = 0; i < shown; i += 16)
          PrintHexLine(offset + done + i, buf.data() + i, 16);
      }
      std::fflush(stdout);
      PrintMessage("错误", kMsgReadFailed);
      PrintMessage("错误", "at offset " + std::to_string(offset + done + source.read_length()));
      return kExitFailed;
    }
    if (json) {
      static constexpr char kDigits[] = "0123456789abcdef";
      std::string hex(static_cast<size_t>(n) * 2, '0');
      for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        hex[2 * i] = kDigits[buf[i] >> 4];
        hex[2 * i + 1] = kDigits[buf[i] & 15];
      }
      std::fwrite(hex.data(), 1, hex.size(), stdout);
    } else {
      for (int64_t i = 0; i < n; i += 16)
        PrintHexLine(offset + done + i, buf.data() + i,
                     static_cast<size_t>(std::min<int64_t>(16, n - i)));
    }
    done += n;
  }
  if (json) std::printf("\"}\n");
  return kExitOk;
}

void RegisterDeviceCommands(CLI::App& app, int& status) {
  {
    auto* cmd = app.add_subcommand("devices", "List the drives of this machine with their partitions");
    auto json = std::make_shared<bool>(false);
    cmd->add_flag("--json", *json, "print one JSON array");
    cmd->callback([&status, json] { status = Devices(*json); });
  }
  {
    auto* cmd = app.add_subcommand("partitions", "List the partitions found on a device");
    struct Options {
      std::string device;
      bool json = false;
    };
    auto opts = std::make_shared<Options>();
    cmd->add_option("DEVICE", opts->device, "image path, /dev path or drive:N")->required();
    cmd->add_flag("--json", opts->json, "print one JSON object");
    cmd->callback([&status, opts] { status = Partitions(opts->device, opts->json); });
  }
  {
    auto* cmd = app.add_subcommand("hexdump", "Show the raw bytes of a device");
    struct Options {
      std::string device;
      int64_t offset = 0;
      int64_t length = 512;
      bool json = false;
    };
    auto opts = std::make_shared<Options>();
    cmd->add_option("DEVICE", opts->device, "image path, /dev path or drive:N")->required();
    cmd->add_option("--offset", opts->offset, "first byte (default 0)");
    cmd->add_option("--length", opts->length, "number of bytes (default 512)");
    cmd->add_flag("--json", opts->json, "print one JSON object with the bytes as hex text");
    cmd->callback([&status, opts] {
      status = HexDump(opts->device, opts->offset, opts->length, opts->json);
    });
  }

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
