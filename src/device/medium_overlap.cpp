#include "device/medium_overlap.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

namespace orvane {

namespace fs = std::filesystem;

namespace {

// A device number or a file, as something whose bytes may be shared.
using MediumKey = std::tuple<bool, dev_t, ino_t>;  // (is file, device, inode)

MediumKey DeviceKey(dev_t d) { return {false, d, 0}; }
MediumKey FileKey(dev_t d, ino_t i) { return {true, d, i}; }

// Everything a medium's bytes are made of. `direct`: devices and files whose
// bytes are the medium's own (the device, its whole disk, the slaves it is
// stacked on, a loop device's backing file). `beneath`: what holds the file
// systems of those files; a raw write there reaches the medium, but another
// file in the same file system does not.
struct Footprint {
  std::set<MediumKey> direct;
  std::set<MediumKey> beneath;
};

// Stacks are a few levels deep; the bound only guards a looping tree.
constexpr int kMaxDepth = 16;

bool ReadDevNumber(const fs::path& file, dev_t& out) {
  std::ifstream in(file);
  unsigned maj = 0, min = 0;
  char colon = 0;
  if (!(in >> maj >> colon >> min) || colon != ':') return false;
  out = makedev(maj, min);
  return true;
}

class FootprintWalk {
 public:
  FootprintWalk(const std::string& sysfs, Footprint& fp) : sysfs_(sysfs), fp_(fp) {}

  void AddBlock(dev_t d, std::set<MediumKey>& into, int depth) {
    if (depth > kMaxDepth || !into.insert(DeviceKey(d)).second) return;
    std::error_code ec;
    const fs::path node =
        fs::canonical(fs::path(sysfs_) / "dev/block" /
                          (std::to_string(major(d)) + ":" + std::to_string(minor(d))),
                      ec);
    if (ec) return;
    dev_t parent = 0;
    if (fs::exists(node / "partition", ec) && ReadDevNumber(node.parent_path() / "dev", parent))
      AddBlock(parent, into, depth + 1);
    // A device-mapper, LVM or md device: its bytes live on its slaves.
    for (const auto& slave : fs::directory_iterator(node / "slaves", ec)) {
      dev_t s = 0;
      if (ReadDevNumber(slave.path() / "dev", s)) AddBlock(s, into, depth + 1);
    }
    std::ifstream backing(node / "loop/backing_file");
    std::string file;
    if (std::getline(backing, file)) {
      // The kernel marks a backing file unlinked since with this suffix.
      const std::string deleted = " (deleted)";
      if (file.size() > deleted.size() &&
          file.compare(file.size() - deleted.size(), deleted.size(), deleted) == 0)
        file.resize(file.size() - deleted.size());
      struct stat st {};
      if (::stat(file.c_str(), &st) == 0) AddFile(st.st_dev, st.st_ino, into, depth + 1);
    }
  }

  void AddFile(dev_t dev, ino_t ino, std::set<MediumKey>& into, int depth) {
    if (depth > kMaxDepth || !into.insert(FileKey(dev, ino)).second) return;
    AddBlock(dev, fp_.beneath, depth + 1);
  }

 private:
  const std::string& sysfs_;
  Footprint& fp_;
};

Footprint FootprintOf(const MediumIdentity& m, const std::string& sysfs) {
  Footprint fp;
  FootprintWalk walk(sysfs, fp);
  if (!m.known) return fp;
  if (m.block) {
    walk.AddBlock(m.rdev, fp.direct, 0);
  } else if (m.exists) {
    walk.AddFile(m.dev, m.ino, fp.direct, 0);
  } else {
    walk.AddBlock(m.dev, fp.beneath, 0);
  }
  return fp;
}

bool Intersect(const std::set<MediumKey>& a, const std::set<MediumKey>& b) {
  for (const MediumKey& k : a)
    if (b.count(k)) return true;
  return false;
}

}  // namespace

MediumIdentity IdentifyMedium(const std::string& path) {
  MediumIdentity m;
  if (path.empty()) return m;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    m.known = true;
    m.exists = true;
    m.block = S_ISBLK(st.st_mode);
    m.rdev = st.st_rdev;
    m.dev = st.st_dev;
    m.ino = st.st_ino;
    return m;
  }
  fs::path parent = fs::path(path).parent_path();
  if (parent.empty()) parent = ".";
  if (::stat(parent.c_str(), &st) != 0) return m;
  m.known = true;
  m.dev = st.st_dev;
  return m;
}

bool WriteReachesSource(const MediumIdentity& source, const MediumIdentity& target,
                        const std::string& sysfs) {
  if (!source.known || !target.known) return false;
  const Footprint s = FootprintOf(source, sysfs);
  const Footprint t = FootprintOf(target, sysfs);
  // What the write changes directly reaches every layer of the source; a
  // file written inside a file system reaches only the source's own bytes.
  return Intersect(t.direct, s.direct) || Intersect(t.direct, s.beneath) ||
         Intersect(t.beneath, s.direct);
}

bool TargetTouchesSource(const std::string& source_path, const std::string& target_path,
                         const std::string& sysfs) {
  if (source_path.empty() || target_path.empty()) return false;
  return WriteReachesSource(IdentifyMedium(source_path), IdentifyMedium(target_path), sysfs);
}

uint64_t WholeDiskOf(uint64_t dev, const std::string& sysfs) {
  const std::string node =
      sysfs + "/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  std::error_code ec;
  if (!fs::exists(fs::path(node) / "partition", ec)) return dev;
  const fs::path real = fs::canonical(node, ec);
  if (ec) return dev;
  dev_t whole = 0;
  if (!ReadDevNumber(real.parent_path() / "dev", whole)) return dev;
  return whole;
}

}  // namespace orvane
