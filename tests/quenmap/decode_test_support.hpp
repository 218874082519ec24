#pragma once
// What the tests of the video input and the decode pass share: their clips,
// the messages of an error chain and a look at the lines printed.

#include "clips.hpp"

#include <exception>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace quen::testing {

// 299 frames of 1080p H.264 at 30000/1001 beside 10 s of audio: the container
// lasts exactly 10 s, so the frame estimate is 299.7.
inline std::string ntsc_10s_clip() {
  return make_clip("decode_1080p_ntsc_10s.mkv",
                   {"-f", "lavfi", "-i", "color=c=gray:size=1920x1080:rate=30000/1001:duration=9.97", "-f",
                    "lavfi", "-i", "sine=duration=10:sample_rate=8000", "-c:v", "libx264", "-preset",
                    "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le"});
}

// Stream 0: 10 frames of 64x48; stream 1: 6 frames of 128x96, marked as the
// default, which FFmpeg prefers; audio interleaved with both.
inline std::string two_video_streams_clip() {
  return make_clip("decode_two_video_streams.mkv", {"-f",
                                                    "lavfi",
                                                    "-i",
                                                    "testsrc2=size=64x48:rate=25:duration=0.4",
                                                    "-f",
                                                    "lavfi",
                                                    "-i",
                                                    "testsrc2=size=128x96:rate=25:duration=0.24",
                                                    "-f",
                                                    "lavfi",
                                                    "-i",
                                                    "sine=duration=0.4",
                                                    "-map",
                                                    "0",
                                                    "-map",
                                                    "1",
                                                    "-map",
                                                    "2",
                                                    "-c:v",
                                                    "libx264",
                                                    "-bf",
                                                    "0",
                                                    "-c:a",
                                                    "aac",
                                                    "-disposition:v:0",
                                                    "0",
                                                    "-disposition:v:1",
                                                    "default"});
}

// A path whose reads fail without end after 20 frames of 64x48: FFmpeg's
// concat protocol reads the clip and then the directory `dir`, whose reads
// fail (EISDIR) again at every retry.
inline std::string read_error_path(const std::filesystem::path& dir) {
  const auto clip =
      make_clip("decode_read_error_source.h264",
                {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "20", "-c:v", "libx264"});
  return "concat:" + clip.string() + "|" + dir.string();
}

inline void collect_chain(const std::exception& error, std::vector<std::string>& out) {
  out.emplace_back(error.what());
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& cause) {
    collect_chain(cause, out);
  }
}

// Runs `step` and returns the chain of the error it throws; empty when it
// throws nothing.
inline std::vector<std::string> error_chain(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& error) {
    std::vector<std::string> chain;
    collect_chain(error, chain);
    return chain;
  }
  return {};
}

// Whether a printed line starts with `start`. FFmpeg's own log lines may
// mention the same words in the middle ("... (Video: mjpeg ...)").
inline bool has_line_starting(const std::string& printed, const std::string& start) {
  std::istringstream lines(printed);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return false;
}

}  // namespace quen::testing
