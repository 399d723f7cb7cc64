#include "recordings/hashing.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "recordings/parallel_digests.h"

namespace orvane {

namespace {

#define ORVANE_TEXT(x) #x
#define ORVANE_CRYPTO_LIBRARY(major) "libcrypto.so." ORVANE_TEXT(major)

// The few calls of libcrypto a digest makes. The library is loaded when the
// first digest is made, not at every start of a program: its relocations
// alone cost a start a few milliseconds, and most runs hash nothing.
struct CryptoCalls {
  EVP_MD_CTX* (*ctx_new)();
  void (*ctx_free)(EVP_MD_CTX*);
  const EVP_MD* (*md5)();
  const EVP_MD* (*sha256)();
  int (*init)(EVP_MD_CTX*, const EVP_MD*, ENGINE*);
  int (*update)(EVP_MD_CTX*, const void*, size_t);
  int (*final)(EVP_MD_CTX*, unsigned char*, unsigned int*);
};

template <typename F>
bool Bind(void* library, const char* name, F& call) {
  call = reinterpret_cast<F>(::dlsym(library, name));
  return call != nullptr;
}

// Null when the library or one of its calls cannot be had: every digest then
// comes out empty, as one the library refused.
const CryptoCalls* Crypto() {
  static const CryptoCalls* const calls = []() -> const CryptoCalls* {
    void* library = ::dlopen(ORVANE_CRYPTO_LIBRARY(OPENSSL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    static CryptoCalls c;
    const bool bound =
        Bind(library, "EVP_MD_CTX_new", c.ctx_new) &&
        Bind(library, "EVP_MD_CTX_free", c.ctx_free) && Bind(library, "EVP_md5", c.md5) &&
        Bind(library, "EVP_sha256", c.sha256) && Bind(library, "EVP_DigestInit_ex", c.init) &&
        Bind(library, "EVP_DigestUpdate", c.update) && Bind(library, "EVP_DigestFinal_ex", c.final);
    return bound ? &c : nullptr;
  }();
  return calls;
}

}  // namespace

struct Digest::State {
  const CryptoCalls* crypto = Crypto();
  EVP_MD_CTX* ctx = nullptr;
  ~State() {
    if (ctx) crypto->ctx_free(ctx);
  }
};

Digest::Digest(DigestKind kind) : state_(std::make_unique<State>()) {
  const CryptoCalls* crypto = state_->crypto;
  if (!crypto) return;
  state_->ctx = crypto->ctx_new();
  const EVP_MD* md = kind == DigestKind::Sha256 ? crypto->sha256() : crypto->md5();
  if (state_->ctx && crypto->init(state_->ctx, md, nullptr) != 1) {
    crypto->ctx_free(state_->ctx);
    state_->ctx = nullptr;
  }
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

void Digest::Update(const void* data, size_t n) {
  if (state_ && state_->ctx && n > 0) state_->crypto->update(state_->ctx, data, n);
}

std::string Digest::Finish() {
  if (!state_ || !state_->ctx) return {};
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  const bool ok = state_->crypto->final(state_->ctx, md, &len) == 1;
  state_->crypto->ctx_free(state_->ctx);
  state_->ctx = nullptr;
  if (!ok) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(len * 2);
  for (unsigned int i = 0; i < len; ++i) {
    hex += kHex[md[i] >> 4];
    hex += kHex[md[i] & 15];
  }
  return hex;
}

namespace {

// Feeds every block of the file to `take`; false when it cannot be read.
template <typename Take>
bool ReadWholeFile(const std::string& path, Take take) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<uint8_t> buffer(1 << 20);
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    take(buffer.data(), static_cast<size_t>(got));
  }
  ::close(fd);
  return ok;
}

}  // namespace

std::string DigestOfFile(const std::string& path, DigestKind kind) {
  Digest digest(kind);
  const bool ok =
      ReadWholeFile(path, [&](const uint8_t* data, size_t n) { digest.Update(data, n); });
  return ok ? digest.Finish() : std::string();
}

std::vector<std::string> DigestsOfFile(const std::string& path,
                                       const std::vector<DigestKind>& kinds) {
  ParallelDigests digests(kinds);
  const bool ok =
      ReadWholeFile(path, [&](const uint8_t* data, size_t n) { digests.Update(data, n); });
  std::vector<std::string> hex = digests.Finish();
  if (!ok) hex.assign(kinds.size(), std::string());
  return hex;
}

std::string ChecksumLine(const std::string& hex, const std::string& name) {
  return hex + "  " + name + "\n";
}

HashingFile::HashingFile()
    : sha256_(std::make_unique<ParallelDigests>(std::vector{DigestKind::Sha256})) {}

std::string HashingFile::Sha256() { return sha256_->Finish()[0]; }

HashingFile::~HashingFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool HashingFile::Create(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool HashingFile::Write(const uint8_t* data, size_t n) {
  sha256_->Update(data, n);
  while (n > 0) {
    const ssize_t w = ::write(fd_, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool HashingFile::Close() {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}

}  // namespace orvane
