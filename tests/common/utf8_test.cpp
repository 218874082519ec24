#include "common/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

TEST(Utf8, AcceptsWellFormedTexts) {
  for (const auto text : {""sv, "plain"sv, "\0nul"sv, "\xC2\x80"sv, "\xDF\xBF"sv, "\xE0\xA0\x80"sv,
                          "\xED\x9F\xBF"sv, "\xEE\x80\x80"sv, "\xF0\x90\x80\x80"sv, "\xF4\x8F\xBF\xBF"sv,
                          "8x8 \xE2\x89\x88 x264 \xE2\x86\x92 static"sv}) {
    EXPECT_TRUE(quen::is_valid_utf8(text)) << text;
  }
}

TEST(Utf8, RefusesMalformedSequences) {
  for (const auto text : {
           "\x80"sv,              // stray continuation byte
           "\xC0\xAF"sv,          // overlong "/"
           "\xC1\xBF"sv,          // overlong
           "\xE0\x9F\xBF"sv,      // overlong three-byte form
           "\xED\xA0\x80"sv,      // surrogate U+D800
           "\xF0\x8F\xBF\xBF"sv,  // overlong four-byte form
           "\xF4\x90\x80\x80"sv,  // above U+10FFFF
           "\xF5\x80\x80\x80"sv,  // lead byte that never occurs
           "\xFF"sv,
           "abc\xE2\x89"sv,   // truncated at the end
           "\xE2\x89x"sv,     // continuation missing
           "\xC3\xA9\xA9"sv,  // one continuation too many
       }) {
    EXPECT_FALSE(quen::is_valid_utf8(text)) << testing::PrintToString(std::string(text));
  }
}

TEST(Utf8, ReplacementKeepsValidPartsAndMarksEachBadByte) {
  EXPECT_EQ(quen::to_valid_utf8("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(quen::to_valid_utf8("a\xFF"
                                "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(quen::to_valid_utf8("\xE2\x89"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(quen::is_valid_utf8(quen::to_valid_utf8("\xF4\x90\x80\x80\xC0")));
}

}  // namespace
