#pragma once
// SHA-256 and MD5 through libcrypto, fed with the bytes as they pass, so
// that nothing is read twice to be hashed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvane {

enum class DigestKind { Sha256, Md5 };

// One running digest. Finish() gives lowercase hex once; after that the
// digest is spent and Update() is ignored.
class Digest {
 public:
  explicit Digest(DigestKind kind);
  ~Digest();
  Digest(Digest&&) noexcept;
  Digest& operator=(Digest&&) noexcept;
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  void Update(const void* data, size_t n);
  std::string Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The digest of a whole file, read in blocks; empty when it cannot be read.
std::string DigestOfFile(const std::string& path, DigestKind kind);
// Several digests of a whole file from one read of it, in the order of the
// kinds; all empty when it cannot be read.
std::vector<std::string> DigestsOfFile(const std::string& path,
                                       const std::vector<DigestKind>& kinds);

// A line as `sha256sum -c` and `md5sum -c` read it: hex, two blanks, name.
std::string ChecksumLine(const std::string& hex, const std::string& name);

class ParallelDigests;

// A file opened for writing whose every byte also goes through a SHA-256.
class HashingFile {
 public:
  HashingFile();
  ~HashingFile();
  HashingFile(const HashingFile&) = delete;
  HashingFile& operator=(const HashingFile&) = delete;

  // Creates or truncates `path`; false when it cannot be made.
  bool Create(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  // Writes all n bytes; false when the file does not take them.
  bool Write(const uint8_t* data, size_t n);
  // Closes the file; false when the system reports the close failed.
  bool Close();
  // The hex SHA-256 of what was written; after Close().
  std::string Sha256();

 private:
  int fd_ = -1;
  // Hashed on a thread of its own beside the writes (parallel_digests.h).
  std::unique_ptr<ParallelDigests> sha256_;
};

}  // namespace orvane
