#include "common/input_stem.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace {

TEST(InputStem, DropsDirectoryAndFinalExtension) {
  EXPECT_EQ(quen::input_stem("clips/holiday.mov", "roi"), "holiday");
  EXPECT_EQ(quen::input_stem("/abs/path/clip.mp4", "roi"), "clip");
  EXPECT_EQ(quen::input_stem("archive.tar.gz", "roi"), "archive.tar");
  EXPECT_EQ(quen::input_stem("name.", "roi"), "name");
  EXPECT_EQ(quen::input_stem("dir.d/plain", "roi"), "plain");
  EXPECT_EQ(quen::input_stem("v\xC3\xAD"
                             "deo.mkv",
                             "roi"),
            "v\xC3\xAD"
            "deo");
}

TEST(InputStem, LeadingDotIsNotAnExtension) {
  EXPECT_EQ(quen::input_stem(".clip", "roi"), ".clip");
  EXPECT_EQ(quen::input_stem("x/.clip", "roi"), ".clip");
  EXPECT_EQ(quen::input_stem(".clip.mp4", "roi"), ".clip");
}

TEST(InputStem, TrailingSeparatorsAndDotsAreIgnored) {
  EXPECT_EQ(quen::input_stem("videos/", "roi"), "videos");
  EXPECT_EQ(quen::input_stem("a/b/.", "roi"), "b");
  EXPECT_EQ(quen::input_stem("a/b.mp4/./", "roi"), "b");
  EXPECT_EQ(quen::input_stem("a//b.mp4//", "roi"), "b");
}

TEST(InputStem, FallbackWithoutFileName) {
  for (const std::string_view path : {"", "/", ".", "./", "/.", "..", "x/..", "x/../", "//"}) {
    EXPECT_EQ(quen::input_stem(path, "output"), "output") << '"' << path << '"';
    EXPECT_EQ(quen::last_path_component(path), std::nullopt) << '"' << path << '"';
  }
}

TEST(InputStem, FallbackWhenStemIsNotUtf8) {
  EXPECT_EQ(quen::input_stem("clips/\xFF\xFE.mp4", "output"), "output");
  // Only the stem counts: a bad byte in the extension or directory is dropped with it.
  EXPECT_EQ(quen::input_stem("clips/a.\xFF", "output"), "a");
  EXPECT_EQ(quen::input_stem("\xFF/a.mp4", "output"), "a");
}

}  // namespace
