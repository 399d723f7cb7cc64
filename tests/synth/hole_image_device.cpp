#include "synth/hole_image_device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "synth/test_support.h"

namespace orvane::synth {

namespace {

class HoleAwareBackend final : public ReadBackend {
 public:
  HoleAwareBackend(int fd, std::vector<ByteRange> bad) : fd_(fd), bad_(std::move(bad)) {}
  ~HoleAwareBackend() override { ::close(fd_); }

  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    const ByteRange asked = ByteRange::FromLength(offset, static_cast<int64_t>(length));
    for (const auto& b : bad_)
      if (!asked.intersect(b).empty()) return -1;
    const int64_t size = Size();
    if (offset >= size) return 0;
    const int64_t end = std::min<int64_t>(size, offset + static_cast<int64_t>(length));
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t at = offset;
    while (at < end) {
      off_t data = ::lseek(fd_, at, SEEK_DATA);
      if (data < 0) data = end;  // nothing but hole up to the end
      data = std::min<off_t>(data, end);
      if (data > at) {
        std::memset(out + (at - offset), 0, static_cast<size_t>(data - at));
        at = data;
        continue;
      }
      off_t hole = ::lseek(fd_, at, SEEK_HOLE);
      if (hole < 0 || hole > end) hole = end;
      while (at < hole) {
        const ssize_t n = ::pread(fd_, out + (at - offset), static_cast<size_t>(hole - at), at);
        if (n <= 0) return at > offset ? at - offset : -1;
        at += n;
      }
    }
    return end - offset;
  }

  int64_t Size() override {
    struct stat st{};
    return ::fstat(fd_, &st) == 0 ? st.st_size : -1;
  }

 private:
  int fd_;
  std::vector<ByteRange> bad_;
};

}  // namespace

DeviceInfo HoleAwareImageDevice(const std::string& path, std::vector<ByteRange> bad) {
  DeviceInfo d = ImageDevice(path);
  d.backend = std::make_shared<const BackendFactory>([path, bad]() -> std::unique_ptr<ReadBackend> {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<HoleAwareBackend>(fd, bad);
  });
  return d;
}

}  // namespace orvane::synth
