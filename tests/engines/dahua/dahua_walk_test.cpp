// The frame walk of the detector and the version-2 scan where a window holds
// fewer bytes than a whole window (the region or the medium ends in it): it
// looks at nothing behind them, on a direct read and on a read ahead alike.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/byte_order.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_test_util.h"
#include "engines/dahua/frame_walk.h"
#include "synth/guarded_bytes.h"
#include "synth/sparse_image.h"

namespace orvane {
namespace {

using namespace dahua_test;

const uint32_t kMagic = DahuaVariantFor(BrandDahua).magic;
const uint32_t kT0 = synth::PackTime(2016, 5, 3, 10, 0, 0);

Bytes Frame(uint32_t magic, uint32_t length, uint32_t time) {
  Bytes f(length, 0x11);
  StoreLE32(&f[0], magic);
  f[4] = 0xFD;
  f[6] = 2;
  StoreLE32(&f[12], length);
  StoreLE32(&f[16], time);
  return f;
}

struct Walked {
  size_t handled = 0;
  std::vector<size_t> frames;  // window positions taken
  std::vector<size_t> beyond;  // positions asked for behind the bytes held
};

Walked Walk(const synth::GuardedBytes& held, bool magic_beyond) {
  Walked w;
  w.handled = WalkDahuaFrames(
      held.bytes(), kMagic,
      [&](size_t e) {
        w.beyond.push_back(e);
        return magic_beyond;
      },
      [&](size_t i, const DahuaFrame&) {
        w.frames.push_back(i);
        return false;
      });
  return w;
}

TEST(DahuaFrameWalk, LooksAtNothingBehindTheBytesItHolds) {
  // Zeros, from nothing to more than a window: searched to the window end.
  for (size_t n : {size_t{0}, size_t{1}, size_t{3}, size_t{4}, size_t{19}, size_t{4096},
                   size_t{0xA0000}, kDahuaWalkLimit, size_t{0x200200}}) {
    synth::GuardedBytes held(n);
    const Walked w = Walk(held, true);
    EXPECT_EQ(w.handled, kDahuaWalkLimit + 1) << n;
    EXPECT_TRUE(w.frames.empty()) << n;
    EXPECT_TRUE(w.beyond.empty()) << n;
  }
  {  // the second frame ends behind the bytes held: its successor is fetched
    synth::GuardedBytes held(1000);
    const Bytes f = Frame(kMagic, 600, kT0);
    std::memcpy(held.data() + 100, f.data(), f.size());
    std::memcpy(held.data() + 700, f.data(), 300);
    const Walked chained = Walk(held, true);
    EXPECT_EQ(chained.frames, (std::vector<size_t>{100, 700}));
    EXPECT_EQ(chained.beyond, (std::vector<size_t>{1300}));
    EXPECT_EQ(chained.handled, kDahuaWalkLimit + 1);
    const Walked alone = Walk(held, false);
    EXPECT_EQ(alone.frames, (std::vector<size_t>{100}));
    EXPECT_EQ(alone.handled, kDahuaWalkLimit + 1);
  }
  {  // a header cut by the end of the bytes held reads on in zeros: no frame
    synth::GuardedBytes held(110);
    const Bytes f = Frame(kMagic, 600, kT0);
    std::memcpy(held.data() + 100, f.data(), 10);
    const Walked w = Walk(held, true);
    EXPECT_TRUE(w.frames.empty());
    EXPECT_TRUE(w.beyond.empty());
  }
  {  // a frame taken near the window end: the next walk starts behind it
    synth::GuardedBytes held(0x200200);
    const Bytes f = Frame(kMagic, 0x1000, kT0);
    std::memcpy(held.data() + 0x1FF100, f.data(), f.size());
    std::memcpy(held.data() + 0x200100, f.data(), 0x100);
    const Walked w = Walk(held, true);
    EXPECT_EQ(w.frames, (std::vector<size_t>{0x1FF100}));
    EXPECT_EQ(w.handled, 0x200100u);
  }
}

TEST(DahuaDeepVersionTwo, RegionsEndingInsideAWindowAreWalkedToTheirEnd) {
  // Smart value 0x160000: the scan starts there, so every size leaves a last
  // window of less than 2 MiB; from 6 MiB on that window is read ahead.
  synth::TempDir tmp;
  for (int32_t brand : {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling}) {
    const uint32_t magic = DahuaVariantFor(brand).magic;
    for (int64_t mib : {2, 3, 6, 7, 12}) {
      const std::string image = tmp.File("z.img");
      const int64_t size = mib << 20;
      // Ten frames near the end, in the last, short window; the last of them
      // has no successor and is not taken.
      const int64_t run_at = size - 0x10000;
      {
        synth::SparseImage img(image, size);
        for (int k = 0; k < 10; ++k) img.Write(run_at + k * 1000, Frame(magic, 1000, kT0 + k));
      }
      const DeviceInfo dev = synth::ImageDevice(image);
      ScanParameters p;
      SetUpParse(p, dev, brand, ScanModeDeep, 2, tmp.File("t.tak"));
      ParseAndLoad(p);
      EXPECT_EQ(p.head.scan_position, size) << brand << " " << mib;
      ASSERT_EQ(p.recordings.size(), 1u) << brand << " " << mib;
      ASSERT_EQ(p.recordings[0].fragments.size(), 1u);
      EXPECT_EQ(p.recordings[0].fragments[0], (FragmentExtent{run_at, 9000}));
    }
  }
}

}  // namespace
}  // namespace orvane
