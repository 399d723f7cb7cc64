#include "media/picture_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <deque>

namespace orvane {

struct VideoDecoder {
  AVCodecContext* ctx = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::deque<int64_t> times;  // recorder times of the units sent, in order

  bool Open(VideoCodec codec) {
    const AVCodec* c =
        avcodec_find_decoder(codec == VideoCodec::H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!c || !packet || !frame) return false;
    ctx = avcodec_alloc_context3(c);
    return ctx && avcodec_open2(ctx, c, nullptr) >= 0;
  }
  bool Send(const VideoFrame* f) {
    if (!f) return avcodec_send_packet(ctx, nullptr) >= 0;
    if (av_new_packet(packet, static_cast<int>(f->data.size())) < 0) return false;
    std::memcpy(packet->data, f->data.data(), f->data.size());
    times.push_back(f->time_ms);
    const int rc = avcodec_send_packet(ctx, packet);
    av_packet_unref(packet);
    return rc >= 0;
  }
  int max_width = 0, max_height = 0;  // the box pictures are scaled into, if any

  bool Receive(Picture& out) {
    if (avcodec_receive_frame(ctx, frame) < 0) return false;
    if (!ToRgb(frame, out, max_width, max_height)) return false;
    if (!times.empty()) {
      out.time_ms = times.front();
      times.pop_front();
    }
    return true;
  }
  ~VideoDecoder() {
    avcodec_free_context(&ctx);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
};

int KeyFramePictures(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry,
                     const std::function<bool(Picture&&)>& on_picture, int max_width,
                     int max_height) {
  FrameReader reader(p, device, entry);
  VideoDecoder decoder;
  decoder.max_width = max_width;
  decoder.max_height = max_height;
  int count = 0;
  VideoFrame frame;
  while (reader.Next(frame)) {
    if (!frame.key) continue;
    if (!decoder.ctx && !decoder.Open(reader.codec())) return count;
    // Each key frame alone: send it, drain the decoder, start afresh.
    decoder.times.clear();
    Picture picture;
    bool have = false;
    if (decoder.Send(&frame) && decoder.Send(nullptr))
      while (decoder.Receive(picture)) have = true;
    avcodec_flush_buffers(decoder.ctx);
    if (!have) continue;
    picture.time_ms = frame.time_ms;
    ++count;
    if (!on_picture(std::move(picture))) break;
  }
  return count;
}

PictureDecoder::PictureDecoder(const ScanParameters& p, SourceDevice& device,
                               const RecordingEntry& entry, int64_t from_ms)
    : reader_(p, device, entry), from_ms_(from_ms), decoder_(std::make_unique<VideoDecoder>()) {}

PictureDecoder::~PictureDecoder() = default;

bool PictureDecoder::Next(Picture& out) {
  for (;;) {
    if (decoder_->ctx && decoder_->Receive(out)) return true;
    if (flushed_) return false;
    VideoFrame frame;
    if (!reader_.Next(frame)) {
      flushed_ = true;
      if (!decoder_->ctx || !decoder_->Send(nullptr)) return false;
      continue;
    }
    if (!started_) {
      if (!frame.key || frame.time_ms < from_ms_) continue;
      if (!decoder_->Open(reader_.codec())) return false;
      started_ = true;
    }
    decoder_->Send(&frame);  // a damaged unit is skipped; the next may decode
  }
}

}  // namespace orvane
