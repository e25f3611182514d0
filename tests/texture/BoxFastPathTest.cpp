// Integer box halving: every channel (a + b + c + d + 2) >> 2, checked against an average
// taken field by field; the vector and portable 32-bit routines agree; and the choice between
// them follows the processor and the "DisableMMX" setting.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "BlitRegion.h"
#include "BoxFastPath.h"
#include "ProcessorFeatures.h"
#include "TestEnvironment.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

struct Field {
  int shift;
  int bits;
};

struct FormatCase {
  const char* name;
  D3DFORMAT format;
  int bytes;
  std::vector<Field> fields;  // averaged
  std::uint32_t zeroed;       // bits written as 0 (checked for zero unless the vector form may average them)
};

std::uint32_t Read(const BYTE* at, int bytes) {
  std::uint32_t value = 0;
  std::memcpy(&value, at, bytes);
  return value;
}

// The expected pixel, one field at a time.
std::uint32_t Average(const FormatCase& c, std::uint32_t a, std::uint32_t b, std::uint32_t d, std::uint32_t e) {
  std::uint32_t out = 0;
  for (const Field& f : c.fields) {
    std::uint32_t mask = (1u << f.bits) - 1;
    std::uint32_t sum =
        ((a >> f.shift) & mask) + ((b >> f.shift) & mask) + ((d >> f.shift) & mask) + ((e >> f.shift) & mask) + 2;
    out |= ((sum >> 2) & mask) << f.shift;
  }
  return out;
}

class IntegerHalving : public ::testing::TestWithParam<FormatCase> {};

TEST_P(IntegerHalving, AveragesEveryChannelRoundingHalvesUp) {
  const FormatCase& c = GetParam();
  std::mt19937 random(static_cast<unsigned>(c.format));
  const UINT width = 10, height = 6, pitch = width * c.bytes + 3;
  std::vector<BYTE> source(std::size_t{pitch} * height);
  for (BYTE& b : source) b = static_cast<BYTE>(random());
  const UINT outPitch = (width / 2) * c.bytes + 1;
  std::vector<BYTE> destination(std::size_t{outPitch} * (height / 2), 0xCD);
  PixelRegion from{}, to{};
  from.Data = source.data();
  from.Format = c.format;
  from.RowPitch = pitch;
  from.Extent = from.Region = {0, 0, width, height, 0, 1};
  to.Data = destination.data();
  to.Format = c.format;
  to.RowPitch = outPitch;
  to.Extent = to.Region = {0, 0, width / 2, height / 2, 0, 1};
  ASSERT_EQ(BlitRegion(to, from, D3DX_FILTER_BOX), S_OK);
  std::uint32_t fieldMask = 0;
  for (const Field& f : c.fields) fieldMask |= ((1u << f.bits) - 1) << f.shift;
  for (UINT y = 0; y < height / 2; ++y) {
    for (UINT x = 0; x < width / 2; ++x) {
      auto at = [&](UINT px, UINT py) { return Read(&source[py * pitch + px * c.bytes], c.bytes); };
      std::uint32_t expected =
          Average(c, at(2 * x, 2 * y), at(2 * x + 1, 2 * y), at(2 * x, 2 * y + 1), at(2 * x + 1, 2 * y + 1));
      std::uint32_t got = Read(&destination[y * outPitch + x * c.bytes], c.bytes);
      EXPECT_EQ(got & fieldMask, expected) << x << "," << y;
      EXPECT_EQ(got & c.zeroed, 0u) << x << "," << y;
    }
  }
  // Bytes between rows are left alone.
  for (UINT y = 0; y < height / 2; ++y) EXPECT_EQ(destination[y * outPitch + outPitch - 1], 0xCD);
}

const Field kArgb[] = {{0, 8}, {8, 8}, {16, 8}, {24, 8}};

