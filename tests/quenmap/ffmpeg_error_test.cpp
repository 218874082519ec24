#include "quenmap/ffmpeg_error.hpp"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstring>
#include <string>

namespace quenmap {
namespace {

const int all_tags[] = {
    AVERROR_BSF_NOT_FOUND,
    AVERROR_BUG,
    AVERROR_BUG2,
    AVERROR_BUFFER_TOO_SMALL,
    AVERROR_DECODER_NOT_FOUND,
    AVERROR_DEMUXER_NOT_FOUND,
    AVERROR_ENCODER_NOT_FOUND,
    AVERROR_EOF,
    AVERROR_EXIT,
    AVERROR_EXTERNAL,
    AVERROR_FILTER_NOT_FOUND,
    AVERROR_INVALIDDATA,
    AVERROR_MUXER_NOT_FOUND,
    AVERROR_OPTION_NOT_FOUND,
    AVERROR_PATCHWELCOME,
    AVERROR_PROTOCOL_NOT_FOUND,
    AVERROR_STREAM_NOT_FOUND,
    AVERROR_UNKNOWN,
    AVERROR_EXPERIMENTAL,
    AVERROR_INPUT_CHANGED,
    AVERROR_OUTPUT_CHANGED,
    AVERROR_HTTP_BAD_REQUEST,
    AVERROR_HTTP_UNAUTHORIZED,
    AVERROR_HTTP_FORBIDDEN,
    AVERROR_HTTP_NOT_FOUND,
    AVERROR_HTTP_OTHER_4XX,
    AVERROR_HTTP_SERVER_ERROR,
};

TEST(FfmpegError, TagsHaveFfmpegsOwnText) {
  init_ffmpeg();
  const FfmpegError error(AVERROR_INVALIDDATA);
  EXPECT_STREQ(error.what(), "Invalid data found when processing input");
  EXPECT_EQ(error.code(), AVERROR_INVALIDDATA);
  EXPECT_EQ(ffmpeg_error_text(AVERROR_INPUT_CHANGED), "Input changed");
  EXPECT_EQ(ffmpeg_error_text(AVERROR_DECODER_NOT_FOUND), "Decoder not found");
}

TEST(FfmpegError, EveryTagIsInTheTable) {
  init_ffmpeg();
  for (const int tag : all_tags) {
    char expected[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(tag, expected, sizeof expected);
    // A tag missing from the table would fall through to strerror, whose
    // "Unknown error" text is not FFmpeg's.
    EXPECT_EQ(FfmpegError(tag).what(), std::string(expected)) << "tag " << tag;
  }
}

TEST(FfmpegError, OtherCodesAreNegatedErrnoValues) {
  init_ffmpeg();
  // strerror may reuse its buffer on the next call: keep copies.
  const std::string no_entry = std::strerror(ENOENT);
  const std::string no_memory = std::strerror(ENOMEM);
  const std::string unknown = std::strerror(123456);
  EXPECT_EQ(FfmpegError(AVERROR(ENOENT)).what(), no_entry);
  EXPECT_EQ(FfmpegError(AVERROR(ENOMEM)).what(), no_memory);
  EXPECT_EQ(FfmpegError(-123456).what(), unknown);
  EXPECT_EQ(FfmpegError(AVERROR(EAGAIN)).code(), AVERROR(EAGAIN));
}

TEST(FfmpegError, RepeatedInitChangesNothing) {
  init_ffmpeg();
  const std::string before = FfmpegError(AVERROR_EOF).what();
  init_ffmpeg();
  init_ffmpeg();
  EXPECT_EQ(FfmpegError(AVERROR_EOF).what(), before);
  EXPECT_EQ(before, "End of file");
}

}  // namespace
}  // namespace quenmap
