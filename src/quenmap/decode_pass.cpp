#include "decode_pass.hpp"

#include "ffmpeg_error.hpp"

#include <span>
#include <vector>

namespace quenmap {
namespace {

// The frames of the pass, made once and reused for every decoded frame.
struct Frames {
  FramePtr decoded;
  FramePtr grey;
  // The grey frame as displayed, for a video that is turned for display;
  // empty otherwise.
  std::vector<std::uint8_t> turned;
};

FramePtr alloc_frame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw FfmpegError(AVERROR(ENOMEM));
  return frame;
}

// Every packet of the stream, read before any is decoded.
std::vector<Packet> collect_packets(const VideoInput& video) {
  std::vector<Packet> packets;
  while (auto packet = next_video_packet(video.format_ctx.get(), video.stream_index)) {
    packets.push_back(std::move(*packet));
  }
  return packets;
}

PictureDefinition definition_of(const AVFrame& frame) {
  return {static_cast<AVPixelFormat>(frame.format), static_cast<std::uint32_t>(frame.width),
          static_cast<std::uint32_t>(frame.height)};
}

// The grey frame gets its buffer at the first decoded frame and keeps it.
void ensure_grey_buffer(AVFrame& grey, const PictureDefinition& output) {
  if (grey.data[0] != nullptr) return;
  grey.format = output.pix_fmt;
  grey.width = static_cast<int>(output.width);
  grey.height = static_cast<int>(output.height);
  if (const int code = av_frame_get_buffer(&grey, 32); code < 0) throw FfmpegError(code);
}

void analyse_frame(const VideoInput& video, Frames& frames, QuenMapEncoder& encoder) {
  const Scaler& scaler = video.scaler;
  const AVFrame& decoded = *frames.decoded;
  AVFrame& grey = *frames.grey;
  if (definition_of(decoded) != scaler.input) throw FfmpegError(AVERROR_INPUT_CHANGED);
  ensure_grey_buffer(grey, scaler.output);
  if (definition_of(grey) != scaler.output) throw FfmpegError(AVERROR_OUTPUT_CHANGED);

  sws_scale(scaler.context.get(), decoded.data, decoded.linesize, 0, decoded.height, grey.data,
            grey.linesize);
  // The part the ffmpeg program keeps is read in place, within the whole
  // grey frame: grey conversion works pixel by pixel, so converting first
  // and cropping after gives the same samples.
  const FrameCrop& crop = video.crop;
  const auto stride = static_cast<std::size_t>(grey.linesize[0]);
  const std::uint8_t* kept = grey.data[0] + crop.y * stride + crop.x;
  if (frames.turned.empty()) {
    encoder.process_frame(std::span<const std::uint8_t>(kept, (crop.height - 1) * stride + crop.width),
                          stride);
    return;
  }
  turn_plane(video.orientation, kept, stride, crop.width, crop.height, frames.turned.data());
  encoder.process_frame(frames.turned, video.width);
}

// Analyses every frame the decoder has ready; any negative result of the
// receive call (no frame yet, end of stream, a broken frame) just ends it.
void receive_frames(VideoInput& video, Frames& frames, QuenMapEncoder& encoder,
                    std::uint32_t& decoded_frames) {
  while (avcodec_receive_frame(video.decoder.get(), frames.decoded.get()) == 0) {
    analyse_frame(video, frames, encoder);
    ++decoded_frames;
  }
}

void send_packet(AVCodecContext* decoder, const AVPacket* packet) {
  if (const int code = avcodec_send_packet(decoder, packet); code < 0) throw FfmpegError(code);
}

std::uint32_t decode_all(VideoInput& video, QuenMapEncoder& encoder) {
  Frames frames;
  frames.decoded = alloc_frame();
  frames.grey = alloc_frame();
  if (turns_frames(video.orientation)) {
    frames.turned.resize(std::size_t{video.width} * video.height);
  }
  std::uint32_t decoded_frames = 0;
  // Declared last so that the packets are released first, then the frames.
  const auto packets = collect_packets(video);
  // A packet holds one frame, as a rule: the count sizes the history.
  encoder.reserve_frames(packets.size());

  for (const auto& packet : packets) {
    send_packet(video.decoder.get(), packet.get());
    receive_frames(video, frames, encoder, decoded_frames);
  }
  send_packet(video.decoder.get(), nullptr);
  receive_frames(video, frames, encoder, decoded_frames);
  return decoded_frames;
}

}  // namespace

DecodeResult pass1_decode(const std::string& input_path) {
  DecodeResult result{quen::with_context("open input", [&] { return open_video(input_path); }), nullptr, 0};
  VideoInput& video = result.video;
  // A video with no whole block cannot be analysed: refuse it before the
  // encoder announces an analysis that would never happen. The encoder's
  // first frame buffer is the pass's first large allocation (512 MiB at
  // 8192x8192), so a failure to make it belongs to the pass too.
  quen::with_context("Pass 1 decode", [&] {
    check_frame_size(video.width, video.height);
    result.encoder = std::make_unique<QuenMapEncoder>(static_cast<std::uint16_t>(video.width),
                                                      static_cast<std::uint16_t>(video.height), video.fps_num,
                                                      video.fps_den);
  });
  result.decoded_frames =
      quen::with_context("Pass 1 decode", [&] { return decode_all(video, *result.encoder); });
  return result;
}

}  // namespace quenmap