INSTANTIATE_TEST_SUITE_P(
    Formats, IntegerHalving,
    ::testing::Values(FormatCase{"A8R8G8B8", D3DFMT_A8R8G8B8, 4, {kArgb, kArgb + 4}, 0},
                      FormatCase{"A8B8G8R8", D3DFMT_A8B8G8R8, 4, {kArgb, kArgb + 4}, 0},
                      // The fourth byte of X8 formats may be averaged by the vector form.
                      FormatCase{"X8R8G8B8", D3DFMT_X8R8G8B8, 4, {kArgb, kArgb + 3}, 0},
                      FormatCase{"X8B8G8R8", D3DFMT_X8B8G8R8, 4, {kArgb, kArgb + 3}, 0},
                      FormatCase{"R5G6B5", D3DFMT_R5G6B5, 2, {{0, 5}, {5, 6}, {11, 5}}, 0},
                      FormatCase{"X1R5G5B5", D3DFMT_X1R5G5B5, 2, {{0, 5}, {5, 5}, {10, 5}}, 0x8000},
                      FormatCase{"A1R5G5B5", D3DFMT_A1R5G5B5, 2, {{0, 5}, {5, 5}, {10, 5}, {15, 1}}, 0},
                      FormatCase{"A4R4G4B4", D3DFMT_A4R4G4B4, 2, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}, 0},
                      FormatCase{"X4R4G4B4", D3DFMT_X4R4G4B4, 2, {{0, 4}, {4, 4}, {8, 4}}, 0xF000},
                      FormatCase{"R3G3B2", D3DFMT_R3G3B2, 1, {{0, 2}, {2, 3}, {5, 3}}, 0},
                      FormatCase{"A8", D3DFMT_A8, 1, {{0, 8}}, 0}, FormatCase{"L8", D3DFMT_L8, 1, {{0, 8}}, 0},
                      FormatCase{"A8R3G3B2", D3DFMT_A8R3G3B2, 2, {{0, 2}, {2, 3}, {5, 3}, {8, 8}}, 0},
                      FormatCase{"A8L8", D3DFMT_A8L8, 2, {{0, 8}, {8, 8}}, 0},
                      FormatCase{"A4L4", D3DFMT_A4L4, 1, {{0, 4}, {4, 4}}, 0}),
    [](const auto& test) { return std::string(test.param.name); });

struct QuadCase {
  const char* name;
  D3DFORMAT format;
  int bytes;
  std::uint32_t pixels[4];
  std::uint32_t expected;
};

class IntegerHalvingCases : public ::testing::TestWithParam<QuadCase> {};

