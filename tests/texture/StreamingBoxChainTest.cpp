// Halving a chain of levels row by row as the top level is written gives, level for level,
// the 2 x 2 integer averages (a + b + c + d + 2) >> 2 of the level above, whatever the order
// in which the top rows arrive; odd last columns and rows are left out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "BoxFastPath.h"
#include "StreamingBoxChain.h"

namespace rastro::testing {
namespace {

struct Level {
  UINT width, height, pitch;
  std::vector<BYTE> bytes;
};

// A chain of levels of 4-byte pixels, each floor(half) the one above, padded rows; the top
// one pseudo-random.
std::vector<Level> MakeLevels(UINT width, UINT height, UINT count) {
  std::vector<Level> levels;
  std::uint32_t seed = 99;
  for (UINT i = 0; i < count; ++i) {
    Level level{width, height, width * 4 + 8, {}};
    level.bytes.assign(std::size_t{level.pitch} * height, 0xEE);
    if (i == 0) {
      for (BYTE& b : level.bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<BYTE>(seed >> 16);
      }
    }
    levels.push_back(std::move(level));
    width /= 2;
    height /= 2;
  }
  return levels;
}

// Every byte of level `i` from the level above, worked out channel by channel.
std::vector<BYTE> ExpectedHalf(const Level& above, const Level& level) {
  std::vector<BYTE> expected = level.bytes;
  for (UINT y = 0; y < level.height; ++y) {
    for (UINT x = 0; x < level.width; ++x) {
      for (UINT channel = 0; channel < 4; ++channel) {
        auto at = [&](UINT sx, UINT sy) {
          return unsigned{above.bytes[std::size_t{sy} * above.pitch + 4 * sx + channel]};
        };
        const unsigned sum = at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1);
        expected[std::size_t{y} * level.pitch + 4 * x + channel] = static_cast<BYTE>((sum + 2) >> 2);
      }
    }
  }
  return expected;
}

struct ChainCase {
  const char* name;
  UINT width, height, levels;
  std::vector<UINT> steps;  // rows delivered at each report, repeated until the top is done
};

class StreamingBoxChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(StreamingBoxChainTest, BuildsEveryLevelAsTheWholeLevelAverage) {
  const ChainCase& c = GetParam();
  std::vector<Level> levels = MakeLevels(c.width, c.height, c.levels);
  std::vector<StreamingBoxChain::Level> views;
  for (Level& level : levels) views.push_back({level.bytes.data(), level.pitch, level.width, level.height});
  StreamingBoxChain chain(HalveFourChannelPortable, views);
  UINT rows = 0;
  for (std::size_t i = 0; rows < c.height; ++i) {
    // An odd last row of the top is never needed.
    if (rows < (c.height & ~1u)) {
      EXPECT_FALSE(chain.Complete()) << rows;
    }
    rows = std::min(c.height, rows + c.steps[i % c.steps.size()]);
    chain.FirstLevelRowsDone(rows);
  }
  EXPECT_TRUE(chain.Complete());
  for (std::size_t i = 1; i < levels.size(); ++i) {
    // Expected from the level above as built, so each level is checked against its own source;
    // the first is checked against the untouched top.
    EXPECT_EQ(levels[i].bytes, ExpectedHalf(levels[i - 1], levels[i])) << "level " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, StreamingBoxChainTest,
                         ::testing::Values(ChainCase{"SquareRowByRow", 16, 16, 5, {1}},
                                           ChainCase{"OddSizesInUnevenSteps", 13, 11, 4, {3, 1, 2}},
                                           ChainCase{"WideInOneGo", 32, 4, 3, {4}},
                                           ChainCase{"TallSkippingCounts", 6, 22, 3, {5, 2}}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(StreamingBoxChain, IncompleteUntilTheLastRowsArrive) {
  std::vector<Level> levels = MakeLevels(8, 8, 4);
  std::vector<StreamingBoxChain::Level> views;
  for (Level& level : levels) views.push_back({level.bytes.data(), level.pitch, level.width, level.height});
  StreamingBoxChain chain(HalveFourChannelPortable, views);
  chain.FirstLevelRowsDone(7);
  EXPECT_FALSE(chain.Complete());
  // Level 2 row 1 needs level 1 row 3, which needs top row 7.
  const Level& third = levels[2];
  EXPECT_EQ(third.bytes[third.pitch], 0xEE);
  chain.FirstLevelRowsDone(8);
  EXPECT_TRUE(chain.Complete());
  EXPECT_EQ(levels[3].bytes, ExpectedHalf(levels[2], levels[3]));
}

}  // namespace
}  // namespace rastro::testing
