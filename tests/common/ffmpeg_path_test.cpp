#include "common/ffmpeg_path.hpp"

#include <gtest/gtest.h>

namespace quen {
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

TEST(FfmpegLocalFile, FileProtocolNamesTheRestAndOtherProtocolsNoFile) {
  EXPECT_EQ(ffmpeg_local_file("v.mp4"), "v.mp4");
  EXPECT_EQ(ffmpeg_local_file("a/b:c.mp4"), "a/b:c.mp4");
  EXPECT_EQ(ffmpeg_local_file("file:v.mp4"), "v.mp4");
  EXPECT_EQ(ffmpeg_local_file("file:/abs/v.mp4"), "/abs/v.mp4");
  for (const char* path :
       {"pipe:0", "https://example.com/v.mp4", "12:00.mp4", "FILE:v.mp4", "subfile,,start,0,end,0,,:v.mp4"}) {
    EXPECT_EQ(ffmpeg_local_file(path), std::nullopt) << path;
  }
}

}  // namespace
}  // namespace quen
