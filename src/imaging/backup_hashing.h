#pragma once
// The digests of a mirror backup, fed block by block as the copy passes.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/mirror_backup.h"
#include "recordings/parallel_digests.h"

namespace orvane {

class BackupHasher {
 public:
  // An image file written at a target offset starts with that many zero
  // bytes the copy never wrote; they are part of the file and of its hash.
  BackupHasher(bool image_file, int64_t target_offset);

  // A block read from the source and written unchanged to the target.
  void Copied(const uint8_t* data, size_t n);
  BackupHashes Finish();

 private:
  bool image_file_;
  // SHA-256 and MD5 of the source range; of the image file only when its
  // bytes differ from the range's.
  ParallelDigests source_{{DigestKind::Sha256, DigestKind::Md5}};
  std::unique_ptr<ParallelDigests> image_;
};

}  // namespace orvane
