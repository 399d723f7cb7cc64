#include "device/device_list.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "device/image_backend.h"
#include "device/notify.h"
#include "device/partitions.h"
#include "device/source_device.h"

namespace orvane {
namespace {

bool IsPrintable(uint8_t c) { return c >= 0x20 && c < 0x7F; }
bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string Trim(std::string s) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(static_cast<uint8_t>(s[b]))) ++b;
  while (e > b && IsSpace(static_cast<uint8_t>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string RemoveSpaces(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  return s;
}

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The printable text of a run of bytes, white space trimmed; empty when it
// holds anything else.
std::string PrintableText(std::string_view text) {
  for (char c : text)
    if (!IsPrintable(static_cast<uint8_t>(c))) return {};
  return Trim(std::string(text));
}

// A sysfs attribute: the kernel has decoded it already and ends it with a
// newline. Only what a disk answers itself goes through the descriptor rule,
// which would misread a text of hexadecimal digits ("4250") as encoded bytes.
std::string AttributeText(DeviceQuery& q, const std::string& rel) {
  auto text = q.ReadBlock(rel);
  if (!text) return {};
  while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) text->pop_back();
  return PrintableText(*text);
}

std::string FirstLine(std::optional<std::string> text) {
  if (!text) return {};
  const auto nl = text->find('\n');
  return Trim(nl == std::string::npos ? *text : text->substr(0, nl));
}

bool IsCandidate(DeviceQuery& q, const std::string& name) {
  if (name.rfind("ram", 0) == 0 || name.rfind("zram", 0) == 0) return false;
  if (name.rfind("loop", 0) == 0) {
    // An unbound loop device has no backing file and reads as nothing.
    const std::string backing = FirstLine(q.ReadBlock(name + "/loop/backing_file"));
    return !backing.empty();
  }
  return true;
}

// Vendor, model and revision joined without separators. A vendor that is a
// bus id ("0x1af4" of a virtio disk) names no maker and is left out.
std::string DriveName(DeviceQuery& q, const std::string& name) {
  std::string vendor = AttributeText(q, name + "/device/vendor");
  if (vendor.rfind("0x", 0) == 0) vendor.clear();
  const std::string model = AttributeText(q, name + "/device/model");
  std::string revision = AttributeText(q, name + "/device/rev");
  if (revision.empty()) revision = AttributeText(q, name + "/device/firmware_rev");
  std::string joined = vendor + model + revision;
  if (joined.empty()) {
    // Disks outside the SCSI layer may still answer a standard inquiry.
    const std::vector<uint8_t> inquiry = q.Inquiry(q.DevNode(name), false, 0);
    if (inquiry.size() >= 36) {
      auto field = [&](size_t at, size_t n) {
        std::vector<uint8_t> t(inquiry.begin() + at, inquiry.begin() + at + n);
        return DecodeDescriptorText(t);
      };
      joined = field(8, 8) + field(16, 16) + field(32, 4);
    }
  }
  return joined;
}

std::string UdevValue(const std::string& data, const std::string& key) {
  std::istringstream lines(data);
  std::string line;
  const std::string prefix = "E:" + key + "=";
  while (std::getline(lines, line))
    if (line.rfind(prefix, 0) == 0) return Trim(line.substr(prefix.size()));
  return {};
}

std::string DriveSerial(DeviceQuery& q, const std::string& name) {
  for (const char* rel : {"/serial", "/device/serial"}) {
    std::string s = RemoveSpaces(AttributeText(q, name + rel));
    if (!s.empty()) return s;
  }
  const std::string dev = FirstLine(q.ReadBlock(name + "/dev"));
  if (!dev.empty()) {
    if (auto data = q.ReadUdevData(dev)) {
      std::string s = RemoveSpaces(UdevValue(*data, "ID_SERIAL_SHORT"));
      if (!s.empty()) return s;
    }
  }
  return SerialFromVpd80(q.Inquiry(q.DevNode(name), true, 0x80));
}

// "\040" and the other octal escapes of the mount table.
std::string UnescapeMountField(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

// MAJ:MIN → mount point. A device mounted several times is named by its
// mount of the file system's root, else by its first mount.
std::map<std::string, std::string> MountPoints(const std::string& mountinfo) {
  std::map<std::string, std::string> first, root;
  std::istringstream lines(mountinfo);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string id, parent, dev, fs_root, point;
    if (!(fields >> id >> parent >> dev >> fs_root >> point)) continue;
    point = UnescapeMountField(point);
    first.emplace(dev, point);
    if (fs_root == "/") root.emplace(dev, point);
  }
  for (auto& [dev, point] : root) first[dev] = point;
  return first;
}

}  // namespace

std::string DecodeDescriptorText(std::span<const uint8_t> text, bool swap) {
  size_t end = 0;
  while (end < text.size() && text[end] != 0) ++end;

  std::string out;
  bool hex_ok = true;
  int pending = -1;
  for (size_t i = 0; i < end && hex_ok; ++i) {
    uint8_t c = static_cast<uint8_t>(std::tolower(text[i]));
    if (IsSpace(c)) c = '0';
    const int v = HexValue(c);
    if (v < 0) {
      hex_ok = false;
      break;
    }
    if (pending < 0) {
      pending = v;
      continue;
    }
    const auto byte = static_cast<uint8_t>(pending * 16 + v);
    pending = -1;
    if (byte != 0 && !IsPrintable(byte)) hex_ok = false;
    out.push_back(static_cast<char>(byte));
  }
  if (hex_ok) {
    // The decoded bytes are a zero-terminated text; a lone last digit is no byte.
    const auto nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
  } else {
    out.clear();
    for (size_t i = 0; i < end; ++i) {
      if (!IsPrintable(text[i])) return {};
      out.push_back(static_cast<char>(text[i]));
    }
  }
  if (swap)
    for (size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  return Trim(out);
}

std::string DescriptorText(std::span<const uint8_t> descriptor, int64_t offset, bool swap) {
  if (offset <= 0 || static_cast<uint64_t>(offset) >= descriptor.size()) return {};
  return DecodeDescriptorText(descriptor.subspan(static_cast<size_t>(offset)), swap);
}

std::string SerialFromVpd80(std::span<const uint8_t> page) {
  if (page.size() < 4 || page[1] != 0x80) return {};
  const size_t length = std::min<size_t>(page[3], page.size() - 4);
  return RemoveSpaces(DecodeDescriptorText(page.subspan(4, length)));
}

std::vector<std::string> DriveCandidates(DeviceQuery& query) {
  std::vector<std::string> names;
  for (auto& n : query.ListBlock(""))
    if (!n.empty() && n[0] != '.' && IsCandidate(query, n)) names.push_back(n);
  std::sort(names.begin(), names.end());
  return names;
}

bool DescribeDrive(DeviceQuery& query, const std::string& block_name, int32_t number,
                   DeviceInfo& out, int* open_error) {
  out = DeviceInfo{};
  out.kind = kDeviceKindPhysical;
  out.number = number;
  out.path = query.DevNode(block_name);
  SourceDevice source;
  source.Open(out);
  if (!source.ok()) {
    if (open_error) *open_error = query.OpenError(out.path);
    return false;
  }
  out.name = DriveName(query, block_name);
  out.serial = DriveSerial(query, block_name);
  out.sector_size = kSectorSize;
  out.size = source.Size();
  if (out.size == 0) {
    // sysfs counts 512-byte units whatever the logical sector size.
    const std::string sectors = FirstLine(query.ReadBlock(block_name + "/size"));
    out.size = std::strtoll(sectors.c_str(), nullptr, 10) * 512;
  }
  // A drive without a medium (an empty card reader, an unconnected network
  // block device) has nothing to walk; reading it would only report bad sectors.
  if (out.size > 0) AnalysePartitions(source, out);
  if (out.name.empty()) out.name = block_name;
  return true;
}

EnumerationReport EnumerateDevices(DeviceList& list, DeviceQuery& query) {
  PostStatus(kMsgEnumerating);
  EnumerationReport report;
  DeviceList drives;
  const std::vector<std::string> names = DriveCandidates(query);
  report.candidates = static_cast<int>(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    DeviceInfo d;
    int error = 0;
    if (!DescribeDrive(query, names[i], static_cast<int32_t>(i), d, &error)) {
      if (error == EACCES || error == EPERM) ++report.denied;
      continue;
    }
    drives.push_back(std::move(d));
  }
  report.listed = static_cast<int>(drives.size());
  RemoveDevicesExceptKind(list, kDeviceKindImage);
  list.insert(list.begin(), std::make_move_iterator(drives.begin()),
              std::make_move_iterator(drives.end()));
  NameMountedPartitions(list, query);
  PostStatus(kMsgEnumerationDone);
  return report;
}

EnumerationReport EnumerateDevices(DeviceList& list) {
  LinuxDeviceQuery query;
  return EnumerateDevices(list, query);
}

void NameMountedPartitions(DeviceList& list, DeviceQuery& query) {
  const auto mounts = MountPoints(query.ReadMountInfo());
  if (mounts.empty()) return;
  const std::vector<std::string> names = DriveCandidates(query);
  for (size_t number = 0; number < names.size(); ++number) {
    auto device = std::find_if(list.begin(), list.end(), [&](const DeviceInfo& d) {
      return d.kind == kDeviceKindPhysical && d.number == static_cast<int32_t>(number);
    });
    if (device == list.end()) continue;
    const std::string& disk = names[number];
    auto label = [&](const std::string& dev, int64_t start) {
      auto m = mounts.find(dev);
      if (m == mounts.end()) return;
      for (auto& p : device->partitions)
        if (p.start == start) p.name = m->second;
    };
    // A file system on the whole disk starts at 0.
    label(FirstLine(query.ReadBlock(disk + "/dev")), 0);
    std::vector<std::string> children = query.ListBlock(disk);
    std::sort(children.begin(), children.end());
    for (const auto& child : children) {
      if (!query.ReadBlock(disk + "/" + child + "/partition")) continue;
      const std::string start = FirstLine(query.ReadBlock(disk + "/" + child + "/start"));
      const std::string dev = FirstLine(query.ReadBlock(disk + "/" + child + "/dev"));
      if (start.empty() || dev.empty()) continue;
      label(dev, std::strtoll(start.c_str(), nullptr, 10) * 512);
    }
  }
}

bool AddImage(DeviceList& list, const std::string& path, const std::string& second) {
  DeviceInfo d;
  d.name = path;
  d.kind = kDeviceKindImage;
  d.number = static_cast<int32_t>(list.size()) * 10;
  SourceDevice source;
  source.Open(d);
  if (!source.ok()) {
    PostError(kMsgOpenImageFailed);
    std::string problem;
    OpenImageBackend(path, &problem);
    if (!problem.empty()) PostError(problem);
    return false;
  }
  d.size = source.Size();
  d.sector_size = kSectorSize;
  d.serial = second;
  AnalysePartitions(source, d);
  list.push_back(std::move(d));
  return true;
}

std::string ImageSecondText(const std::string& path) {
  std::string file = std::filesystem::path(path).filename().string();
  const auto dot = file.rfind('.');
  if (dot != std::string::npos) file.resize(dot);
  return file;
}

void RemoveDevicesExceptKind(DeviceList& list, int32_t kind) {
  std::erase_if(list, [kind](const DeviceInfo& d) { return kind == 0 || d.kind != kind; });
}

}  // namespace orvane
