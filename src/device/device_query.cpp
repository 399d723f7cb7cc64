#include "device/device_query.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvane {
namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return out.str();
}

std::string Join(const std::string& root, const std::string& relative) {
  return relative.empty() ? root : root + "/" + relative;
}

}  // namespace

std::vector<std::string> LinuxDeviceQuery::ListBlock(const std::string& relative) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(Join(roots_.sys_block, relative), ec);
  if (ec) return names;
  for (const auto& entry : it) names.push_back(entry.path().filename().string());
  return names;
}

std::optional<std::string> LinuxDeviceQuery::ReadBlock(const std::string& relative) {
  return ReadWholeFile(Join(roots_.sys_block, relative));
}

std::optional<std::string> LinuxDeviceQuery::ReadUdevData(const std::string& major_minor) {
  return ReadWholeFile(roots_.udev_data + "/b" + major_minor);
}

std::string LinuxDeviceQuery::ReadMountInfo() {
  return ReadWholeFile(roots_.mountinfo).value_or(std::string());
}

std::string LinuxDeviceQuery::DevNode(const std::string& block_name) {
  // The kernel's own node name; "!" in a sysfs name stands for a subfolder.
  std::string devname;
  if (auto uevent = ReadBlock(block_name + "/uevent")) {
    std::istringstream lines(*uevent);
    std::string line;
    while (std::getline(lines, line))
      if (line.rfind("DEVNAME=", 0) == 0) devname = line.substr(8);
  }
  if (devname.empty()) {
    devname = block_name;
    for (char& c : devname)
      if (c == '!') c = '/';
  }
  return roots_.dev + "/" + devname;
}

int LinuxDeviceQuery::OpenError(const std::string& node) {
  const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

std::vector<uint8_t> LinuxDeviceQuery::Inquiry(const std::string& node, bool vital,
                                               uint8_t page) {
  std::vector<uint8_t> answer;
  const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return answer;
  uint8_t data[252] = {};
  uint8_t sense[32] = {};
  uint8_t cdb[6] = {0x12, static_cast<uint8_t>(vital ? 1 : 0), vital ? page : uint8_t{0}, 0,
                    sizeof data, 0};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.dxfer_direction = SG_DXFER_FROM_DEV;
  io.cmd_len = sizeof cdb;
  io.cmdp = cdb;
  io.dxfer_len = sizeof data;
  io.dxferp = data;
  io.mx_sb_len = sizeof sense;
  io.sbp = sense;
  io.timeout = 5000;
  if (::ioctl(fd, SG_IO, &io) == 0 && io.status == 0 && io.host_status == 0 &&
      (io.driver_status & 0x0F) == 0) {
    const int got = static_cast<int>(sizeof data) - io.resid;
    if (got > 0 && got <= static_cast<int>(sizeof data)) answer.assign(data, data + got);
  }
  ::close(fd);
  return answer;
}

}  // namespace orvane
