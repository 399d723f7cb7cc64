#pragma once
// Whether writing one path can change the bytes of another: the guard of
// every write this program makes next to a source (a backup target, a task
// file). A source is evidence; a write that reaches it under another name,
// through a partition, a loop device, a device-mapper, LVM or md device
// stacked on it, or a file system that lives on it, must be refused before
// anything is opened for writing.

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace orvane {

// What stat says about a path: a block device by its number, a file by its
// inode and the device of its file system. A path that does not exist yet is
// a new file in its folder's file system.
struct MediumIdentity {
  bool known = false;  // false when neither the path nor its folder exists
  bool exists = false;
  bool block = false;
  dev_t rdev = 0;  // block devices
  dev_t dev = 0;   // file system holding the file (or, for a new file, its folder)
  ino_t ino = 0;
};

MediumIdentity IdentifyMedium(const std::string& path);

// True when writing `target` could change a byte of `source`. `sysfs` is
// the root of the kernel's device tree (tests give a fake one).
bool WriteReachesSource(const MediumIdentity& source, const MediumIdentity& target,
                        const std::string& sysfs = "/sys");

// The same for two paths: the same file or drive under any name, a
// partition of the same disk, a drive holding the file system of the other
// side, a loop device backed by the source image, a stacked device whose
// slaves (at any depth) include the source's drive.
bool TargetTouchesSource(const std::string& source_path, const std::string& target_path,
                         const std::string& sysfs = "/sys");

// The major:minor of the whole disk a block device number belongs to; the
// number itself when it is not a partition or sysfs does not know it.
uint64_t WholeDiskOf(uint64_t dev, const std::string& sysfs = "/sys");

}  // namespace orvane
