#include "imaging/backup_hashing.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace orvane {

BackupHasher::BackupHasher(bool image_file, int64_t target_offset) : image_file_(image_file) {
  if (!image_file || target_offset <= 0) return;
  image_ = std::make_unique<ParallelDigests>(std::vector{DigestKind::Sha256, DigestKind::Md5});
  const std::vector<uint8_t> zeros(1 << 20, 0);
  for (int64_t left = target_offset; left > 0;) {
    const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size())));
    image_->Update(zeros.data(), n);
    left -= static_cast<int64_t>(n);
  }
}

void BackupHasher::Copied(const uint8_t* data, size_t n) {
  source_.Update(data, n);
  if (image_) image_->Update(data, n);
}

BackupHashes BackupHasher::Finish() {
  BackupHashes h;
  const std::vector<std::string> source = source_.Finish();
  h.source_sha256 = source[0];
  h.source_md5 = source[1];
  if (image_) {
    const std::vector<std::string> image = image_->Finish();
    h.image_sha256 = image[0];
    h.image_md5 = image[1];
  } else if (image_file_) {
    h.image_sha256 = h.source_sha256;
    h.image_md5 = h.source_md5;
  }
  return h;
}
bool WriteImageChecksums(const std::string& image_path, const BackupHashes& hashes) {
  const size_t slash = image_path.find_last_of('/');
  const std::string name = slash == std::string::npos ? image_path : image_path.substr(slash + 1);
  auto write = [&](const std::string& extension, const std::string& hex) {
    if (hex.empty()) return false;
    std::FILE* f = std::fopen((image_path + extension).c_str(), "wb");
    if (!f) return false;
    const std::string line = ChecksumLine(hex, name);
    const bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    return std::fclose(f) == 0 && ok;
  };
  const bool sha = write(".sha256", hashes.image_sha256);
  const bool md5 = write(".md5", hashes.image_md5);
  return sha && md5;
}

}  // namespace orvane
