// Token-stream decoding: hand-encoded streams of every operand layout, and the malformed
// streams the decoder must refuse without reading past its bound.
#include <gtest/gtest.h>

#include <vector>

#include "ShaderInstruction.h"

namespace rastro::testing {
namespace {

constexpr DWORD kEnd = 0x0000FFFF;

DecodedShader Decode(const std::vector<DWORD>& tokens) {
  DecodedShader shader;
  std::string problem;
  EXPECT_EQ(DecodeShader(tokens.data(), tokens.size(), shader, &problem), D3D_OK) << problem;
  return shader;
}

TEST(ShaderInstruction, DecodesPixelShader20SamplerDeclarationTexldAndDef) {
  const std::vector<DWORD> tokens = {0xFFFF0200,  // ps_2_0
                                     0x05000051, 0xA00F0001, 0x3F800000, 0x3F000000,
                                     0x00000000, 0xBF800000,                          // def c1, 1, 0.5, 0, -1
                                     0x0200001F, 0x80000000, 0xB0030000,              // dcl t0.xy
                                     0x0200001F, 0x90000000, 0xA00F0800,              // dcl_2d s0
                                     0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800,  // texld r0, t0, s0
                                     0x02000001, 0x800F0800, 0x80E40000,              // mov oC0, r0
                                     kEnd};
  DecodedShader shader = Decode(tokens);
  EXPECT_TRUE(shader.version.pixel);
  EXPECT_EQ(shader.version.major, 2u);
  EXPECT_EQ(shader.tokenCount, tokens.size());
  ASSERT_EQ(shader.instructions.size(), 5u);

  const ShaderInstruction& def = shader.instructions[0];
  EXPECT_EQ(def.opcode, D3DSIO_DEF);
  EXPECT_EQ(def.destination.type, D3DSPR_CONST);
  EXPECT_EQ(def.destination.number, 1u);
  EXPECT_EQ(def.FloatValue(0), 1.0f);
  EXPECT_EQ(def.FloatValue(1), 0.5f);
  EXPECT_EQ(def.FloatValue(3), -1.0f);

  const ShaderInstruction& texcoord = shader.instructions[1];
  EXPECT_EQ(texcoord.opcode, D3DSIO_DCL);
  EXPECT_EQ(texcoord.destination.type, D3DSPR_TEXTURE);
  EXPECT_EQ(texcoord.destination.writeMask, 0x3u);

  const ShaderInstruction& sampler = shader.instructions[2];
  EXPECT_EQ(sampler.destination.type, D3DSPR_SAMPLER);
  EXPECT_EQ(sampler.TextureType(), static_cast<DWORD>(D3DSTT_2D));

  const ShaderInstruction& texld = shader.instructions[3];
  EXPECT_EQ(texld.opcode, D3DSIO_TEX);
  EXPECT_EQ(texld.offset, 13u);
  EXPECT_EQ(texld.length, 3u);
  ASSERT_EQ(texld.sourceCount, 2u);
  EXPECT_EQ(texld.sources[0].type, D3DSPR_TEXTURE);
  EXPECT_EQ(texld.sources[1].type, D3DSPR_SAMPLER);
  EXPECT_EQ(texld.sources[1].number, 0u);

  const ShaderInstruction& mov = shader.instructions[4];
  EXPECT_EQ(mov.destination.type, D3DSPR_COLOROUT);
  EXPECT_EQ(mov.sources[0].swizzle, (std::array<UINT, 4>{0, 1, 2, 3}));
}

TEST(ShaderInstruction, VertexShader11AddressesRelativelyWithoutAnAddressToken) {
  const std::vector<DWORD> tokens = {0xFFFE0101,                                      // vs_1_1
                                     0x0000001F, 0x80000000, 0x900F0000,              // dcl_position v0
                                     0x00000001, 0x800F0000, 0xA0E42003,              // mov r0, c[a0.x + 3]
                                     0x00000014, 0xC00F0000, 0x90E40000, 0xA0E40000,  // m4x4 oPos, v0, c0
                                     0x00000006, 0x80010001, 0xA0FF0000,              // rcp r1.x, c0.w
                                     kEnd};
  DecodedShader shader = Decode(tokens);
  ASSERT_EQ(shader.instructions.size(), 4u);
  EXPECT_EQ(shader.instructions[0].Usage(), D3DDECLUSAGE_POSITION);
  const ShaderSource& relative = shader.instructions[1].sources[0];
  EXPECT_TRUE(relative.relative);
  EXPECT_EQ(relative.number, 3u);
  EXPECT_EQ(relative.address.type, D3DSPR_ADDR);
  EXPECT_EQ(relative.address.component, 0u);
  EXPECT_EQ(shader.instructions[2].destination.type, D3DSPR_RASTOUT);
  EXPECT_EQ(shader.instructions[3].sources[0].swizzle, (std::array<UINT, 4>{3, 3, 3, 3}));
  EXPECT_EQ(shader.instructions[3].destination.writeMask, 1u);
}

TEST(ShaderInstruction, VertexShader20RelativeSourceIsFollowedByItsAddressToken) {
  const std::vector<DWORD> tokens = {0xFFFE0200, 0x03000001, 0x800F0000, 0xA0E42003, 0xB0550000,  // mov r0, c3[a0.y]
                                     0x0200001F, 0x80030005, 0x900F0002,                          // dcl_texcoord3 v2
                                     kEnd};
  DecodedShader shader = Decode(tokens);
  ASSERT_EQ(shader.instructions.size(), 2u);
  const ShaderSource& source = shader.instructions[0].sources[0];
  EXPECT_TRUE(source.relative);
  EXPECT_EQ(source.address.type, D3DSPR_ADDR);
  EXPECT_EQ(source.address.component, 1u);
  EXPECT_EQ(shader.instructions[1].Usage(), D3DDECLUSAGE_TEXCOORD);
  EXPECT_EQ(shader.instructions[1].UsageIndex(), 3u);
}

TEST(ShaderInstruction, PixelShader1xOperandCountsDependOnTheMinorVersion) {
  // ps_1_1: tex t0 has only a destination; ps_1_4: texld r0, t0 has a source; texcrd too.
  DecodedShader old = Decode({0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000040, 0xB00F0001, kEnd});
  ASSERT_EQ(old.instructions.size(), 2u);
  EXPECT_EQ(old.instructions[0].sourceCount, 0u);
  EXPECT_EQ(old.instructions[1].sourceCount, 0u);
  DecodedShader phased =
      Decode({0xFFFF0104, 0x00000042, 0x800F0000, 0xB0E40000, 0x00000040, 0x80070001, 0xB0E40001, 0x0000FFFD, kEnd});
  ASSERT_EQ(phased.instructions.size(), 3u);
  EXPECT_EQ(phased.instructions[0].sourceCount, 1u);
  EXPECT_EQ(phased.instructions[1].sourceCount, 1u);
  EXPECT_EQ(phased.instructions[2].opcode, D3DSIO_PHASE);
}

TEST(ShaderInstruction, ReadsModifiersShiftsCoissueAndPredicates) {
  // ps_1_1: mov_x2_sat r0.rgb, r1_bx2 ; +mov_d2 r0.a, -r1 (coissued)
  DecodedShader shader =
      Decode({0xFFFF0101, 0x00000001, 0x81170000, 0x84E40001, 0x40000001, 0x8F080000, 0x81E40001, kEnd});
  ASSERT_EQ(shader.instructions.size(), 2u);
  const ShaderDestination& first = shader.instructions[0].destination;
  EXPECT_TRUE(first.saturate);
  EXPECT_EQ(first.shift, 1);
  EXPECT_EQ(first.writeMask, 0x7u);
  EXPECT_EQ(shader.instructions[0].sources[0].modifier, static_cast<DWORD>(D3DSPSM_SIGN));
  EXPECT_TRUE(shader.instructions[1].coissue);
  EXPECT_EQ(shader.instructions[1].destination.shift, -1);
  EXPECT_EQ(shader.instructions[1].sources[0].modifier, static_cast<DWORD>(D3DSPSM_NEG));

  // vs_2_x: (p0) add r0, r1, r2 ; the predicate token comes after the destination.
  DecodedShader predicated = Decode({0xFFFE0201, 0x14000002, 0x800F0000, 0xB0E41000, 0x80E40001, 0x80E40002, kEnd});
  ASSERT_EQ(predicated.instructions.size(), 1u);
  const ShaderInstruction& add = predicated.instructions[0];
  EXPECT_TRUE(add.predicated);
  EXPECT_EQ(add.predicate.type, D3DSPR_PREDICATE);
  EXPECT_EQ(add.sources[0].number, 1u);
  EXPECT_EQ(add.sources[1].number, 2u);

  // ps_2_0: mul_pp r0, r1, r2 ; if_lt in ps_2_x carries comparison 4.
  DecodedShader pp = Decode({0xFFFF0200, 0x03000005, 0x802F0000, 0x80E40001, 0x80E40002, kEnd});
  EXPECT_TRUE(pp.instructions[0].destination.partialPrecision);
  DecodedShader comparison = Decode({0xFFFF0201, 0x02040029, 0x80000000, 0x80550001, 0x0000002B, kEnd});
  ASSERT_EQ(comparison.instructions.size(), 2u);
  EXPECT_EQ(comparison.instructions[0].Comparison(), D3DSPC_LT);
}

TEST(ShaderInstruction, ReportsCommentsAndSkipsThem) {
  DecodedShader shader =
      Decode({0xFFFF0200, 0x0002FFFE, 0x80000000, 0x00000001, 0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFE, kEnd});
  ASSERT_EQ(shader.comments.size(), 2u);
  EXPECT_EQ(shader.comments[0].offset, 2u);
  EXPECT_EQ(shader.comments[0].length, 2u);
  EXPECT_EQ(shader.comments[1].length, 0u);
  ASSERT_EQ(shader.instructions.size(), 1u);
  EXPECT_EQ(shader.instructions[0].offset, 4u);
}

TEST(ShaderInstruction, IntegerAndBooleanDefinitions) {
  DecodedShader shader = Decode(
      {0xFFFE0200, 0x05000030, 0xF00F0002, 0x00000003, 0xFFFFFFFF, 0, 0, 0x0200002F, 0xE00F0801, 0x00000001, kEnd});
  ASSERT_EQ(shader.instructions.size(), 2u);
  EXPECT_EQ(shader.instructions[0].destination.type, D3DSPR_CONSTINT);
  EXPECT_EQ(shader.instructions[0].IntValue(1), -1);
  EXPECT_EQ(shader.instructions[1].destination.type, D3DSPR_CONSTBOOL);
  EXPECT_EQ(shader.instructions[1].destination.number, 1u);
  EXPECT_EQ(shader.instructions[1].values[0], 1u);
}

struct MalformedCase {
  const char* name;
  std::vector<DWORD> tokens;
};

class MalformedStream : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedStream, IsRefusedWithAReason) {
  // The stream is copied to an exactly sized buffer so that reading past it would show under ASan.
  const std::vector<DWORD> tokens = GetParam().tokens;
  DecodedShader shader;
  std::string problem;
  EXPECT_EQ(DecodeShader(tokens.data(), tokens.size(), shader, &problem), D3DERR_INVALIDCALL);
  EXPECT_FALSE(problem.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, MalformedStream,
    ::testing::Values(
        MalformedCase{"Empty", {}}, MalformedCase{"UnknownVersion", {0xFFFF0500, kEnd}},
        MalformedCase{"VertexShader14DoesNotExist", {0xFFFE0104, kEnd}},
        MalformedCase{"NoEndToken", {0xFFFF0200, 0x02000001, 0x800F0800, 0x80E40000}},
        MalformedCase{"StatedLengthDisagrees", {0xFFFF0200, 0x03000001, 0x800F0800, 0x80E40000, 0x80E40000, kEnd}},
        MalformedCase{"OperandsRunPastTheEnd", {0xFFFF0200, 0x03000002, 0x800F0800, 0x80E40000}},
        MalformedCase{"UnknownOpcode", {0xFFFF0200, 0x0000004B, kEnd}},
        MalformedCase{"ParameterBitMissing", {0xFFFF0101, 0x00000001, 0x000F0000, 0x80E40000, kEnd}},
        MalformedCase{"CommentPastTheEnd", {0xFFFF0200, 0x0005FFFE, 0, kEnd}},
        MalformedCase{"AddressTokenMissing", {0xFFFE0200, 0x02000001, 0x800F0000, 0xA0E42003, kEnd}},
        MalformedCase{"RelativeDestinationInVs11", {0xFFFE0101, 0x00000001, 0xC00F2000, 0x80E40000, kEnd}},
        MalformedCase{"UnknownSourceModifier", {0xFFFF0200, 0x02000001, 0x800F0800, 0x8EE40000, kEnd}},
        MalformedCase{"DefValuesMissing", {0xFFFF0200, 0x05000051, 0xA00F0000, 0x3F800000, kEnd}}),
    [](const ::testing::TestParamInfo<MalformedCase>& test) { return std::string(test.param.name); });

TEST(ShaderInstruction, OpcodeNamesFollowTheAssemblyLanguage) {
  EXPECT_STREQ(ShaderOpcodeName(D3DSIO_MOV), "mov");
  EXPECT_STREQ(ShaderOpcodeName(D3DSIO_DEFI), "defi");
  EXPECT_STREQ(ShaderOpcodeName(D3DSIO_TEXCOORD), "texcoord");
  EXPECT_STREQ(ShaderOpcodeName(D3DSIO_BREAKP), "breakp");
  EXPECT_STREQ(ShaderOpcodeName(D3DSIO_PHASE), "phase");
  EXPECT_STREQ(ShaderOpcodeName(D3DSIO_RESERVED0), "?");
}

}  // namespace
}  // namespace rastro::testing
