#pragma once
// The error value of a failed FFmpeg call, and the one-time preparation of
// the FFmpeg libraries that goes with it.

#include "common/error.hpp"

#include <string>

namespace quenmap {

// One negative FFmpeg error code; the message is FFmpeg's text for it. It has
// no cause: callers put their own context around it.
class FfmpegError : public quen::Error {
 public:
  explicit FfmpegError(int code);
  int code() const { return code_; }

 private:
  int code_;
};

// The text of an FFmpeg error code: FFmpeg's own text for its error tags, the
// C library's strerror text of -code for every other code.
std::string ffmpeg_error_text(int code);

// Takes the texts of FFmpeg's error tags and registers its devices. Call it on
// the main thread before any worker exists; repeating it changes nothing.
void init_ffmpeg();

}  // namespace quenmap
