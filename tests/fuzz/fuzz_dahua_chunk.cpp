// The version-1 chunk analysis of the Dahua-family deep parse: the first
// byte picks the brand (and so the frame magic), the rest is one chunk. A
// summary must come back unchanged through its task record.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engines/dahua/dahua_scan_parts.h"
#include "engines/dahua/dahua_variant.h"
#include "fuzz/fuzz_support.h"
#include "scan/scan_parameters.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr int32_t kBrands[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};
  const auto [brand, chunk] = fuzz::SelectBrand({data, size}, kBrands);
  const uint32_t magic = DahuaVariantFor(brand).magic;

  // Exactly the zeroed margin the analysis is promised behind the chunk, so
  // that a look further is caught.
  std::vector<uint8_t> buf(chunk.begin(), chunk.end());
  buf.resize(chunk.size() + kDahuaMaxHeadBytes);
  ChunkSummary s;
  if (!AnalyzeChunk(buf.data(), chunk.size(), 0x100000, magic, s)) return 0;

  std::vector<uint8_t> record(ChunkRecordSize(s));
  EncodeChunkRecord(s, record.data());
  ChunkSummary back;
  if (DecodeChunkRecord(record, back) != record.size()) std::abort();
  std::vector<uint8_t> again(ChunkRecordSize(back));
  EncodeChunkRecord(back, again.data());
  if (again != record) std::abort();
  return 0;
}
