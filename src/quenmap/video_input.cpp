#include "video_input.hpp"

#include "common/console.hpp"
#include "ffmpeg_error.hpp"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace quenmap {
namespace {

FormatContextPtr open_container(const std::string& path) {
  const auto context = fmt::format("Cannot open: {}", path);
  // FFmpeg takes the path as a C string: a NUL inside would open another file.
  if (path.find('\0') != std::string::npos) quen::throw_with_context(context, FfmpegError(AVERROR(EINVAL)));

  AVFormatContext* opened = nullptr;
  // On failure FFmpeg has already released the context it made.
  if (const int code = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); code != 0) {
    quen::throw_with_context(context, FfmpegError(code));
  }
  FormatContextPtr format_ctx(opened);
  if (const int code = avformat_find_stream_info(format_ctx.get(), nullptr); code < 0) {
    quen::throw_with_context(context, FfmpegError(code));
  }
  return format_ctx;
}

AVStream& best_video_stream(AVFormatContext& format_ctx) {
  const int position = av_find_best_stream(&format_ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (position < 0) throw quen::Error("No video stream found");
  return *format_ctx.streams[position];
}

CodecContextPtr make_decoder_context(const AVStream& stream) {
  CodecContextPtr decoder(avcodec_alloc_context3(nullptr));
  if (!decoder) quen::throw_with_context("Failed to create codec context", FfmpegError(AVERROR(ENOMEM)));
  if (const int code = avcodec_parameters_to_context(decoder.get(), stream.codecpar); code < 0) {
    quen::throw_with_context("Failed to create codec context", FfmpegError(code));
  }
  return decoder;
}

// 0 when the decoder is open for video, else the code of what went wrong.
int open_decoder_code(AVCodecContext& decoder) {
  const AVCodec* codec = avcodec_find_decoder(decoder.codec_id);
  if (codec == nullptr || av_codec_is_decoder(codec) == 0) return AVERROR_DECODER_NOT_FOUND;
  if (const int code = avcodec_open2(&decoder, codec, nullptr); code != 0) return code;
  if (decoder.codec_type != AVMEDIA_TYPE_VIDEO) return AVERROR_INVALIDDATA;
  return 0;
}

void open_decoder(AVCodecContext& decoder) {
  if (const int code = open_decoder_code(decoder); code != 0) {
    quen::throw_with_context("Failed to open video decoder", FfmpegError(code));
  }
}

Scaler make_scaler(AVPixelFormat source_format, std::uint32_t width, std::uint32_t height) {
  const PictureDefinition input{source_format, width, height};
  const PictureDefinition output{AV_PIX_FMT_GRAY8, width, height};
  const auto w = static_cast<int>(width);
  const auto h = static_cast<int>(height);
  // swscale aborts the process, instead of failing, when handed a format it
  // has no description of (AV_PIX_FMT_NONE, from a decoder that has not seen
  // a frame yet): such a format is refused here as a failed creation.
  SwsContextPtr context;
  if (sws_isSupportedInput(source_format) != 0) {
    context.reset(
        sws_getContext(w, h, source_format, w, h, AV_PIX_FMT_GRAY8, SWS_BILINEAR, nullptr, nullptr, nullptr));
  }
  if (!context) quen::throw_with_context("Failed to create scaler", FfmpegError(AVERROR_INVALIDDATA));
  return Scaler{std::move(context), input, output};
}

// The stream's display matrix, or nullptr when it has none. FFmpeg 6.1 moved
// the stream's side data into its codec parameters and deprecated the old
// way to it, which later releases removed: lavc 60.30.100 added the
// parameters' side data, lavf 60.15.100 deprecated the stream's.
const std::int32_t* display_matrix(const AVStream& stream) {
  constexpr std::size_t matrix_size = 9 * sizeof(std::int32_t);
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100) && \
    LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
  const AVPacketSideData* side_data = av_packet_side_data_get(
      stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
  if (side_data == nullptr || side_data->size < matrix_size) return nullptr;
  return reinterpret_cast<const std::int32_t*>(side_data->data);
#else
  std::size_t size = 0;
  const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (data == nullptr || size < matrix_size) return nullptr;
  return reinterpret_cast<const std::int32_t*>(data);
#endif
}

// The stream's cropping as the container states it, in the order FFmpeg
// stores it (top, bottom, left, right, little-endian 32-bit each); all zero
// when it has none. Libraries before lavc 61.10.100 (FFmpeg 7.1) do not
// report it, and their ffmpeg program does not crop either.
CropEdges container_crop_edges([[maybe_unused]] const AVStream& stream) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 10, 100)
  const AVPacketSideData* side_data = av_packet_side_data_get(
      stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_FRAME_CROPPING);
  if (side_data == nullptr || side_data->size < 4 * sizeof(std::uint32_t)) return {};
  const auto field = [data = side_data->data](std::size_t n) {
    const std::uint8_t* at = data + 4 * n;
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
  };
  return {field(0), field(1), field(2), field(3)};
