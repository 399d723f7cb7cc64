#pragma once
// What the device enumeration asks the system: the block devices the kernel
// lists, their attributes, udev's data, the mount table and the disk's own
// answers to SCSI inquiries. The real one reads /sys, /run/udev, /proc and
// /dev; tests point it at fake trees in a temporary folder and replace the
// calls that would talk to hardware.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

class DeviceQuery {
 public:
  virtual ~DeviceQuery() = default;
  // Entry names of a folder below /sys/block ("" for /sys/block itself),
  // unsorted; empty when it does not exist.
  virtual std::vector<std::string> ListBlock(const std::string& relative) = 0;
  // Contents of a file below /sys/block, or nothing when it cannot be read.
  virtual std::optional<std::string> ReadBlock(const std::string& relative) = 0;
  // udev's record of the block device MAJ:MIN, or nothing.
  virtual std::optional<std::string> ReadUdevData(const std::string& major_minor) = 0;
  // The mount table of this process (mountinfo format).
  virtual std::string ReadMountInfo() = 0;
  // The device node of a /sys/block entry.
  virtual std::string DevNode(const std::string& block_name) = 0;
  // Why the node cannot be opened for reading: 0 when it can, else errno.
  virtual int OpenError(const std::string& node) = 0;
  // The answer of an SG_IO INQUIRY (with `vital` a vital product data page),
  // empty when the device gives none.
  virtual std::vector<uint8_t> Inquiry(const std::string& node, bool vital, uint8_t page) = 0;
};

class LinuxDeviceQuery : public DeviceQuery {
 public:
  struct Roots {
    std::string sys_block = "/sys/block";
    std::string udev_data = "/run/udev/data";
    std::string mountinfo = "/proc/self/mountinfo";
    std::string dev = "/dev";
  };
  LinuxDeviceQuery() = default;
  explicit LinuxDeviceQuery(Roots roots) : roots_(std::move(roots)) {}

  std::vector<std::string> ListBlock(const std::string& relative) override;
  std::optional<std::string> ReadBlock(const std::string& relative) override;
  std::optional<std::string> ReadUdevData(const std::string& major_minor) override;
  std::string ReadMountInfo() override;
  std::string DevNode(const std::string& block_name) override;
  int OpenError(const std::string& node) override;
  std::vector<uint8_t> Inquiry(const std::string& node, bool vital, uint8_t page) override;

  const Roots& roots() const { return roots_; }

 private:
  Roots roots_;
};

}  // namespace orvane
