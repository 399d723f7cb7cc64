#include "media/frame_reader.h"

#include "device/byte_order.h"
#include "engines/dahua/dahua_variant.h"
#include "media/annexb.h"
#include "media/frame_source.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane {

namespace {

// A Jovision recording opens with its file header ("JVS", its length in the
// three bytes at 5) and a 32-byte frame header; the Annex-B stream follows.
int64_t JovisionStreamStart(RecordingBytes& bytes) {
  uint8_t head[8] = {};
  bytes.Seek(0);
  const size_t got = bytes.Read(head, sizeof head);
  bytes.Seek(0);
  if (got < sizeof head || head[0] != 'J' || head[1] != 'V' || head[2] != 'S') return 0;
  const int64_t length = head[5] | (head[6] << 8) | (head[7] << 16);
  return length + 0x20 < bytes.size() ? length + 0x20 : 0;
}

// The codec whose parameter sets open the stream.
VideoCodec CodecAt(RecordingBytes& bytes, int64_t at) {
  uint8_t sample[4096] = {};
  bytes.Seek(at);
  const size_t got = bytes.Read(sample, sizeof sample);
  bytes.Seek(at);
  return GuessCodec(sample, got);
}
}  // namespace

bool RecorderTimeMs(uint8_t time_kind, uint32_t word, int64_t& out_ms) {
  CivilTime t;
  if (!DecodeTime(time_kind, word, t)) return false;
  out_ms = (DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL +
            t.second) *
           1000;
  return true;
}

FrameReader::FrameReader(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry)
    : brand_(p.brand), bytes_(device, entry) {
  has_start_ = RecorderTimeMs(p.head.time_kind, entry.start_time, start_ms_);
  switch (brand_) {
    case BrandHikvision:
      source_ = OpenDemuxSource(bytes_, "mpeg", 0, start_ms_);
      break;
    case BrandWfs:
      source_ = OpenWfsWalk(bytes_, start_ms_);
      break;
    case BrandBoli:
      source_ = OpenBoliWalk(bytes_, start_ms_);
      break;
    case BrandJovision: {
      // libavformat's raw demuxers find the units with their parsers, which
      // look at every byte; the walk looks only at the NAL headers.
      const int64_t at = JovisionStreamStart(bytes_);
      source_ = OpenAnnexBWalk(bytes_, CodecAt(bytes_, at), start_ms_);
      break;
    }
    default:
      // libavformat's "dhav" demuxer counts its timestamps in a 16-bit
      // millisecond field that wraps every 65.5 s, and knows only one of the
      // family's magics: the walk reads every variant's own time words.
      if (const DahuaVariant* v = FindDahuaVariant(brand_))
        source_ = OpenDahuaWalk(bytes_, v->magic, start_ms_);
      break;
  }
}

FrameReader::~FrameReader() = default;

bool FrameReader::NextRaw(VideoFrame& frame) { return source_ && source_->Next(frame); }

bool FrameReader::Next(VideoFrame& frame) {
  while (NextRaw(frame)) {
    ++raw_frames_;
    if (codec_ == VideoCodec::Unknown) codec_ = GuessCodec(frame.data.data(), frame.data.size());
    if (codec_ == VideoCodec::Unknown) continue;
    frame.key = IsKeyUnit(codec_, frame.data.data(), frame.data.size());
    return true;
  }
  return false;
}

}  // namespace orvane
