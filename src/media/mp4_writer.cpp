#include "media/mp4_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdio>
#include <cstring>

#include "media/annexb.h"
#include "scan/task_head.h"

namespace orvane {

namespace {
constexpr int kTimeScale = 90000;
constexpr int64_t kLongestGapMs = 24LL * 3600 * 1000;

// Width and height from the parameter sets, as the codec's parser reads them.
void PictureSize(AVCodecID id, const std::vector<uint8_t>& unit, int& width, int& height) {
  AVCodecParserContext* parser = av_parser_init(id);
  AVCodecContext* ctx = avcodec_alloc_context3(nullptr);
  if (parser && ctx) {
    uint8_t* out = nullptr;
    int out_size = 0;
    std::vector<uint8_t> padded(unit);
    padded.resize(unit.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    av_parser_parse2(parser, ctx, &out, &out_size, padded.data(), static_cast<int>(unit.size()),
                     AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    // A parser returns the unit only once it has seen the next one begin.
    av_parser_parse2(parser, ctx, &out, &out_size, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    width = parser->width > 0 ? parser->width : ctx->width;
    height = parser->height > 0 ? parser->height : ctx->height;
  }
  avcodec_free_context(&ctx);
  if (parser) av_parser_close(parser);
}
}  // namespace

std::string CreationTimeText(int64_t time_ms) {
  int64_t seconds = time_ms / 1000;
  if (time_ms < 0 && time_ms % 1000 != 0) --seconds;
  int64_t days = seconds / 86400;
  int64_t rem = seconds % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  // Civil date of a day count since 1970.
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.000000Z",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(rem / 3600), static_cast<long long>(rem / 60 % 60),
                static_cast<long long>(rem % 60));
  return text;
}

Mp4Writer::~Mp4Writer() {
  if (format_) {
    if (format_->pb) avio_closep(&format_->pb);
    avformat_free_context(format_);
  }
  av_packet_free(&packet_);
}

bool Mp4Writer::Open(const std::string& path, VideoCodec codec, const VideoFrame& first, int fps,
                     int64_t creation_ms, bool& file_created) {
  file_created = false;
  fps_ = fps > 0 ? fps : 25;
  const AVCodecID id = codec == VideoCodec::H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
  const std::vector<uint8_t> sets = ParameterSets(codec, first.data.data(), first.data.size());
  if (sets.empty()) return false;
  if (avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr) < 0 || !format_)
    return false;
  packet_ = av_packet_alloc();
  AVStream* st = avformat_new_stream(format_, nullptr);
  if (!packet_ || !st) return false;
  st->time_base = AVRational{1, kTimeScale};
  st->avg_frame_rate = AVRational{fps_, 1};
  AVCodecParameters* par = st->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = id;
  // The muxer turns Annex-B parameter sets into the sample description and
  // every unit into length-prefixed NAL units.
  par->extradata = static_cast<uint8_t*>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!par->extradata) return false;
  std::memcpy(par->extradata, sets.data(), sets.size());
  par->extradata_size = static_cast<int>(sets.size());
  PictureSize(id, first.data, par->width, par->height);
  if (par->width <= 0 || par->height <= 0) return false;
  if (creation_ms >= 0)
    av_dict_set(&format_->metadata, "creation_time", CreationTimeText(creation_ms).c_str(), 0);
  if (avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  file_created = true;
  if (avformat_write_header(format_, nullptr) < 0) return false;
  header_written_ = true;
  return true;
}

bool Mp4Writer::Write(const VideoFrame& frame) {
  if (!header_written_ || frame.data.empty()) return false;
  av_packet_unref(packet_);
  // The muxer copies what it keeps of a packet that owns no buffer, and it
  // rewrites every unit into length-prefixed NAL units anyway: the frame's
  // bytes go in as they are, without a copy of their own.
  packet_->data = const_cast<uint8_t*>(frame.data.data());
  packet_->size = static_cast<int>(frame.data.size());
  packet_->stream_index = 0;
  const int64_t duration = kTimeScale / fps_;
  if (frames_ == 0) first_ms_ = frame.time_ms;
  int64_t pts = frames_ == 0 ? 0 : last_pts_ + duration;
  // A recorder time far ahead is damage rather than a pause in recording.
  const int64_t by_time = (frame.time_ms - first_ms_) * (kTimeScale / 1000);
  if (by_time > pts && by_time - pts < kLongestGapMs * (kTimeScale / 1000)) pts = by_time;
  last_pts_ = pts;
  packet_->pts = packet_->dts = pts;
  packet_->duration = duration;
  if (frame.key) packet_->flags |= AV_PKT_FLAG_KEY;
  // The muxer may have chosen a time base of its own for the track.
  av_packet_rescale_ts(packet_, AVRational{1, kTimeScale}, format_->streams[0]->time_base);
  ++frames_;
  const bool ok = av_write_frame(format_, packet_) >= 0;
  av_packet_unref(packet_);
  return ok;
}

bool Mp4Writer::Finish() {
  if (!header_written_) return false;
  header_written_ = false;
  const bool ok = av_write_trailer(format_) >= 0;
  return avio_closep(&format_->pb) >= 0 && ok;
}

}  // namespace orvane
