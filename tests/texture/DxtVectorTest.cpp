// The vector DXT encoders against the single-block encoders, which the other DXT tests pin to
// values worked out by hand: every block must come out byte for byte the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "DxtBlock.h"
#include "ProcessorFeatures.h"
#include "RandomDxtBlocks.h"

namespace rastro {
namespace {

class VectorLevelScope {
 public:
  explicit VectorLevelScope(VectorLevel level) { OverrideVectorLevel(level); }
  ~VectorLevelScope() { OverrideVectorLevel(DetectVectorLevel()); }
};

constexpr BlockEncoder kEncoders[] = {EncodeDxt1Block, EncodeDxt2Block, EncodeDxt3Block, EncodeDxt4Block,
                                      EncodeDxt5Block};
constexpr DxtKind kKinds[] = {DxtKind::Dxt1, DxtKind::Dxt2, DxtKind::Dxt3, DxtKind::Dxt4, DxtKind::Dxt5};

class DxtVectorEncoders : public ::testing::TestWithParam<VectorLevel> {};

TEST_P(DxtVectorEncoders, WriteTheBytesOfTheSingleBlockEncoders) {
  const VectorLevel level = GetParam();
  if (static_cast<int>(DetectVectorLevel()) < static_cast<int>(level)) GTEST_SKIP() << "not on this processor";
  VectorLevelScope scope(level);
  testing::RandomDxtBlocks random(static_cast<std::uint32_t>(level) * 977 + 5);
  // An odd batch size, so that lanes start at every offset and some blocks go one by one.
  constexpr std::size_t kBatch = 37;
  constexpr int kBatches = 100;
  std::vector<BlockPixels> blocks(kBatch);
  std::vector<std::uint8_t> batched(kBatch * 16), single(kBatch * 16);
  int mismatches = 0;
  for (int round = 0; round < kBatches; ++round) {
    for (auto& block : blocks) block = random.Next();
    for (int k = 0; k < 5; ++k) {
      const std::size_t bytes = k == 0 ? kDxt1BlockBytes : kDxt2To5BlockBytes;
      EncodeDxtBlocks(kKinds[k], blocks.data(), batched.data(), kBatch);
      for (std::size_t b = 0; b < kBatch; ++b) kEncoders[k](single.data() + b * bytes, blocks[b]);
      for (std::size_t b = 0; b < kBatch; ++b) {
        if (std::memcmp(batched.data() + b * bytes, single.data() + b * bytes, bytes) != 0 && ++mismatches <= 5) {
          ADD_FAILURE() << "DXT" << k + 1 << " block " << round * kBatch + b << " differs";
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, DxtVectorEncoders, ::testing::Values(VectorLevel::Sse2, VectorLevel::Avx2),
                         [](const auto& levelInfo) {
                           return std::string(levelInfo.param == VectorLevel::Sse2 ? "Sse2" : "Avx2");
                         });

}  // namespace
}  // namespace rastro
