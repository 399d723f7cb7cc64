// Frames through libavformat: the recording's bytes are handed to the
// demuxer through an AVIOContext, so nothing is copied to a file first.

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <cstdio>
#include <mutex>
#include <vector>

#include "media/annexb.h"
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
    // The demuxer's packets are joined into access units here, at their
    // NAL headers: libavformat's parser would look at every byte of them.
    format_->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
    // avformat_open_input frees the context when it fails.
    if (avformat_open_input(&format_, nullptr, input, nullptr) < 0) {
      format_ = nullptr;
      return false;
    }
    return true;
  }

  bool Next(VideoFrame& frame) override {
    for (;;) {
      if (!ReadVideoPacket()) {
        if (pending_.empty()) return false;
        Emit(frame);
        return true;
      }
      const uint8_t* d = packet_->data;
      const auto n = static_cast<size_t>(packet_->size);
      // A packet that opens the next access unit ends the one under way; so
      // does a unit grown past any frame's size, which is damage.
      const bool ends = !pending_.empty() &&
                        ((pending_slice_ && OpensUnit(d, n)) || pending_.size() > kMaxFrameBytes);
      if (ends) Emit(frame);
      if (pending_ts_ == AV_NOPTS_VALUE) pending_ts_ = PacketTime();
      pending_.insert(pending_.end(), d, d + n);
      if (!pending_slice_)
        ForEachNalHeader(d, n, [&](size_t h) {
          pending_slice_ = h + 3 <= n && IsSliceNal(codec_, d + h);
          return !pending_slice_;
        });
      av_packet_unref(packet_);
      if (ends) return true;
    }
  }

 private:
  // The next packet of the first video stream into packet_; false at the end.
  bool ReadVideoPacket() {
    while (av_read_frame(format_, packet_) >= 0) {
      const AVStream* st = format_->streams[packet_->stream_index];
      if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && packet_->size > 0) {
        if (video_stream_ < 0) {
          video_stream_ = packet_->stream_index;
          if (st->codecpar->codec_id == AV_CODEC_ID_HEVC) codec_ = VideoCodec::H265;
        }
        if (packet_->stream_index == video_stream_) return true;
      }
      av_packet_unref(packet_);
    }
    return false;
  }

  // The packet's timestamp in milliseconds; none for a packet that goes on
  // with the bytes of the one before.
  int64_t PacketTime() const {
    const int64_t ts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
    if (ts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    return av_rescale_q(ts, format_->streams[video_stream_]->time_base, AVRational{1, 1000});
  }

  // True when the packet begins with a start code whose NAL unit opens an
  // access unit.
  bool OpensUnit(const uint8_t* d, size_t n) const {
    size_t h = 0;
    if (n >= 3 && d[0] == 0 && d[1] == 0 && d[2] == 1) h = 3;
    if (n >= 4 && d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 1) h = 4;
    return h > 0 && h + 3 <= n && OpensAccessUnit(codec_, d + h);
  }

  void Emit(VideoFrame& frame) {
    // A unit without a timestamp follows the one before at 25 a second.
    const int64_t ts = pending_ts_ != AV_NOPTS_VALUE ? pending_ts_ : last_ts_ + 40;
    if (first_ts_ == AV_NOPTS_VALUE) first_ts_ = ts;
    last_ts_ = ts;
    // A timestamp that jumps back or far ahead is a recorder reset or
    // damage: the frame keeps the previous time.
    const int64_t t = start_ms_ + ts - first_ts_;
    if (t >= last_ms_ && t - last_ms_ < 3'600'000) last_ms_ = t;
    frame.data.swap(pending_);
    frame.time_ms = last_ms_;
    pending_.clear();
    pending_ts_ = AV_NOPTS_VALUE;
    pending_slice_ = false;
  }

  IoState state_;
  int64_t start_ms_;
  int64_t last_ms_ = start_ms_;
  int64_t first_ts_ = AV_NOPTS_VALUE;
  int64_t last_ts_ = -40;
  int video_stream_ = -1;
  VideoCodec codec_ = VideoCodec::H264;
  std::vector<uint8_t> pending_;  // the access unit under way
  int64_t pending_ts_ = AV_NOPTS_VALUE;
  bool pending_slice_ = false;
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
