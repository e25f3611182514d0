// The vector DXT encoders and decoders against the single-block ones, which the other DXT tests pin to
// values worked out by hand: every block must come out byte for byte the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
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

class DxtVectorCodecs : public ::testing::TestWithParam<VectorLevel> {};

TEST_P(DxtVectorCodecs, WriteTheBytesOfTheSingleBlockEncoders) {
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

TEST_P(DxtVectorCodecs, DecodeToThePixelsOfTheSingleBlockDecoders) {
  const VectorLevel level = GetParam();
  if (static_cast<int>(DetectVectorLevel()) < static_cast<int>(level)) GTEST_SKIP() << "not on this processor";
  VectorLevelScope scope(level);
  constexpr BlockDecoder kDecoders[] = {DecodeDxt1Block, DecodeDxt2Block, DecodeDxt3Block, DecodeDxt4Block,
                                        DecodeDxt5Block};
  std::mt19937 random(11);
  constexpr std::size_t kBlocks = 2000;
  std::vector<std::uint8_t> bytes(kBlocks * 16);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  // Equal and ordered colour codes choose the block's mode; make both common.
  for (std::size_t b = 0; b < kBlocks; b += 3) std::memcpy(&bytes[b * 16 + 10], &bytes[b * 16 + 8], 2);
  std::vector<BlockPixels> batched(kBlocks), single(kBlocks);
  for (int k = 0; k < 5; ++k) {
    const std::size_t stride = k == 0 ? kDxt1BlockBytes : kDxt2To5BlockBytes;
    const std::size_t count = bytes.size() / stride;
    batched.resize(count);
    single.resize(count);
    DecodeDxtBlocks(kKinds[k], bytes.data(), batched.data(), count);
    for (std::size_t b = 0; b < count; ++b) kDecoders[k](single[b], bytes.data() + b * stride);
    EXPECT_EQ(std::memcmp(batched.data(), single.data(), count * sizeof(BlockPixels)), 0) << "DXT" << k + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, DxtVectorCodecs, ::testing::Values(VectorLevel::Sse2, VectorLevel::Avx2),
                         [](const auto& levelInfo) {
                           return std::string(levelInfo.param == VectorLevel::Sse2 ? "Sse2" : "Avx2");
                         });

}  // namespace
}  // namespace rastro