#else
  return {};
#endif
}

// The part of the stored frames the ffmpeg program keeps: it crops only
// when the container takes something off an edge, on the decoder's own
// chroma grid.
FrameCrop kept_part(const AVStream& stream, const AVCodecContext& decoder) {
  const auto width = static_cast<std::uint32_t>(decoder.width);
  const auto height = static_cast<std::uint32_t>(decoder.height);
  const FrameCrop whole{0, 0, width, height};
  const CropEdges edges = container_crop_edges(stream);
  if ((edges.top | edges.bottom | edges.left | edges.right) == 0) return whole;
  const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(decoder.pix_fmt);
  if (format == nullptr) return whole;
  return crop_like_ffmpeg(edges, width, height, format->log2_chroma_w, format->log2_chroma_h);
}

std::uint32_t count_video_streams(const AVFormatContext& format_ctx) {
  std::uint32_t count = 0;
  for (unsigned i = 0; i < format_ctx.nb_streams; ++i) {
    if (format_ctx.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++count;
  }
  return count;
}

// Timestamps of a damaged file can be anything: a start that cannot be
// rescaled or compared counts as unknown.
std::int64_t start_delay(const AVFormatContext& format_ctx, const AVStream& stream) {
  if (stream.start_time == AV_NOPTS_VALUE || format_ctx.start_time == AV_NOPTS_VALUE) return 0;
  const std::int64_t start = av_rescale_q(stream.start_time, stream.time_base, AVRational{1, AV_TIME_BASE});
  std::int64_t delay = 0;
  if (start == AV_NOPTS_VALUE || __builtin_sub_overflow(start, format_ctx.start_time, &delay)) return 0;
  return std::max<std::int64_t>(delay, 0);
}

SampleAspect displayed_sample_aspect(AVFormatContext& format_ctx, AVStream& stream,
                                     DisplayOrientation orientation) {
  AVRational aspect = av_guess_sample_aspect_ratio(&format_ctx, &stream, nullptr);
  if (aspect.num <= 0 || aspect.den <= 0) return {};
  av_reduce(&aspect.num, &aspect.den, aspect.num, aspect.den, std::numeric_limits<int>::max());
  const auto num = static_cast<std::uint32_t>(aspect.num);
  const auto den = static_cast<std::uint32_t>(aspect.den);
  // A pixel turned on its side is as tall as it was wide.
  return swaps_sides(orientation) ? SampleAspect{den, num} : SampleAspect{num, den};
}

// How far into the input the container's reader is; -1 when it cannot tell
// (some inputs have no I/O context), which never counts as moving on.
std::int64_t read_position(const AVFormatContext& format_ctx) {
  if (format_ctx.pb == nullptr) return -1;
  return std::max<std::int64_t>(avio_tell(format_ctx.pb), -1);
}

// Reads the next packet of any stream; false at the end of the file. Only a
// failed read that takes the reader beyond anywhere it reached in this run of
// failures is progress: a reader going back and forth would otherwise be
// retried for ever.
bool read_packet(AVFormatContext* format_ctx, Packet& packet, int allowance) {
  std::int64_t furthest = read_position(*format_ctx);
  int stuck_failures = 0;
  for (;;) {
    const int code = av_read_frame(format_ctx, packet.get());
    if (code == 0) return true;
    if (code == AVERROR_EOF) return false;
    const std::int64_t position = read_position(*format_ctx);
    if (position > furthest) {
      furthest = position;
      stuck_failures = 0;
    } else if (++stuck_failures >= allowance) {
      throw FfmpegError(code);
    }
  }
}

bool belongs_to(const AVFormatContext& format_ctx, const AVPacket& packet, std::uint64_t stream_index) {
  const int position = packet.stream_index;
  return position >= 0 && static_cast<unsigned>(position) < format_ctx.nb_streams &&
         static_cast<std::uint64_t>(format_ctx.streams[position]->index) == stream_index;
}

}  // namespace

