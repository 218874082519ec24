#include "ffmpeg_error.hpp"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/error.h>
}

#include <array>
#include <cstring>
#include <string>

namespace quenmap {
namespace {

struct TagText {
  int code;
  char text[AV_ERROR_MAX_STRING_SIZE];
};

// The texts are taken once, on the main thread, before any worker exists, so
// errors made later anywhere read a table that no longer changes.
std::array<TagText, 27> tag_texts{{
    {AVERROR_BSF_NOT_FOUND, {}},
    {AVERROR_BUG, {}},
    {AVERROR_BUG2, {}},
    {AVERROR_BUFFER_TOO_SMALL, {}},
    {AVERROR_DECODER_NOT_FOUND, {}},
    {AVERROR_DEMUXER_NOT_FOUND, {}},
    {AVERROR_ENCODER_NOT_FOUND, {}},
    {AVERROR_EOF, {}},
    {AVERROR_EXIT, {}},
    {AVERROR_EXTERNAL, {}},
    {AVERROR_FILTER_NOT_FOUND, {}},
    {AVERROR_INVALIDDATA, {}},
    {AVERROR_MUXER_NOT_FOUND, {}},
    {AVERROR_OPTION_NOT_FOUND, {}},
    {AVERROR_PATCHWELCOME, {}},
    {AVERROR_PROTOCOL_NOT_FOUND, {}},
    {AVERROR_STREAM_NOT_FOUND, {}},
    {AVERROR_UNKNOWN, {}},
    {AVERROR_EXPERIMENTAL, {}},
    {AVERROR_INPUT_CHANGED, {}},
    {AVERROR_OUTPUT_CHANGED, {}},
    {AVERROR_HTTP_BAD_REQUEST, {}},
    {AVERROR_HTTP_UNAUTHORIZED, {}},
    {AVERROR_HTTP_FORBIDDEN, {}},
    {AVERROR_HTTP_NOT_FOUND, {}},
    {AVERROR_HTTP_OTHER_4XX, {}},
    {AVERROR_HTTP_SERVER_ERROR, {}},
}};

const TagText* find_tag(int code) {
  for (const auto& tag : tag_texts) {
    if (tag.code == code) return &tag;
  }
  return nullptr;
}

}  // namespace

std::string ffmpeg_error_text(int code) {
  if (const auto* tag = find_tag(code)) {
    if (tag->text[0] != '\0') return tag->text;
    // An error made before init_ffmpeg still deserves FFmpeg's own words;
    // ask for them without touching the shared table.
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
  }
  return std::strerror(-code);
}

FfmpegError::FfmpegError(int code) : quen::Error(ffmpeg_error_text(code)), code_(code) {}

void init_ffmpeg() {
  for (auto& tag : tag_texts) {
    av_strerror(tag.code, tag.text, sizeof tag.text);
  }
  avdevice_register_all();
}

}  // namespace quenmap