TEST_P(IntegerHalvingCases, FourPixelsAverageAsWorkedOut) {
  const QuadCase& c = GetParam();
  BYTE source[16]{}, destination[4]{};
  for (int i = 0; i < 4; ++i) std::memcpy(source + i * c.bytes, &c.pixels[i], c.bytes);
  PixelRegion from{}, to{};
  from.Data = source;
  from.Format = to.Format = c.format;
  from.RowPitch = 2 * c.bytes;
  from.Extent = from.Region = {0, 0, 2, 2, 0, 1};
  to.Data = destination;
  to.RowPitch = c.bytes;
  to.Extent = to.Region = {0, 0, 1, 1, 0, 1};
  ASSERT_EQ(BlitRegion(to, from, D3DX_FILTER_BOX), S_OK);
  EXPECT_EQ(Read(destination, c.bytes), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntegerHalvingCases,
    ::testing::Values(
        // Alpha 0, 0, 1, 1: (2 + 2) >> 2 = 1; 0, 0, 0, 1: (1 + 2) >> 2 = 0.
        QuadCase{"ArgbAlphaHalfUp", D3DFMT_A8R8G8B8, 4, {0x00000000, 0x00000000, 0x01000000, 0x01000000}, 0x01000000},
        QuadCase{"ArgbAlphaQuarterDown", D3DFMT_A8R8G8B8, 4, {0, 0, 0, 0x01000000}, 0},
        QuadCase{
            "ArgbWhiteStaysWhite", D3DFMT_A8R8G8B8, 4, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, 0xFFFFFFFF},
        // One-bit alpha becomes 1 when at least two of the four bits are set.
        QuadCase{"A1TwoOfFour", D3DFMT_A1R5G5B5, 2, {0x8000, 0x8000, 0, 0}, 0x8000},
        QuadCase{"A1OneOfFour", D3DFMT_A1R5G5B5, 2, {0x8000, 0, 0, 0}, 0},
        // Green 63, 63, 63, 62: (251 + 2) >> 2 = 63.
        QuadCase{"R5G6B5Green", D3DFMT_R5G6B5, 2, {63u << 5, 63u << 5, 63u << 5, 62u << 5}, 63u << 5}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(IntegerHalvingRoutines, VectorAndPortableGiveTheSameIntegers) {
  std::mt19937 random(99);
  for (UINT width : {2u, 4u, 6u, 8u, 12u, 16u, 30u, 36u, 64u}) {
    for (UINT height : {2u, 4u, 6u}) {
      const UINT pitch = width * 4 + 8;
      std::vector<BYTE> source(std::size_t{pitch} * height);
      for (BYTE& b : source) b = static_cast<BYTE>(random());
      // Extremes as well: all-255 bytes are where a sum would overflow a byte.
      for (UINT i = 0; i < source.size(); i += 5) source[i] = 255;
      const UINT outPitch = width * 2 + 4;
      std::vector<BYTE> portable(std::size_t{outPitch} * height / 2, 0x11), vector(portable), three(portable);
      HalveFourChannelPortable(source.data(), portable.data(), width, height, pitch, outPitch);
      HalveFourChannelVector(source.data(), vector.data(), width, height, pitch, outPitch);
      HalveThreeChannelPortable(source.data(), three.data(), width, height, pitch, outPitch);
      EXPECT_EQ(portable, vector) << width << "x" << height;
      for (UINT y = 0; y < height / 2; ++y) {
        for (UINT x = 0; x < width / 2; ++x) {
          const std::size_t at = std::size_t{y} * outPitch + x * 4;
          EXPECT_EQ(std::memcmp(&three[at], &portable[at], 3), 0);
          EXPECT_EQ(three[at + 3], 0);
        }
      }
    }
  }
}

class HalvingChoiceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    OverrideVectorLevel(DetectVectorLevel());
    ResetHalvingSlotsForTesting();
  }
  HalvingChoice ChoiceAfterOneHalving(bool fresh = true) {
    if (fresh) {
      ResetHalvingSlotsForTesting();
      EXPECT_EQ(CurrentHalvingChoice(), HalvingChoice::Unchosen);
    }
    DWORD source[4] = {0x04040404, 0x08080808, 0x0C0C0C0C, 0x10101010}, destination = 0;
    PixelRegion from{}, to{};
    from.Data = source;
    from.Format = to.Format = D3DFMT_X8R8G8B8;
    from.RowPitch = 8;
    from.Extent = from.Region = {0, 0, 2, 2, 0, 1};
    to.Data = &destination;
    to.RowPitch = 4;
    to.Extent = to.Region = {0, 0, 1, 1, 0, 1};
    EXPECT_EQ(BlitRegion(to, from, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(destination & 0xFFFFFF, 0x0A0A0Au);  // (4 + 8 + 12 + 16 + 2) >> 2 = 10
    return CurrentHalvingChoice();
  }
};

TEST_F(HalvingChoiceTest, DisableMmxSelectsThePortableRoutines) {
  {
    testing::ScopedEnvironment disable("DisableMMX", "1");
    OverrideVectorLevel(DetectVectorLevel());
    EXPECT_EQ(ChoiceAfterOneHalving(), HalvingChoice::Portable);
  }
  testing::ScopedEnvironment enable("DisableMMX", std::nullopt);
  OverrideVectorLevel(DetectVectorLevel());
  HalvingChoice expected =
      DetectVectorLevel() == VectorLevel::Portable ? HalvingChoice::Portable : HalvingChoice::Vector;
  EXPECT_EQ(ChoiceAfterOneHalving(), expected);
  // Chosen once per process: a later change of the setting does not move the slots.
  testing::ScopedEnvironment disable("DisableMMX", "1");
  OverrideVectorLevel(DetectVectorLevel());
  EXPECT_EQ(ChoiceAfterOneHalving(false), expected);
}

}  // namespace
}  // namespace rastro
