// Frames through libavformat: the recording's bytes are handed to the
// demuxer through an AVIOContext, so nothing is copied to a file first.

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <cstdio>
#include <mutex>

#include "media/frame_source.h"

namespace orvane {

namespace {

constexpr int kIoBuffer = 256 * 1024;

struct IoState {
  RecordingBytes* bytes;
  int64_t skip;
};

int ReadPacket(void* opaque, uint8_t* buf, int size) {
  auto* s = static_cast<IoState*>(opaque);
  const size_t n = s->bytes->Read(buf, static_cast<size_t>(size));
  return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int64_t SeekStream(void* opaque, int64_t offset, int whence) {
  auto* s = static_cast<IoState*>(opaque);
  const int64_t size = s->bytes->size() - s->skip;
  int64_t target = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size;
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = s->bytes->position() - s->skip + offset;
      break;
    case SEEK_END:
      target = size + offset;
      break;
    default:
      return -1;
  }
  if (!s->bytes->Seek(target + s->skip)) return -1;
  return target;
}

class DemuxSource final : public FrameSource {
 public:
  DemuxSource(RecordingBytes& bytes, int64_t skip, int64_t start_ms)
      : state_{&bytes, skip}, start_ms_(start_ms) {}

  ~DemuxSource() override {
    av_packet_free(&packet_);
    if (format_) avformat_close_input(&format_);
    if (io_) {
      av_freep(&io_->buffer);
      avio_context_free(&io_);
    }
  }

  bool Open(const char* name) {
    const AVInputFormat* input = av_find_input_format(name);
    if (!input || !state_.bytes->Seek(state_.skip)) return false;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBuffer));
    if (!buffer) return false;
    io_ = avio_alloc_context(buffer, kIoBuffer, 0, &state_, ReadPacket, nullptr, SeekStream);
    if (!io_) {
      av_free(buffer);
      return false;
    }
    format_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    if (!format_ || !packet_) return false;
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    // avformat_open_input frees the context when it fails.
    if (avformat_open_input(&format_, nullptr, input, nullptr) < 0) {
      format_ = nullptr;
      return false;
    }
    return true;
  }

  bool Next(VideoFrame& frame) override {
    while (av_read_frame(format_, packet_) >= 0) {
      const AVStream* st = format_->streams[packet_->stream_index];
      if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || packet_->size <= 0) {
        av_packet_unref(packet_);
        continue;
      }
      if (video_stream_ < 0) video_stream_ = packet_->stream_index;
      if (packet_->stream_index != video_stream_) {
        av_packet_unref(packet_);
        continue;
      }
      int64_t ts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
      if (ts != AV_NOPTS_VALUE) {
        ts = av_rescale_q(ts, st->time_base, AVRational{1, 1000});
      } else {
        // A bare elementary stream carries no times: its frames follow each
        // other at the stream's own rate.
        AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
        ts = av_rescale_q(packets_, av_inv_q(rate), AVRational{1, 1000});
      }
      ++packets_;
      {
        if (first_ts_ == AV_NOPTS_VALUE) first_ts_ = ts;
        // A timestamp that jumps back or far ahead is a recorder reset or
        // damage: the frame keeps the previous time.
        const int64_t t = start_ms_ + ts - first_ts_;
        if (t >= last_ms_ && t - last_ms_ < 3'600'000) last_ms_ = t;
      }
      frame.data.assign(packet_->data, packet_->data + packet_->size);
      frame.time_ms = last_ms_;
      av_packet_unref(packet_);
      return true;
    }
    return false;
  }

 private:
  IoState state_;
  int64_t start_ms_;
  int64_t last_ms_ = start_ms_;
  int64_t first_ts_ = AV_NOPTS_VALUE;
  int video_stream_ = -1;
  int64_t packets_ = 0;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVPacket* packet_ = nullptr;
};

}  // namespace

std::unique_ptr<FrameSource> OpenDemuxSource(RecordingBytes& bytes, const char* format,
                                             int64_t skip, int64_t start_ms) {
  // The libraries would write their complaints about damaged streams to
  // stderr; the callers report what matters through the notification sink.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  auto source = std::make_unique<DemuxSource>(bytes, skip, start_ms);
  if (!source->Open(format)) return nullptr;
  return source;
}

}  // namespace orvane
