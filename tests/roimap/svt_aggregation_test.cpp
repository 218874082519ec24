#include "roimap/svt_aggregation.hpp"

#include "common/error.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace quen::roimap {
namespace {

TEST(SvtGrid, CountsPartialBlocksAtTheRightAndBottom) {
  const auto hd = SvtGrid::for_frame(1920, 1080);
  EXPECT_EQ(hd.cols, 30u);
  EXPECT_EQ(hd.rows, 17u);
  EXPECT_EQ(hd.svt_per_frame, 510u);
  const auto small = SvtGrid::for_frame(130, 70);
  EXPECT_EQ(small.cols, 3u);
  EXPECT_EQ(small.rows, 2u);
  const auto huge = SvtGrid::for_frame(4294967295u, 64);
  EXPECT_EQ(huge.cols, 67108864u);
}

TEST(AggMethod, ChosenByTheExactWholeText) {
  EXPECT_EQ(agg_method_from_text("min", AggMethod::max), AggMethod::min);
  EXPECT_EQ(agg_method_from_text("median", AggMethod::max), AggMethod::median);
  EXPECT_EQ(agg_method_from_text("p75", AggMethod::max), AggMethod::p75);
  for (const char* other : {"MIN", "mean", "", " min", "min "}) {
    EXPECT_EQ(agg_method_from_text(other, AggMethod::max), AggMethod::max) << other;
    EXPECT_EQ(agg_method_from_text(other, AggMethod::p75), AggMethod::p75) << other;
  }
  EXPECT_EQ(agg_method_from_text("max", AggMethod::p75), AggMethod::max);
}

float reduce(std::vector<float> members, AggMethod method) {
  return aggregate_members(members, method);
}

TEST(AggregateMembers, MethodsPickTheSpecifiedMember) {
  EXPECT_EQ(reduce({3, 1, 2, 5}, AggMethod::min), 1.0f);
  EXPECT_EQ(reduce({3, 1, 2, 5}, AggMethod::max), 5.0f);
  EXPECT_EQ(reduce({3, 1, 2, 5}, AggMethod::median), 3.0f);  // index 2 of 1 2 3 5: the upper middle
  EXPECT_EQ(reduce({3, 1, 2, 5}, AggMethod::p75), 5.0f);
  EXPECT_EQ(reduce({4, 9}, AggMethod::median), 9.0f);
  EXPECT_EQ(reduce({4, 9}, AggMethod::p75), 9.0f);
  EXPECT_EQ(reduce({7}, AggMethod::median), 7.0f);

  // 64 and 56 members: median index 32 / 28, p75 index 48 / 42.
  for (const std::size_t len : {64u, 56u, 16u, 8u, 3u}) {
    std::vector<float> members(len);
    std::iota(members.rbegin(), members.rend(), 0.0f);  // descending, so a sort is needed
    EXPECT_EQ(reduce(members, AggMethod::median), static_cast<float>(len / 2)) << len;
    EXPECT_EQ(reduce(members, AggMethod::p75), static_cast<float>(3 * len / 4)) << len;
  }
}

TEST(FramePairs, RefusesARunWithoutAFramePair) {
  const std::vector<float> none;
  try {
    frame_pairs(none, 25, 12, 1);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Too few frames: 1 decoded frames, at least 2 are needed to form a frame pair");
  }
  EXPECT_THROW(frame_pairs(none, 25, 12, 0), Error);

  const std::vector<float> two_pairs(2 * 300);
  const auto counts = frame_pairs(two_pairs, 25, 12, 3);
  EXPECT_EQ(counts.per_frame, 300u);
  EXPECT_EQ(counts.pairs, 2u);
}

// d-value of block (by, bx) in pair p: a distinct number per position.
std::vector<float> numbered_history(std::uint32_t pairs, std::uint16_t bw, std::uint16_t bh) {
  std::vector<float> d(std::size_t{pairs} * bw * bh);
  std::iota(d.begin(), d.end(), 0.0f);
  return d;
}

TEST(AggregateSvtBlocks, GathersTheMembersUnderEachBlock) {
  // 1920x1080: the bottom SVT row has QuenMAP rows 128..134 only (56 members).
  const std::uint16_t bw = 240, bh = 135;
  const auto grid = SvtGrid::for_frame(1920, 1080);
  const auto d = numbered_history(2, bw, bh);
  const auto max = aggregate_svt_blocks(d, bw * bh, 2, bw, bh, grid, AggMethod::max);
  const auto min = aggregate_svt_blocks(d, bw * bh, 2, bw, bh, grid, AggMethod::min);
  ASSERT_EQ(max.size(), 2u * 510u);

  const auto at = [&](std::uint32_t p, std::uint32_t by, std::uint32_t bx) {
    return static_cast<float>(std::size_t{p} * bw * bh + by * bw + bx);
  };
  EXPECT_EQ(min[0], at(0, 0, 0));
  EXPECT_EQ(max[0], at(0, 7, 7));
  EXPECT_EQ(max[510 + 16 * 30 + 29], at(1, 134, 239));
  EXPECT_EQ(min[510 + 16 * 30 + 29], at(1, 128, 232));

  // Sorted members of the bottom-left block are rows 128..134 x cols 0..7;
  // median index 28 is row 131 col 4, p75 index 42 is row 133 col 2.
  const auto median = aggregate_svt_blocks(d, bw * bh, 2, bw, bh, grid, AggMethod::median);
  const auto p75 = aggregate_svt_blocks(d, bw * bh, 2, bw, bh, grid, AggMethod::p75);
  EXPECT_EQ(median[16 * 30], at(0, 131, 4));
  EXPECT_EQ(p75[16 * 30], at(0, 133, 2));
}

TEST(AggregateSvtBlocks, ABlockWithoutMembersIsZeroUnderEveryMethod) {
  // 70 pixels wide: 8 QuenMAP columns, 2 SVT columns, the second empty.
  const std::uint16_t bw = 8, bh = 8;
  const auto grid = SvtGrid::for_frame(70, 64);
  std::vector<float> d(bw * bh, 5.0f);
  for (const auto method : {AggMethod::min, AggMethod::max, AggMethod::median, AggMethod::p75}) {
    const auto values = aggregate_svt_blocks(d, bw * bh, 1, bw, bh, grid, method);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0], 5.0f);
    EXPECT_EQ(values[1], 0.0f);
  }
  // 72 pixels wide: the second column has one QuenMAP column.
  const std::uint16_t bw9 = 9;
  std::vector<float> d9(bw9 * bh, 1.0f);
  for (std::uint16_t by = 0; by < bh; ++by) d9[by * bw9 + 8] = 3.0f;
  const auto values =
      aggregate_svt_blocks(d9, bw9 * bh, 1, bw9, bh, SvtGrid::for_frame(72, 64), AggMethod::min);
  EXPECT_EQ(values[1], 3.0f);
}

}  // namespace
}  // namespace quen::roimap
