// The CPU evaluator against results worked out by hand.
#include <gtest/gtest.h>

#include "ShaderCases.h"

namespace rastro::testing {
namespace {

ShaderConstants ConstantsOf(const ShaderCase& c) {
  ShaderConstants constants;
  constants.floats.resize(256);
  constants.ints.resize(16);
  for (const auto& [index, value] : c.floats) constants.floats[index] = value;
  for (const auto& [index, value] : c.ints) constants.ints[index] = value;
  return constants;
}

void ExpectNear(const ShaderVector& actual, const ShaderVector& expected) {
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(actual[k], expected[k], 1e-6f) << "component " << k;
}

class PixelEvaluation : public ::testing::TestWithParam<ShaderCase> {};

TEST_P(PixelEvaluation, GivesTheHandWorkedResult) {
  const ShaderCase& c = GetParam();
  ShaderEvaluator evaluator;
  std::string problem;
  ASSERT_EQ(evaluator.Load(c.tokens.data(), c.tokens.size(), &problem), D3D_OK) << problem;
  CaseTexture texture;
  PixelResult result = evaluator.RunPixel(c.inputs, ConstantsOf(c), &texture);
  EXPECT_EQ(result.killed, c.killed);
  ExpectNear(result.color[0], c.expected);
  EXPECT_EQ(result.depthWritten, c.depth.has_value());
  if (c.depth) {
    EXPECT_NEAR(result.depth, *c.depth, 1e-6f);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PixelEvaluation, ::testing::ValuesIn(PixelCases()),
                         [](const auto& test) { return std::string(test.param.name); });

class VertexEvaluation : public ::testing::TestWithParam<ShaderCase> {};

TEST_P(VertexEvaluation, GivesTheHandWorkedResult) {
  const ShaderCase& c = GetParam();
  ShaderEvaluator evaluator;
  std::string problem;
  ASSERT_EQ(evaluator.Load(c.tokens.data(), c.tokens.size(), &problem), D3D_OK) << problem;
  CaseTexture texture;
  ShaderVaryings out = evaluator.RunVertex(c.vertexInputs, ConstantsOf(c), &texture);
  ExpectNear(out.texcoord[0], c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, VertexEvaluation, ::testing::ValuesIn(VertexCases()),
                         [](const auto& test) { return std::string(test.param.name); });

// Samples are the coordinates themselves, so the test sees what reached the sampler.
class CoordinateSampler : public ShaderTextureSampler {
 public:
  ShaderVector Sample(UINT sampler, const ShaderVector& c, float lod) const override {
    return {c[0] + 10.0f * static_cast<float>(sampler), c[1], c[2], lod};
  }
};

TEST(ShaderEvaluator, TextureLoadsProjectBiasAndSwizzle) {
  constexpr DWORD kSampler = D3DSPR_SAMPLER;
  auto run = [](DWORD opcode, DWORD samplerSwizzle) {
    std::vector<DWORD> tokens = TokenStream(kPs20)
                                    .Op(D3DSIO_DCL, {0x80000000, Dst(kT, 0)})
                                    .Op(D3DSIO_DCL, {0x90000000, Dst(kSampler, 2)})
                                    .Op(opcode, {Dst(kOC, 0), Src(kT, 0), Src(kSampler, 2, samplerSwizzle)})
                                    .End();
    ShaderEvaluator evaluator;
    EXPECT_EQ(evaluator.Load(tokens.data(), tokens.size()), D3D_OK);
    CoordinateSampler sampler;
    return evaluator.RunPixel(Colours({}, {}, {1, 2, 3, 4}), ShaderConstants{}, &sampler).color[0];
  };
  ExpectNear(run(D3DSIO_TEX, kIdentity), {21, 2, 3, 0});
  ExpectNear(run(D3DSIO_TEX | D3DSI_TEXLD_PROJECT, kIdentity), {20.25f, 0.5f, 0.75f, 0});
  ExpectNear(run(D3DSIO_TEX | D3DSI_TEXLD_BIAS, kIdentity), {21, 2, 3, 4});
  ExpectNear(run(D3DSIO_TEX, Swz(1, 1, 0, 0)), {2, 2, 21, 21});
}

TEST(ShaderEvaluator, Ps11TexSamplesItsOwnStageAndPs14TexldTheDestinationsStage) {
  CoordinateSampler sampler;
  ShaderVaryings inputs = Colours({}, {}, {0.5f, 0.25f, 0, 1}, {0.75f, 0.5f, 0, 1});
  std::vector<DWORD> ps11 =
      TokenStream(kPs11).Op(D3DSIO_TEX, {Dst(kT, 1)}).Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)}).End();
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(ps11.data(), ps11.size()), D3D_OK);
  // Stage 1 at (0.75, 0.5): 10.75 clamps to the target's 1.
  ExpectNear(evaluator.RunPixel(inputs, ShaderConstants{}, &sampler).color[0], {1, 0.5f, 0, 0});
  std::vector<DWORD> ps14 = TokenStream(kPs14)
                                .Op(D3DSIO_TEX, {Dst(kR, 0), Src(kT, 1)})
                                .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 0), Src(kC, 0)})
                                .End();
  ASSERT_EQ(evaluator.Load(ps14.data(), ps14.size()), D3D_OK);
  ShaderConstants constants;
  constants.floats = {{0.05f, 1, 1, 1}};
  ExpectNear(evaluator.RunPixel(inputs, constants, &sampler).color[0], {0.0375f, 0.5f, 0, 0});
}

// Samples are the coordinates, unchanged.
class PlainSampler : public ShaderTextureSampler {
 public:
  ShaderVector Sample(UINT, const ShaderVector& c, float) const override { return {c[0], c[1], c[2], 0}; }
};

TEST(ShaderEvaluator, BumpMappingOffsetsTheNextStagesCoordinates) {
  PlainSampler sampler;
  ShaderConstants constants;
  constants.bump[1] = {0.5f, 0, 0, 2, 0, 0};
  // t0 = texcoord (clamped) = (0.25, 0.5, 0, 1); t1 = stage 1 at (0.1 + 0.5*0.25, 0.2 + 2*0.5).
  std::vector<DWORD> tokens = TokenStream(kPs11)
                                  .Op(D3DSIO_TEXCOORD, {Dst(kT, 0)})
                                  .Op(D3DSIO_TEXBEM, {Dst(kT, 1), Src(kT, 0)})
                                  .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kT, 1), Src(kC, 0)})
                                  .End();
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(tokens.data(), tokens.size()), D3D_OK);
  constants.floats = {{1, 0.5f, 1, 1}};
  ShaderVaryings inputs = Colours({}, {}, {0.25f, 0.5f, 0, 1}, {0.1f, 0.2f, 0, 1});
  ExpectNear(evaluator.RunPixel(inputs, constants, &sampler).color[0], {0.225f, 0.6f, 0, 0});
}

TEST(ShaderEvaluator, RefusesUnbalancedBlocks) {
  std::vector<DWORD> tokens = TokenStream(kPs30).Op(D3DSIO_ENDIF, {}).End();
  ShaderEvaluator evaluator;
  std::string problem;
  EXPECT_EQ(evaluator.Load(tokens.data(), tokens.size(), &problem), D3DERR_INVALIDCALL);
  EXPECT_FALSE(problem.empty());
  tokens = TokenStream(kPs30).Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 0)}).End();
  EXPECT_EQ(evaluator.Load(tokens.data(), tokens.size()), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace rastro::testing
