#include "size_report.hpp"

#include <gtest/gtest.h>

namespace encpipe {
namespace {

TEST(FinalReport, HalvedOutputReadsMinusFiftyPercent) {
  EXPECT_EQ(final_report("clip.mp4", 10485760, "clip_quenav1.mp4", 5242880),
            "\n=== Done ===\n"
            "input:  clip.mp4 (10.0 MB)\n"
            "output: clip_quenav1.mp4 (5.0 MB, -50.0% vs input)\n");
}

TEST(FinalReport, PercentageAlwaysCarriesItsSign) {
  EXPECT_EQ(final_report("in", 1000000, "out", 1100000),
            "\n=== Done ===\ninput:  in (1.0 MB)\noutput: out (1.0 MB, +10.0% vs input)\n");
  EXPECT_EQ(final_report("in", 1000000, "out", 1000000),
            "\n=== Done ===\ninput:  in (1.0 MB)\noutput: out (1.0 MB, +0.0% vs input)\n");
  // 0.04 % smaller rounds to zero but stays a reduction.
  EXPECT_EQ(final_report("in", 1000000, "out", 999600),
            "\n=== Done ===\ninput:  in (1.0 MB)\noutput: out (1.0 MB, -0.0% vs input)\n");
}

TEST(FinalReport, InputWithoutSizeGivesZeroPercent) {
  EXPECT_EQ(final_report("rtmp://host/live", 0, "out.mp4", 123456),
            "\n=== Done ===\ninput:  rtmp://host/live (0.0 MB)\noutput: out.mp4 (0.1 MB, +0.0% vs input)\n");
}

TEST(SizeChangePercent, SmallerOutputIsNegativeNotWrapped) {
  EXPECT_DOUBLE_EQ(size_change_percent(10485760, 5242880), -50.0);
  EXPECT_DOUBLE_EQ(size_change_percent(4, 0), -100.0);
  EXPECT_DOUBLE_EQ(size_change_percent(0, 5), 0.0);
  EXPECT_DOUBLE_EQ(size_change_percent(UINT64_MAX, UINT64_MAX), 0.0);
}

TEST(Av1SizeLine, MegabytesWithOneDigitTiesToEven) {
  EXPECT_EQ(av1_size_line("/tmp/quenav1_clip/out.av1", 1572864),
            "      AV1: /tmp/quenav1_clip/out.av1 (1572864 bytes / 1.5 MB)\n");
  EXPECT_EQ(av1_size_line("a", 104857), "      AV1: a (104857 bytes / 0.1 MB)\n");
  // Exactly 0.25 MB: the tie goes to the even digit.
  EXPECT_EQ(av1_size_line("a", 262144), "      AV1: a (262144 bytes / 0.2 MB)\n");
  EXPECT_EQ(av1_size_line("a", 0), "      AV1: a (0 bytes / 0.0 MB)\n");
  EXPECT_EQ(av1_size_line("a", UINT64_MAX),
            "      AV1: a (18446744073709551615 bytes / 17592186044416.0 MB)\n");
}

}  // namespace
}  // namespace encpipe
