#include "media_handover.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli_common.h"
#include "recordings/export_formats.h"

namespace orvane::cli {

namespace {
char** g_argv = nullptr;
}  // namespace

void RememberCommandLine(int /*argc*/, char** argv) { g_argv = argv; }

bool HasMediaLibraries() { return Mp4ExportAvailable(); }

int HandOverToMediaProgram() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::string partner = (self.parent_path() / "orvane-av").string();
  if (!ec && g_argv != nullptr) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::execv(partner.c_str(), g_argv);
  }
  PrintMessage("错误", "无法启动 " + partner + ": " + std::strerror(ec ? ec.value() : errno));
  return kExitFailed;
}

}  // namespace orvane::cli
