#include "media/thumbnail.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "media/frame_reader.h"

namespace orvane {

namespace {
// A group of pictures longer than this is not kept whole; its picture is
// then decoded from what remains, which a decoder may refuse.
constexpr size_t kMaxGroupBytes = 64u << 20;

struct Decoder {
  AVCodecContext* ctx = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  ~Decoder() {
    avcodec_free_context(&ctx);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
};

}  // namespace

bool ToRgb(const AVFrame* f, Picture& out, int max_width, int max_height) {
  if (f->width <= 0 || f->height <= 0) return false;
  int width = f->width, height = f->height;
  if (max_width > 0 && max_height > 0 && (width > max_width || height > max_height)) {
    const double scale =
        std::min(static_cast<double>(max_width) / width, static_cast<double>(max_height) / height);
    width = std::max(1, static_cast<int>(width * scale + 0.5));
    height = std::max(1, static_cast<int>(height * scale + 0.5));
  }
  SwsContext* sws = sws_getContext(
      f->width, f->height, static_cast<AVPixelFormat>(f->format), width, height, AV_PIX_FMT_RGB24,
      width == f->width ? SWS_BILINEAR : SWS_AREA, nullptr, nullptr, nullptr);
  if (!sws) return false;
  out.width = width;
  out.height = height;
  out.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  uint8_t* dst[1] = {out.rgb.data()};
  const int stride[1] = {width * 3};
  sws_scale(sws, f->data, f->linesize, 0, f->height, dst, stride);
  sws_freeContext(sws);
  return true;
}

bool DecodePictureAt(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry,
                     int64_t at_ms, Picture& out) {
  FrameReader reader(p, device, entry);
  std::deque<VideoFrame> group;  // the frames from the last key frame on
  size_t group_bytes = 0;
  int64_t first_ms = 0;
  bool any = false;
  VideoFrame frame;
  while (reader.Next(frame)) {
    if (!any) first_ms = frame.time_ms;
    if (!any && !frame.key) continue;  // nothing before a key frame decodes
    any = true;
    const bool target = frame.time_ms - first_ms >= at_ms;
    if (frame.key) {
      group.clear();
      group_bytes = 0;
    }
    group_bytes += frame.data.size();
    group.push_back(std::move(frame));
    while (group_bytes > kMaxGroupBytes && group.size() > 1) {
      group_bytes -= group.front().data.size();
      group.pop_front();
    }
    if (target) break;
  }
  if (group.empty()) return false;

  Decoder d;
  const AVCodec* codec = avcodec_find_decoder(
      reader.codec() == VideoCodec::H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
  if (!codec || !d.packet || !d.frame) return false;
  d.ctx = avcodec_alloc_context3(codec);
  if (!d.ctx || avcodec_open2(d.ctx, codec, nullptr) < 0) return false;
  bool have = false;
  auto drain = [&] {
    while (avcodec_receive_frame(d.ctx, d.frame) >= 0) have = ToRgb(d.frame, out) || have;
  };
  for (const VideoFrame& f : group) {
    if (av_new_packet(d.packet, static_cast<int>(f.data.size())) < 0) return false;
    std::memcpy(d.packet->data, f.data.data(), f.data.size());
    avcodec_send_packet(d.ctx, d.packet);
    av_packet_unref(d.packet);
    drain();
  }
  avcodec_send_packet(d.ctx, nullptr);
  drain();
  out.time_ms = group.back().time_ms;
  return have;
}

bool WritePng(const Picture& picture, const std::string& path) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec || picture.width <= 0 || picture.height <= 0) return false;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = false;
  if (ctx && frame && packet) {
    ctx->width = picture.width;
    ctx->height = picture.height;
    ctx->pix_fmt = AV_PIX_FMT_RGB24;
    ctx->time_base = AVRational{1, 25};
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = picture.width;
    frame->height = picture.height;
    if (avcodec_open2(ctx, codec, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0) {
      for (int y = 0; y < picture.height; ++y)
        std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                    picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3,
                    static_cast<size_t>(picture.width) * 3);
      if (avcodec_send_frame(ctx, frame) >= 0 && avcodec_receive_packet(ctx, packet) >= 0) {
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
          ok = std::fwrite(packet->data, 1, static_cast<size_t>(packet->size), f) ==
               static_cast<size_t>(packet->size);
          ok = std::fclose(f) == 0 && ok;
        }
      }
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return ok;
}

}  // namespace orvane
