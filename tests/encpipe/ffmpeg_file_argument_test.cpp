#include "ffmpeg_file_argument.hpp"

#include <gtest/gtest.h>

namespace encpipe {
namespace {

TEST(FfmpegFileArgument, PathsFfmpegReadsAsTheFileStayAsTheyAre) {
  // A "/" or "_" ends a protocol name before any ":".
  for (const char* path :
       {"clip_quenav1.mp4", "out dir/encoded.mp4", "quenav1_clip/out.av1", "/tmp/t:x/quenav1_-dash/out.av1",
        "/-abs.mp4", "a/b:c.mp4", "_x:y.mp4", "subfile,part.mp4", ""}) {
    EXPECT_EQ(ffmpeg_file_argument(path), path);
  }
}

TEST(FfmpegFileArgument, OptionAndProtocolLookalikesGetDotSlash) {
  for (const char* path : {"-dash_quenav1.mp4", "-", "12:00_quenav1.mp4", "t:x/quenav1_clip/out.av1",
                           ":x.mp4", "a+b-c.d:e.mp4", "file:x.mp4", "subfile,,start,0,end,0,,:clip.mp4"}) {
    EXPECT_EQ(ffmpeg_file_argument(path), std::string("./") + path);
  }
}

}  // namespace
}  // namespace encpipe
