#pragma once
// The opened input video: container, chosen video stream, decoder and the
// scaler to 8-bit grey, and the packets of that stream one at a time.

#include "common/frame_selection.hpp"
#include "container_crop.hpp"
#include "display_orientation.hpp"
#include "ffmpeg_handles.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace quenmap {

// A pixel format and a frame size, fixed when the scaler is made.
struct PictureDefinition {
  AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
  std::uint32_t width = 0;
  std::uint32_t height = 0;

  bool operator==(const PictureDefinition&) const = default;
};

// Converts decoded frames to grey at the size they are stored at.
struct Scaler {
  SwsContextPtr context;
  PictureDefinition input;
  PictureDefinition output;
};

// The shape of a pixel, width over height; 0/1 when the file does not say.
struct SampleAspect {
  std::uint32_t num = 0;
  std::uint32_t den = 1;

  bool operator==(const SampleAspect&) const = default;
};

struct VideoInput {
  FormatContextPtr format_ctx;
  std::uint64_t stream_index = 0;
  CodecContextPtr decoder;
  Scaler scaler;
  std::uint64_t est_frames = 0;
  // The size of the frames as displayed, which is what the analysis and the
  // encoder see; the stored size is the scaler's.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t fps_num = 0;
  std::uint32_t fps_den = 0;
  // The part of each stored frame that the ffmpeg program keeps: the whole
  // frame unless the container crops it.
  FrameCrop crop;
  // How the ffmpeg program turns the kept part for display.
  DisplayOrientation orientation = DisplayOrientation::identity;
  // Streams of the container that are video, attached pictures included.
  std::uint32_t video_streams = 0;
  // How long after the start of the file the chosen stream starts, in
  // microseconds; 0 when it starts first or either start is unknown.
  std::int64_t start_delay_us = 0;
  // As displayed: turned with the frames.
  SampleAspect sample_aspect;

  VideoInput() = default;
  VideoInput(VideoInput&&) noexcept = default;
  VideoInput& operator=(VideoInput&&) noexcept = default;
  // The container goes first, then the decoder it fed, then the scaler.
  ~VideoInput() {
    format_ctx.reset();
    decoder.reset();
    scaler.context.reset();
  }
};

// Opens the container, its best video stream, a decoder and the grey scaler,
// and prints the "Video:" line. Throws with the step that failed.
VideoInput open_video(const std::string& path);

// Failed reads in a row that leave the reader no further into the file, after
// which it counts as stuck: retrying it further would hang the run.
inline constexpr int stuck_read_allowance = 1000;

// The next packet of the stream, in the container's order, or nothing at the
// end of the file. Packets of other streams are read and dropped. A failed
// read is retried at once: demuxers report a failure for each piece of damage
// they skip while they move on through the file, so a damaged file yields the
// packets that can be read. Only `allowance` failures in a row that leave the
// read position no further than it has been (or unknown) end in the
// FfmpegError of the last failure; a packet starts the count again.
std::optional<Packet> next_video_packet(AVFormatContext* format_ctx, std::uint64_t stream_index,
                                        int allowance = stuck_read_allowance);

// What the ffmpeg program must be told to decode the frames this video's
// analysis sees.
quen::FrameSelection frame_selection(const VideoInput& video);

// Frames in `duration_us` microseconds at fps_num/fps_den (a denominator of 0
// counts as 1), truncated; an unknown (negative) duration gives 0.
std::uint64_t estimate_frames(std::uint32_t fps_num, std::uint32_t fps_den, std::int64_t duration_us);

// Truncation toward zero that saturates: NaN and negatives give 0, values of
// 2^64 or more the largest count.
std::uint64_t saturating_count(double value);

// The codec name as an optional text in debug form: Some("h264") or None.
std::string codec_name_debug(const char* name);

}  // namespace quenmap