VideoInput open_video(const std::string& path) {
  init_ffmpeg();
  auto format_ctx = open_container(path);
  AVStream& stream = best_video_stream(*format_ctx);
  auto decoder = make_decoder_context(stream);
  open_decoder(*decoder);

  const auto stored_width = static_cast<std::uint32_t>(decoder->width);
  const auto stored_height = static_cast<std::uint32_t>(decoder->height);
  // Cropped first, then turned, in the order of the ffmpeg program's filters.
  const FrameCrop crop = kept_part(stream, *decoder);
  const auto orientation = orientation_from_matrix(display_matrix(stream));
  const bool swapped = swaps_sides(orientation);
  const auto width = swapped ? crop.height : crop.width;
  const auto height = swapped ? crop.width : crop.height;
  const auto fps_num = static_cast<std::uint32_t>(stream.avg_frame_rate.num);
  const auto fps_den = static_cast<std::uint32_t>(stream.avg_frame_rate.den);
  const auto est_frames = estimate_frames(fps_num, fps_den, format_ctx->duration);
  auto scaler = make_scaler(decoder->pix_fmt, stored_width, stored_height);
  const char* codec_name = decoder->codec != nullptr ? decoder->codec->name : nullptr;
  quen::eprint("Video: {}x{}, {}/{} fps, ~{} frames, codec: {}\n", width, height, fps_num, fps_den,
               est_frames, codec_name_debug(codec_name));

  VideoInput video;
  video.stream_index = static_cast<std::uint64_t>(stream.index);
  video.format_ctx = std::move(format_ctx);
  video.decoder = std::move(decoder);
  video.scaler = std::move(scaler);
  video.est_frames = est_frames;
  video.width = width;
  video.height = height;
  video.fps_num = fps_num;
  video.fps_den = fps_den;
  video.crop = crop;
  video.orientation = orientation;
  video.video_streams = count_video_streams(*video.format_ctx);
  video.start_delay_us = start_delay(*video.format_ctx, stream);
  video.sample_aspect = displayed_sample_aspect(*video.format_ctx, stream, orientation);
  return video;
}

std::optional<Packet> next_video_packet(AVFormatContext* format_ctx, std::uint64_t stream_index,
                                        int allowance) {
  for (;;) {
    Packet packet;
    if (!read_packet(format_ctx, packet, allowance)) return std::nullopt;
    if (belongs_to(*format_ctx, *packet.get(), stream_index)) return packet;
  }
}

quen::FrameSelection frame_selection(const VideoInput& video) {
  return {video.stream_index, video.video_streams, video.start_delay_us};
}

std::uint64_t estimate_frames(std::uint32_t fps_num, std::uint32_t fps_den, std::int64_t duration_us) {
  const double fps = static_cast<double>(fps_num) / static_cast<double>(std::max(fps_den, 1u));
  const double seconds = static_cast<double>(duration_us) / 1000000.0;
  return saturating_count(fps * seconds);
}

std::uint64_t saturating_count(double value) {
  // Written so that NaN, which fails every comparison, lands on 0.
  if (!(value > 0.0)) return 0;
  if (value >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(value);
}

std::string codec_name_debug(const char* name) {
  if (name == nullptr) return "None";
  std::string text = "Some(\"";
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') text += '\\';
    text += *c;
  }
  text += "\")";
  return text;
}

}  // namespace quenmap
