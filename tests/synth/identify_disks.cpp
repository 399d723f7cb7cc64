#include "synth/identify_disks.h"

#include <cstring>

#include "device/byte_order.h"
#include "synth/boli_disk.h"
#include "synth/jovision_disk.h"

namespace orvane::synth {

namespace {
void Put(Bytes& b, size_t at, const char* text) { std::memcpy(&b[at], text, std::strlen(text)); }
}  // namespace

Bytes HikvisionHeaderSector() {
  Bytes s(512, 0);
  Put(s, 16, "HIKVISIO");
  StoreLE64(&s[120], 80'076'800);
  StoreLE64(&s[128], 4ull * 0x40000000);
  StoreLE64(&s[136], 0x40000000);
  return s;
}

Bytes DahuaAreaHeaderSector() {
  Bytes s(512, 0);
  StoreLE32(&s[0x2C], 512);     // unit size
  StoreLE32(&s[0x30], 0x4000);  // units per block: 8 MiB blocks
  StoreLE32(&s[0x44], 0x100);
  StoreLE32(&s[0x48], 0x1000);
  StoreLE32(&s[0x4C], 1000);
  StoreLE32(&s[0x148], 0x55AA55AA);
  return s;
}

Bytes WfsSuperblockSector() {
  Bytes s(512, 0);
  StoreLE32(&s[0x2C], 4096);
  StoreLE32(&s[0x30], 256);
  StoreLE32(&s[0x44], 16);
  StoreLE32(&s[0x48], 1024);
  StoreLE32(&s[0x4C], 500);
  StoreLE32(&s[0x148], 0x789ABCDE);
  return s;
}

void WriteDiskSignature(SparseImage& image, int32_t brand) {
  Bytes first(512, 0);
  switch (brand) {
    case 1:
      image.Write(512, HikvisionHeaderSector());
      return;
    case 2:
      image.Write(0x4400, DahuaAreaHeaderSector());
      return;
    case 3:
      image.Write(0x3000, WfsSuperblockSector());
      return;
    case 4:
      image.Write(0, BoliHeaderSector());
      return;
    case 5:
      Put(first, 0, "HUAYI1.1");
      image.Write(0, first);
      image.Write(0x4400, DahuaAreaHeaderSector());
      return;
    case 6:
      Put(first, 0, "BELLING1");
      image.Write(0, first);
      image.Write(0x4400, DahuaAreaHeaderSector());
      return;
    case 7:
      WriteJvsAreaHeader(image, 0);
      return;
    case 8:
      Put(first, 0, "ZHILING1");
      image.Write(0, first);
      image.Write(0x4400, DahuaAreaHeaderSector());
      return;
    default:
      return;
  }
}

void WriteHuayiOverHikvision(SparseImage& image) {
  Bytes first(512, 0);
  Put(first, 0, "HUAYI1.1");
  image.Write(0, first);
  image.Write(512, HikvisionHeaderSector());
}

void WriteZhilingWithoutAreaHeader(SparseImage& image) {
  Bytes first(512, 0);
  Put(first, 0, "ZHILING1");
  image.Write(0, first);
  Bytes broken = DahuaAreaHeaderSector();
  StoreLE32(&broken[0x148], 0x55AA55AB);
  image.Write(0x4400, broken);
}

Bytes StreamSignature(int32_t brand) {
  Bytes f(64, 0x11);
  auto code = [&](size_t at, uint8_t last) {
    f[at] = 0;
    f[at + 1] = 0;
    f[at + 2] = 1;
    f[at + 3] = last;
  };
  switch (brand) {
    case 1:  // program-stream pack, system header, "HK"
      code(0, 0xBA);
      code(20, 0xBC);
      Put(f, 32, "HK");
      return f;
    case 3:
      code(0, 0xFC);
      StoreBE32(&f[16], 1);
      return f;
    case 2:
    case 5:
    case 6:
    case 8:
      Put(f, 0, brand == 2 ? "DHAV" : brand == 5 ? "HYAV" : "ZLAV");
      StoreLE16(&f[4], 0xFD);
      return f;
    case 7:
      Put(f, 0, "JVS ");
      StoreBE32(&f[16], 1);
      return f;
    case 4: {
      const uint32_t t = ReversedTime(2017, 5, 6, 7, 8, 9);
      Bytes a = BoliFrame(1, t, TestFrames()[1]);
      const Bytes b = BoliFrame(1, t, TestFrames()[2]);
      a.insert(a.end(), b.begin(), b.end());
      return a;
    }
    default:
      return {};
  }
}

}  // namespace orvane::synth
