#pragma once
// Disks and samples for brand identification: the first-sector signatures
// of every brand (with the traps that a careless order falls into), and the
// frame signatures that a 1 MiB sample of recorded data shows.

#include <cstdint>

#include "synth/h264_stream.h"
#include "synth/sparse_image.h"

namespace orvane::synth {

// The sector at byte 512 of a Hikvision disk, its checks passing.
Bytes HikvisionHeaderSector();
// A Dahua-family area header that passes the check (the sector at 0x4400).
Bytes DahuaAreaHeaderSector();
// A WFS superblock (the sector at 0x3000).
Bytes WfsSuperblockSector();

// Writes what the start of a disk of `brand` (1..8) shows.
void WriteDiskSignature(SparseImage& image, int32_t brand);
// "HUAYI1.1" at 0 on a disk that also carries a valid Hikvision header.
void WriteHuayiOverHikvision(SparseImage& image);
// "ZHILING1" at 0 without a valid area header at 0x4400.
void WriteZhilingWithoutAreaHeader(SparseImage& image);

// The bytes of one frame (or pack) whose signature identifies `brand` in a
// stream sample. Zhiling has no signature of its own: it gives Meidian
// Bell's.
Bytes StreamSignature(int32_t brand);

}  // namespace orvane::synth
