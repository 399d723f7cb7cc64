#pragma once
// How far the kernel reads ahead, by itself, of a stream of reads from a
// medium. Where that reaches a scan window or more, the kernel keeps the
// medium busy while the scan searches, in reads as large as the device
// takes; requests of our own on top of it only cut those reads into more and
// smaller ones, and measured slower.

#include <cstdint>
#include <string>

namespace orvane {

// For an open block device or a regular file (the disk that holds it); -1
// where the kernel cannot say, as for files on a volume of several disks.
int64_t KernelReadAhead(int fd);
// For the regular files on the file system `st_dev` (as stat gives it).
int64_t FileSystemReadAhead(uint64_t st_dev);

// Tells the kernel to read nothing of `fd` beyond what is asked.
void StopKernelReadAhead(int fd);

// The read-ahead of the block device `major`:`minor` as `sys_root` (the
// sysfs mount) shows it; a partition has that of its disk. -1 when absent.
int64_t BlockDeviceReadAhead(const std::string& sys_root, unsigned major, unsigned minor);

}  // namespace orvane
