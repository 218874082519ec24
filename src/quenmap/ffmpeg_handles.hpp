#pragma once
// Owner types for the FFmpeg objects of the analysis: each object has exactly
// one owner, which releases it with FFmpeg's matching call.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace quenmap {

struct FormatContextDeleter {
  void operator()(AVFormatContext* context) const noexcept { avformat_close_input(&context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const noexcept {
    // Newer releases close the decoder inside avcodec_free_context and no
    // longer offer (or deprecate) the separate close.
#if LIBAVCODEC_VERSION_MAJOR < 61
    avcodec_close(context);
#endif
    avcodec_free_context(&context);
  }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct SwsContextDeleter {
  void operator()(SwsContext* context) const noexcept { sws_freeContext(context); }
};
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;

struct FrameDeleter {
  void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// An AVPacket held by value. It starts empty; whatever data FFmpeg puts in it
// is reference-counted and released when the Packet goes away.
class Packet {
 public:
  Packet() noexcept { make_empty(packet_); }
  ~Packet() { av_packet_unref(&packet_); }

  Packet(Packet&& other) noexcept {
    make_empty(packet_);
    av_packet_move_ref(&packet_, &other.packet_);
  }
  Packet& operator=(Packet&& other) noexcept {
    if (this != &other) {
      av_packet_unref(&packet_);
      av_packet_move_ref(&packet_, &other.packet_);
    }
    return *this;
  }
  Packet(const Packet&) = delete;
  Packet& operator=(const Packet&) = delete;

  AVPacket* get() noexcept { return &packet_; }
  const AVPacket* get() const noexcept { return &packet_; }

 private:
  static void make_empty(AVPacket& packet) noexcept {
    packet = AVPacket{};
#if LIBAVCODEC_VERSION_MAJOR < 61
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    av_init_packet(&packet);
#pragma GCC diagnostic pop
#else
    // What av_init_packet set before it went away.
    packet.pts = AV_NOPTS_VALUE;
    packet.dts = AV_NOPTS_VALUE;
    packet.pos = -1;
    packet.time_base = AVRational{0, 1};
#endif
  }

  AVPacket packet_;
};

}  // namespace quenmap
