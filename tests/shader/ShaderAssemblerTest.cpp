// Assembly from source to token stream. Every expected token below was worked out by hand
// from the published Direct3D 9 token format: instruction token (opcode, controls in bits
// 16-23, length in bits 24-27 from version 2, predicated 0x10000000, coissue 0x40000000) and
// parameter tokens (bit 31, type in bits 28-30 and 11-12, number, mask or swizzle, modifiers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "MemoryInclude.h"
#include "Preprocessor.h"
#include "ShaderAssembler.h"
#include "ShaderDisassembler.h"
#include "d3dx9shader.h"

namespace rastro {
namespace {

struct Assembly {
  HRESULT result;
  std::vector<DWORD> tokens;
  std::string messages;
};

Assembly AssembleText(const std::string& source, DWORD flags = D3DXSHADER_SKIPVALIDATION) {
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* errors = nullptr;
  Assembly result;
  result.result =
      D3DXAssembleShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, flags, &shader, &errors);
  if (shader) {
    const DWORD* words = static_cast<const DWORD*>(shader->GetBufferPointer());
    result.tokens.assign(words, words + shader->GetBufferSize() / 4);
    shader->Release();
  }
  if (errors) {
    result.messages = static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
  }
  return result;
}

struct EncodingCase {
  const char* name;
  const char* source;
  std::vector<DWORD> tokens;
};

class Encoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(Encoding, MatchesTheHandEncodedTokens) {
  const EncodingCase& c = GetParam();
  Assembly assembly = AssembleText(c.source);
  EXPECT_EQ(assembly.result, S_OK) << assembly.messages;
  EXPECT_EQ(assembly.messages, "");
  ASSERT_EQ(assembly.tokens.size(), c.tokens.size());
  for (std::size_t i = 0; i < c.tokens.size(); ++i)
    EXPECT_EQ(assembly.tokens[i], c.tokens[i])
        << "token " << i << std::hex << ": 0x" << assembly.tokens[i] << " expected 0x" << c.tokens[i];

  // Disassembled and assembled again, the shader comes back token for token.
  std::string text;
  ASSERT_EQ(DisassembleShader(assembly.tokens.data(), assembly.tokens.size(), text), S_OK);
  Assembly again = AssembleText(text);
  EXPECT_EQ(again.tokens, assembly.tokens) << text << again.messages;
}

INSTANTIATE_TEST_SUITE_P(
    EveryVersion, Encoding,
    testing::Values(
        EncodingCase{"vs_1_1",
                     "vs_1_1\n"
                     "dcl_position v0\n"
                     "dcl_texcoord3 v1\n"
                     "def c10, 1.0, -0.5, 2, 0\n"
                     "mov a0.x, v1.x\n"
                     "m4x4 oPos, v0, c0\n"
                     "mov oT0, c[a0.x + 3]\n"
                     "rcp r0, c0\n"
                     "sub r1, r0, -c1\n"
                     "m3x3 r2, v0, c4\n"
                     "m3x2 r3, v0, c4\n"
                     "expp r4, c2.x\n"
                     "mov oD1.xyz, r0\n",
                     {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x0000001F, 0x80030005, 0x900F0001, 0x00000051,
                      0xA00F000A, 0x3F800000, 0xBF000000, 0x40000000, 0x00000000, 0x00000001, 0xB0010000, 0x90000001,
                      0x00000014, 0xC00F0000, 0x90E40000, 0xA0E40000, 0x00000001, 0xE00F0000, 0xA0E42003, 0x00000006,
                      0x800F0000, 0xA0FF0000, 0x00000002, 0x800F0001, 0x80E40000, 0xA0E40001, 0x00000017, 0x80070002,
                      0x90E40000, 0xA0E40004, 0x00000018, 0x80030003, 0x90E40000, 0xA0E40004, 0x0000004E, 0x800F0004,
                      0xA0000002, 0x00000001, 0xD0070001, 0x80E40000, 0x0000FFFF}},
        EncodingCase{"vs_2_0",
                     "vs_2_0\n"
                     "dcl_position v0\n"
                     "defi i0, 3, 0, 1, 0\n"
                     "defb b0, true\n"
                     "loop aL, i0\n"
                     "add r0, r0, c[aL + 2]\n"
                     "endloop\n"
                     "if b0\n"
                     "mov oPos, v0\n"
                     "else\n"
                     "mov oPos, -v0\n"
                     "endif\n"
                     "mov r1, c3000\n",
                     {0xFFFE0200, 0x0200001F, 0x80000000, 0x900F0000, 0x05000030, 0xF00F0000, 3,          0,
                      1,          0,          0x0200002F, 0xE00F0800, 1,          0x0200001B, 0xF0E40800, 0xF0E40000,
                      0x04000002, 0x800F0000, 0x80E40000, 0xA0E42002, 0xF0E40800, 0x0000001D, 0x01000028, 0xE0E40800,
                      0x02000001, 0xC00F0000, 0x90E40000, 0x0000002A, 0x02000001, 0xC00F0000, 0x91E40000, 0x0000002B,
                      0x02000001, 0x800F0001, 0xB0E40BB8, 0x0000FFFF}},
        EncodingCase{"vs_2_x",
                     "vs_2_x\n"
                     "setp_lt p0, r0.x, c0.y\n"
                     "(p0.x) add r0, r1, r2\n"
                     "(!p0.y) mov r1.xy, c1\n"
                     "rep i0\n"
                     "if_gt r0.x, r1.x\n"
                     "break_ne r0.y, c0.z\n"
                     "endif\n"
                     "breakp p0.x\n"
                     "endrep\n",
                     {0xFFFE0201, 0x0304005E, 0xB00F1000, 0x80000000, 0xA0550000, 0x14000002, 0x800F0000,
                      0xB0001000, 0x80E40001, 0x80E40002, 0x13000001, 0x80030001, 0xBD551000, 0xA0E40001,
                      0x01000026, 0xF0E40000, 0x02010029, 0x80000000, 0x80000001, 0x0205002D, 0x80550000,
                      0xA0AA0000, 0x0000002B, 0x01000060, 0xB0001000, 0x00000027, 0x0000FFFF}},
        EncodingCase{"vs_2_sw",
                     "vs_2_sw\nmov r31, i2047\ncall l2000\nret\nlabel l2000\n",
                     {0xFFFE02FF, 0x02000001, 0x800F001F, 0xF0E407FF, 0x01000019,
                      0xA0E417D0,  // l2000: type 18 (bits 28-30: 2, bits 11-12: 2)
                      0x0000001C, 0x0100001E, 0xA0E417D0, 0x0000FFFF}},
        EncodingCase{
            "vs_3_0",
            "vs_3_0\n"
            "dcl_position v0\n"
            "dcl_texcoord1 o3.xy\n"
            "dcl_2d s0\n"
            "mova a0.x, v0.x\n"
            "mov_sat o[a0.x + 1], r0_abs\n"
            "texldl r1, v0, s0\n"
            "sincos r2.xy, r0.x\n",
            {0xFFFE0300, 0x0200001F, 0x80000000, 0x900F0000, 0x0200001F, 0x80010005, 0xE0030003, 0x0200001F, 0x90000000,
             0xA00F0800, 0x0200002E, 0xB0010000, 0x90000000, 0x03000001, 0xE01F2001, 0xB0000000, 0x8BE40000, 0x0300005F,
             0x800F0001, 0x90E40000, 0xA0E40800, 0x02000025, 0x80030002, 0x80000000, 0x0000FFFF}},
        EncodingCase{
            "vs_3_sw", "vs_3_sw\nmov o15, v15\n", {0xFFFE03FF, 0x02000001, 0xE00F000F, 0x90E4000F, 0x0000FFFF}},
        EncodingCase{"ps_1_1",
                     "ps.1.1\n"
                     "tex t0\n"
                     "texcoord t1\n"
                     "texbem t2, t0\n"
                     "mul r0, t0, v0\n"
                     "+add_sat r0.a, t1_bias, -c0_bx2\n"
                     "sub_d2 r1.rgb, r0, 1-v1\n"
                     "texkill t3\n",
                     {0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000040, 0xB00F0001, 0x00000043, 0xB00F0002, 0xB0E40000,
                      0x00000005, 0x800F0000, 0xB0E40000, 0x90E40000, 0x40000002, 0x80180000, 0xB2E40001, 0xA5E40000,
                      0x00000003, 0x8F070001, 0x80E40000, 0x96E40001, 0x00000041, 0xB00F0003, 0x0000FFFF}},
        EncodingCase{"ps_1_0 becomes ps_1_1",
                     "ps_1_1\nmov r0, v0_x2\n",
                     {0xFFFF0101, 0x00000001, 0x800F0000, 0x97E40000, 0x0000FFFF}},
        EncodingCase{"ps_1_2",
                     "ps_1_2\ntexreg2rgb t1, t0\ntexdp3 t2, t1\ndp4 r0, c0, c1\n",
                     {0xFFFF0102, 0x00000052, 0xB00F0001, 0xB0E40000, 0x00000055, 0xB00F0002, 0xB0E40001, 0x00000009,
                      0x800F0000, 0xA0E40000, 0xA0E40001, 0x0000FFFF}},
        EncodingCase{"ps_1_3",
                     "ps_1_3\n"
                     "tex t0\n"
                     "texm3x2pad t1, t0_bx2\n"
                     "texm3x2depth t2, t0_bx2\n"
                     "cmp r0, r1, c0, c1\n"
                     "texm3x3spec t3, t0, c2\n",
                     {0xFFFF0103, 0x00000042, 0xB00F0000, 0x00000047, 0xB00F0001, 0xB4E40000, 0x00000054, 0xB00F0002,
                      0xB4E40000, 0x00000058, 0x800F0000, 0x80E40001, 0xA0E40000, 0xA0E40001, 0x0000004C, 0xB00F0003,
                      0xB0E40000, 0xA0E40002, 0x0000FFFF}},
        EncodingCase{"ps_1_4",
                     "ps.1.4\n"
                     "texld r0, t0\n"
                     "texcrd r1.rgb, t1\n"
                     "texdepth r5\n"
                     "bem r2.rg, c0, r1\n"
                     "phase\n"
                     "mad_x2_sat r0, 1-r0, r1_bx2, -c0\n"
                     "+mov r0.a, r1.b\n"
                     "cnd r0, r0.a, r1, c1\n",
                     {0xFFFF0104, 0x00000042, 0x800F0000, 0xB0E40000, 0x00000040, 0x80070001, 0xB0E40001,
                      0x00000057, 0x800F0005, 0x00000059, 0x80030002, 0xA0E40000, 0x80E40001, 0x0000FFFD,
                      0x00000004, 0x811F0000, 0x86E40000, 0x84E40001, 0xA1E40000, 0x40000001, 0x80080000,
                      0x80AA0001, 0x00000050, 0x800F0000, 0x80FF0000, 0x80E40001, 0xA0E40001, 0x0000FFFF}},
        EncodingCase{"ps_2_0",
                     "ps_2_0\n"
                     "dcl t0.xy\n"
                     "dcl_2d s0\n"
                     "def c0, 0.5, 0.5, 0.5, 1\n"
                     "texld r0, t0, s0\n"
                     "texldp r2, t0, s0\n"
                     "mul_pp r0, r0, c0\n"
                     "dp2add r1, r0, c0, c0.x\n"
                     "nrm r3, r0\n"
                     "texkill t0\n"
                     "mov oDepth, r0.x\n"
                     "sub r4, r0, c0\n"
                     "mov oC0, r0\n",
                     {0xFFFF0200, 0x0200001F, 0x80000000, 0xB0030000, 0x0200001F, 0x90000000, 0xA00F0800, 0x05000051,
                      0xA00F0000, 0x3F000000, 0x3F000000, 0x3F000000, 0x3F800000, 0x03000042, 0x800F0000, 0xB0E40000,
                      0xA0E40800, 0x03010042, 0x800F0002, 0xB0E40000, 0xA0E40800, 0x03000005, 0x802F0000, 0x80E40000,
                      0xA0E40000, 0x0400005A, 0x800F0001, 0x80E40000, 0xA0E40000, 0xA0000000, 0x02000024, 0x800F0003,
                      0x80E40000, 0x01000041, 0xB00F0000, 0x02000001, 0x900F0800, 0x80000000, 0x03000002, 0x800F0004,
                      0x80E40000, 0xA1E40000, 0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF}},
        EncodingCase{
            "ps_2_x",
            "ps_2_x\n"
            "dcl t0\n"
            "dcl_2d s0\n"
            "dsx r0, t0\n"
            "texldd r1, t0, s0, r0, r0\n"
            "setp_ge p0, r0, c0\n"
            "(p0) mov r2, r1\n",
            {0xFFFF0201, 0x0200001F, 0x80000000, 0xB00F0000, 0x0200001F, 0x90000000, 0xA00F0800, 0x0200005B, 0x800F0000,
             0xB0E40000, 0x0500005D, 0x800F0001, 0xB0E40000, 0xA0E40800, 0x80E40000, 0x80E40000, 0x0303005E, 0xB00F1000,
             0x80E40000, 0xA0E40000, 0x13000001, 0x800F0002, 0xB0E41000, 0x80E40001, 0x0000FFFF}},
        EncodingCase{
            "ps_2_sw", "ps_2_sw\nmov r31, c8191\n", {0xFFFF02FF, 0x02000001, 0x800F001F, 0xD0E40FFF, 0x0000FFFF}},
        EncodingCase{
            "ps_3_0",
            "ps_3_0\n"
            "dcl_texcoord0_centroid v0.xy\n"
            "dcl vFace\n"
            "dcl_cube s1\n"
            "defi i0, 4, 0, 1, 0\n"
            "loop aL, i0\n"
            "add r0, r0, v[aL]\n"
            "endloop\n"
            "cmp oC0, vFace, r0, -r0\n"
            "texld_centroid r1, v0, s1\n",
            {0xFFFF0300, 0x0200001F, 0x80000005, 0x90430000, 0x0200001F, 0x80000000, 0x900F1001, 0x0200001F, 0x98000000,
             0xA00F0801, 0x05000030, 0xF00F0000, 4,          0,          1,          0,          0x0200001B, 0xF0E40800,
             0xF0E40000, 0x04000002, 0x800F0000, 0x80E40000, 0x90E42000, 0xF0E40800, 0x0000001D, 0x04000058, 0x800F0800,
             0x90E41001, 0x80E40000, 0x81E40000, 0x03000042, 0x804F0001, 0x90E40000, 0xA0E40801, 0x0000FFFF}},
        EncodingCase{
            "ps_3_sw", "ps_3_sw\nmov oC3, v13\n", {0xFFFF03FF, 0x02000001, 0x800F0803, 0x90E4000D, 0x0000FFFF}},
        EncodingCase{"constant value forms",
                     "vs_2_0\ndef c0, -1, +2, -0.5, +0.25\ndefi i1, -1, +2, 0, 255\ndef c1, 1e39, -1e39, 0x10, 0\n"
                     "defb b2, false\n",
                     {0xFFFE0200, 0x05000051, 0xA00F0000, 0xBF800000, 0x40000000, 0xBF000000, 0x3E800000, 0x05000030,
                      0xF00F0001, 0xFFFFFFFF, 2,          0,          255,        0x05000051, 0xA00F0001, 0x7F800000,
                      0xFF800000, 0x41800000, 0x00000000, 0x0200002F, 0xE00F0802, 0,          0x0000FFFF}},
        EncodingCase{"version only", "ps_2_0\n", {0xFFFF0200, 0x0000FFFF}},
        EncodingCase{"dotted version", "vs.2.0\n", {0xFFFE0200, 0x0000FFFF}},
        EncodingCase{"statements share and span lines",
                     "ps_1_1 mov r0, v0 mov\nr1,\nv1\n",
                     {0xFFFF0101, 0x00000001, 0x800F0000, 0x90E40000, 0x00000001, 0x800F0001, 0x90E40001, 0x0000FFFF}},
        EncodingCase{"single swizzle letter repeats",
                     "vs_1_1\nmov r0, c0.y\nmov r1, c0.xz\n",
                     {0xFFFE0101, 0x00000001, 0x800F0000, 0xA0550000, 0x00000001, 0x800F0001, 0xA0A80000, 0x0000FFFF}},
        EncodingCase{"entrypoint is not an instruction",
                     "ps_2_0\nentrypoint main\nmov oC0, c0\n",
                     {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF}}),
    [](const testing::TestParamInfo<EncodingCase>& test) {
      std::string name = test.param.name;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

struct MessageCase {
  const char* source;
  const char* messages;  // the whole error text
};

class Messages : public testing::TestWithParam<MessageCase> {};

TEST_P(Messages, AreReportedWithTheirCodesAndLines) {
  const MessageCase& c = GetParam();
  Assembly assembly = AssembleText(c.source);
  EXPECT_EQ(assembly.result, D3DXERR_INVALIDDATA);
  EXPECT_TRUE(assembly.tokens.empty());
  EXPECT_EQ(assembly.messages, c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Assembler, Messages,
    testing::Values(
        MessageCase{"", "(1): error X2001: shader version expected\n"},
        MessageCase{"\n\nps_2_a\n", "(3): error X2001: shader version expected\n"},
        MessageCase{"vs_2_a\n", "(1): error X2001: shader version expected\n"},
        MessageCase{"mov r0, r1\n", "(1): error X2001: shader version expected\n"},
        MessageCase{"ps_2_0\n+mov r0, r1\n",
                    "(2): error X2027: instruction coissue is not supported in this shader version\n"},
        MessageCase{"ps_2_0\n(p0.x) add r0, r1, r2\n",
                    "(2): error X2005: invalid register 'p0'\n"
                    "(2): error X2028: instruction predication is not supported in this shader version\n"},
        MessageCase{"ps_1_4\nmov r0, 2-r0\n", "(2): error X2010: invalid complement expression\n"},
        MessageCase{"ps_2_0\nmov r0, 1-r1\n", "(2): error X2029: complement is not supported in this shader version\n"},
        MessageCase{"ps_1_4\nmov r0, 1-r1_bx2\n", "(2): error X2012: complement cannot be used with other modifiers\n"},
        MessageCase{"ps_1_4\ntexld r0, -t0_dz\n", "(2): error X2011: negate and divide modifiers cannot be combined\n"},
        MessageCase{"ps_3_0\nmov r0, !r1_abs\n", "(2): error X2018: not cannot be used with other modifiers\n"},
        MessageCase{"ps_2_0\nmov r0, foo\nmov r1, bar\nmov r2, r0\n",
                    "(2): error X2005: invalid register 'foo'\n(3): error X2005: invalid register 'bar'\n"},
        MessageCase{"ps_2_0\nmvo r0, r1\n", "(2): error X2000: syntax error : unexpected token 'mvo'\n"},
        MessageCase{"ps_2_0\ntex t0\n",
                    "(2): error X2000: syntax error : unexpected token 'tex'\n"
                    "(2): error X2023: 'tex' is not a valid instruction in this shader version\n"},
        MessageCase{"ps_1_1\nmov_sat_x2 r0, r1\n",
                    "(2): error X2000: syntax error : unexpected token 'mov_sat_x2'\n"
                    "(2): error X2024: invalid instruction modifiers 'mov_sat_x2'\n"},
        MessageCase{"vs_2_0\nif_gt r0.x, r1.x\n",
                    "(2): error X2000: syntax error : unexpected token 'if_gt'\n"
                    "(2): error X2024: invalid instruction modifiers 'if_gt'\n"},
        MessageCase{"vs_2_x\nsetp p0, r0, r1\n",
                    "(2): error X2000: syntax error : unexpected token 'setp'\n"
                    "(2): error X2024: invalid instruction modifiers 'setp'\n"},
        MessageCase{"vs_1_1\ndcl v1\n",
                    "(2): error X2000: syntax error : unexpected token 'dcl'\n"
                    "(2): error X2024: invalid instruction modifiers 'dcl'\n"},
        MessageCase{"ps_3_0\ndcl_position v0\n",
                    "(2): error X2000: syntax error : unexpected token 'dcl_position'\n"
                    "(2): error X2024: invalid instruction modifiers 'dcl_position'\n"},
        MessageCase{"ps_2_0\nmov r0, c300\n", "(2): error X2005: invalid register 'c300'\n"},
        MessageCase{"ps_2_0\nmov r0, c[5]\n", "(2): error X2005: invalid register 'c[5]'\n"},
        MessageCase{"vs_2_0\nmov r0, r[a0.x]\n", "(2): error X2005: invalid register 'r[...]'\n"},
        MessageCase{"ps_2_0\nmov r0.yx, r1\n", "(2): error X2003: invalid mask 'yx'\n"},
        MessageCase{"ps_2_0\nmov r0.xx, r1\n", "(2): error X2003: invalid mask 'xx'\n"},
        MessageCase{"ps_2_0\nmov r0, r1.xyzwx\n", "(2): error X2004: invalid swizzle 'xyzwx'\n"},
        MessageCase{"ps_2_0\nmov r0, r1.xq\n", "(2): error X2004: invalid swizzle 'xq'\n"},
        MessageCase{"vs_2_0\nmov r0, c[a0.x + a0.y]\n",
                    "(2): error X2009: only one address register reference allowed in a relative address "
                    "expression\n"},
        MessageCase{"vs_1_1\nmov r0, c[a0.y]\n",
                    "(2): error X2007: only a0.x is allowed as a relative address register in vs_1_1\n"},
        MessageCase{"ps_2_0\nsub r0, r1, !r2\n",
                    "(2): error X2013: source modifiers incompatible with SUB instruction\n"},
        MessageCase{"ps_1_4\nmov r0_bias, r1\n",
                    "(2): error X2014: source modifiers are not allowed on destination parameters\n"},
        MessageCase{"vs_2_0\nmov c[a0.x], r0\n",
                    "(2): error X2008: relative addressing of destination parameters is not supported in this "
                    "shader version\n"},
        MessageCase{"vs_3_0\n(p0_abs) mov r0, r1\n",
                    "(2): error X2019: source modifiers are not allowed on predicates\n"},
        MessageCase{"vs_3_0\nmov r0, b0.x\n", "(2): error X2022: scalar registers cannot be swizzled\n"},
        MessageCase{"vs_2_0\nmov oFog.x, r0\n", "(2): error X2022: scalar registers cannot be masked\n"},
        MessageCase{"ps_2_0\nmov r0, r1_abs\n", "(2): error X2005: invalid register 'r1_abs'\n"},
        MessageCase{"ps_2_0\nmov r0 r1\n", "(2): error X2000: syntax error : unexpected token 'r1'\n"},
        MessageCase{"ps_1_1\ntexcoord t0 mov r0, t0 add\n",
                    "(3): error X2000: syntax error : unexpected end of file\n"},
        MessageCase{"ps_2_0\nmov oC0, c0 \"text\" mov r0, r1\n",
                    "(2): error X2000: syntax error : unexpected string constant\n"}));

TEST(Assembler, Ps10AndVs10AssembleAsTheNextVersionWithAWarning) {
  Assembly pixel = AssembleText("ps_1_0\nmov r0, v0\n");
  EXPECT_EQ(pixel.result, S_OK);
  EXPECT_EQ(pixel.tokens, (std::vector<DWORD>{0xFFFF0101, 0x00000001, 0x800F0000, 0x90E40000, 0x0000FFFF}));
  EXPECT_EQ(pixel.messages, "(1): warning X2015: ps_1_0 is no longer supported; using ps_1_1\n");
  Assembly vertex = AssembleText("vs.1.0\n");
  EXPECT_EQ(vertex.result, S_OK);
  EXPECT_EQ(vertex.tokens, (std::vector<DWORD>{0xFFFE0101, 0x0000FFFF}));
  EXPECT_EQ(vertex.messages, "(1): warning X2015: vs_1_0 is no longer supported; using vs_1_1\n");
}

TEST(Assembler, MnemonicSuffixesFollowTheirOrderAndVersion) {
  struct Case {
    const char* source;
    bool accepted;
  };
  const Case cases[] = {
      {"ps_1_1\nmov_sat r0, v0\n", true},
      {"ps_1_1\nmov_x2_sat r0, v0\n", true},
      {"ps_1_1\nmov_sat_x2 r0, v0\n", false},
      {"ps_1_1\nmov_pp r0, v0\n", false},
      {"ps_2_0\nmov_pp_sat r0, v0\n", true},
      {"ps_2_0\nmov_x2 r0, v0\n", false},
      {"vs_2_0\nmov_sat r0, v0\n", false},
      {"vs_3_0\nmov_sat r0, v0\n", true},
      {"ps_1_4\ntexld r0, t0\n", true},
      {"ps_2_0\ntexld r0, t0\n", false},
      {"ps_2_0\ntexld r0, t0, s0\n", true},
      {"ps_1_3\ntex t0\n", true},
      {"ps_1_4\ntex t0\n", false},
      {"vs_2_0\nsincos r0.xy, r1.x, c0, c1\n", true},
      {"vs_3_0\nsincos r0.xy, r1.x, c0, c1\n", false},
      {"vs_3_0\nsincos r0.xy, r1.x\n", true},
      {"ps_2_sw\nsincos r0.xy, r1.x, c0, c1\n", true},
      {"vs_2_x\nif_gt r0.x, r1.x\nendif\n", true},
      {"vs_2_x\nif_gt_lt r0.x, r1.x\nendif\n", false},
      {"ps_3_0\ndcl_position1 v0\n", true},
      {"ps_3_0\ndcl_texcoord16 v0\n", false},
      {"vs_1_1\ndcl_texcoord15 v0\n", true},
      {"vs_3_0\ndcl_2d s0\n", true},
      {"vs_2_0\ndcl_2d s0\n", false},
      {"ps_2_0\ndcl_volume s0\n", true},
      {"ps_2_0\ndcl_texcoord t0\n", false},
      {"ps_3_0\ndcl_centroid_color1 v0\n", true},
      {"ps_2_0\ndcl_centroid t0\n", false},
      {"ps_2_0\nmov_aaaaaaaaaaaaaaaa r0, v0\n", false},
      {"ps_2_0\nif_gt r0.x, r1.x\nendif\n", false},
      {"ps_2_x\nif_gt r0.x, r1.x\nendif\n", true},
      {"ps_2_0\nif b0\nendif\n", true},
      {"ps_2_0\nsetp_gt p0, r0, r1\n", false},
      {"ps_3_0\nsetp_le p0, r0, r1\n", true},
      {"vs_2_0\nbreak_eq r0.x, r1.x\n", false},
      {"vs_3_sw\nbreak_eq r0.x, r1.x\n", true},
      {"vs_2_x\nsetp_gt_lt p0, r0, r1\n", false},
      {"ps_2_0\nmov_pp_centroid r0, v0\n", false},
      {"ps_1_4\nmov_x4_d2 r0, v0\n", false},
      {"ps_1_4\nmov_d8 r0, v0\n", true},
  };
  for (const Case& c : cases) {
    Assembly assembly = AssembleText(c.source);
    EXPECT_EQ(assembly.result == S_OK, c.accepted) << c.source << assembly.messages;
  }
}

TEST(Assembler, ConstantBanksAndRelativeAddressing) {
  // c3000 is bank 2 (type 11) register 952; in vs_1_1 an index is the relative bit alone.
  Assembly banks = AssembleText("vs_2_0\nmov r0, c3000\nmov r1, c4096\nmov r2, c[a0.x + 3]\n");
  ASSERT_EQ(banks.result, S_OK) << banks.messages;
  EXPECT_EQ(banks.tokens, (std::vector<DWORD>{0xFFFE0200, 0x02000001, 0x800F0000, 0xB0E40BB8, 0x02000001, 0x800F0001,
                                              0xC0E40800, 0x03000001, 0x800F0002, 0xA0E42003, 0xB0000000, 0x0000FFFF}));
  Assembly vs11 = AssembleText("vs_1_1\nmov r0, c[a0.x + 3]\nmov r1, c[3 + a0.x + 2]\n");
  ASSERT_EQ(vs11.result, S_OK) << vs11.messages;
  EXPECT_EQ(vs11.tokens, (std::vector<DWORD>{0xFFFE0101, 0x00000001, 0x800F0000, 0xA0E42003, 0x00000001, 0x800F0001,
                                             0xA0E42005, 0x0000FFFF}));
}

TEST(Assembler, FlagsAndOutPointerAreChecked) {
  ID3DXBuffer* shader = reinterpret_cast<ID3DXBuffer*>(1);
  ID3DXBuffer* errors = reinterpret_cast<ID3DXBuffer*>(1);
  EXPECT_EQ(D3DXAssembleShader("ps_2_0", 6, nullptr, nullptr, 4, &shader, &errors), D3DERR_INVALIDCALL);
  EXPECT_EQ(shader, nullptr);
  EXPECT_EQ(errors, nullptr);
  EXPECT_EQ(D3DXAssembleShader("ps_2_0", 6, nullptr, nullptr, 0, nullptr, &errors), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXAssembleShaderFromFileA("x.psh", nullptr, nullptr, 8, &shader, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXAssembleShaderFromFileA("x.psh", nullptr, nullptr, 0, nullptr, nullptr), D3DERR_INVALIDCALL);
  // No message: the error receiver gets null, not an empty buffer.
  errors = reinterpret_cast<ID3DXBuffer*>(1);
  EXPECT_EQ(D3DXAssembleShader("ps_2_0", 6, nullptr, nullptr, 3, &shader, &errors), S_OK);
  EXPECT_EQ(errors, nullptr);
  ASSERT_NE(shader, nullptr);
  shader->Release();
}

TEST(Assembler, AWarningRaisedToAnErrorFailsTheAssembly) {
  Assembly assembly = AssembleText("#pragma warning(error : 2015)\nps_1_0\n");
  EXPECT_EQ(assembly.result, D3DXERR_INVALIDDATA);
  EXPECT_TRUE(assembly.tokens.empty());
  EXPECT_EQ(assembly.messages, "(2): error X2015: ps_1_0 is no longer supported; using ps_1_1\n");
}

TEST(Assembler, FileThatCannotBeOpenedReportsThePreprocessorMessage) {
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* errors = nullptr;
  HRESULT hr = D3DXAssembleShaderFromFileA("/nonexistent/dir/x.psh", nullptr, nullptr, 0, &shader, &errors);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(shader, nullptr);
  ASSERT_NE(errors, nullptr);
  EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
               "error X1507: failed to open source file: '/nonexistent/dir/x.psh'\n");
  errors->Release();
}

TEST(Assembler, MessagesOfTheRestOfTheFileAreRecordedAfterAnEarlyStop) {
  // The version is missing, so nothing is parsed; the tokenizer still reads to the end.
  Assembly assembly = AssembleText("foo\nmov r0, 0x1234567890\n");
  EXPECT_EQ(assembly.messages,
            "(1): error X2001: shader version expected\n(2): error X1002: hex value truncated to 32bits\n");
}

// The debug block of a file read through an include handler: file names, one record per
// statement (last first), the creator string, every gap 0xAB.
TEST(DebugBlock, DescribesEveryStatementOfAFile) {
  testing_support::MemoryInclude include;
  include.files["a.psh"] = "ps_2_0\nmov r0, c0\nadd r0, r0, c1\nmov oC0, r0\n";
  ID3DXBuffer* shader = nullptr;
  ASSERT_EQ(D3DXAssembleShaderFromFileA("a.psh", nullptr, &include, D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION,
                                        &shader, nullptr),
            S_OK);
  const DWORD* words = static_cast<const DWORD*>(shader->GetBufferPointer());
  std::vector<DWORD> tokens(words, words + shader->GetBufferSize() / 4);
  shader->Release();
  // Block of 27 words = 108 bytes: header 0-39, "a.psh" 40-45, file table 48, records 52-75,
  // creator 76-98.
  const std::vector<DWORD> expected = {
      0xFFFF0200, 0x001AFFFE, 0x47554244, 40,         76,         0,          1,          48,
      3,          52,         0,          0,          0,          0x73702E61, 0xABAB0068, 40,
      4,          32 + 108,   3,          16 + 108,   2,          4 + 108,    0x58443344, 0x68532039,
      0x72656461, 0x73734120, 0x6C626D65, 0xAB007265, 0x02000001, 0x800F0000, 0xA0E40000, 0x03000002,
      0x800F0000, 0x80E40000, 0xA0E40001, 0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF};
  EXPECT_EQ(tokens, expected);
}

TEST(DebugBlock, CarriesTheEntryPointAndTheSourceOfAMemorySource) {
  const std::string source = "vs_1_1 entrypoint go\nnop\n";
  Assembly assembly = AssembleText(source, D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION);
  ASSERT_EQ(assembly.result, S_OK) << assembly.messages;
  // Header 0-39, no file, record table 40-47 (nop: line 2, file -1), "go" 48-50, source
  // 51-76 (25 characters and a NUL), creator 77-99: 100 bytes, 25 + 2 words.
  const std::vector<DWORD> expected = {
      0xFFFE0101, 0x001AFFFE, 0x47554244, 40, 77, 51, 0, 0, 1, 40, 0, 0, 48, 0xFFFF0002, 4 + 108,
      0x76006F67,  // "go", NUL, "v"
  };
  ASSERT_GE(assembly.tokens.size(), 16u);
  EXPECT_EQ(std::vector<DWORD>(assembly.tokens.begin(), assembly.tokens.begin() + 16), expected);
  const char* bytes = reinterpret_cast<const char*>(assembly.tokens.data() + 3);
  EXPECT_EQ(std::string(bytes + 48), "go");
  EXPECT_EQ(std::string(bytes + 51), source);
  EXPECT_EQ(std::string(bytes + 77), "D3DX9 Shader Assembler");
  EXPECT_EQ(assembly.tokens[3 + 25], 0x00000000u);  // nop, right after the 27-word block
  EXPECT_EQ(assembly.tokens.back(), 0x0000FFFFu);
}

TEST(DebugBlock, TooLargeABlockIsLeftOutWithAWarning) {
  std::string source = "ps_2_0\n// " + std::string(0x8000 * 4, 'x') + "\nmov r0, c0\n";
  Assembly assembly = AssembleText(source, D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION);
  EXPECT_EQ(assembly.result, S_OK);
  EXPECT_EQ(assembly.messages, "(4): warning X2030: debug info exceeds maximum comment size; no debug info emitted\n");
  EXPECT_EQ(assembly.tokens, (std::vector<DWORD>{0xFFFF0200, 0x02000001, 0x800F0000, 0xA0E40000, 0x0000FFFF}));
}

}  // namespace
}  // namespace rastro

namespace rastro {
namespace {

TEST(Assembler, NestingBeyondTheParserStackIsRefused) {
  std::string source = "vs_2_0\nmov r0, ";
  for (int i = 0; i < 300; ++i) source += "c[";
  source += "a0.x";
  for (int i = 0; i < 300; ++i) source += "]";
  Assembly assembly = AssembleText(source + "\n");
  EXPECT_EQ(assembly.result, D3DXERR_INVALIDDATA);
  EXPECT_EQ(assembly.messages, "(2): yacc stack overflow\n");
}

}  // namespace
}  // namespace rastro

namespace rastro {
namespace {

// The benchmark's own shader files assemble with validation and survive a round trip through
// the disassembler.
TEST(Assembler, TheBenchmarkShadersAssembleAndRoundTrip) {
  const char* const files[] = {
      "SimplePS11.psh",
      "SimplePS14.psh",
      "SimplePS14.vsh",
      "SimplePS20.psh",
      "SimplePS20PP.psh",
      "LongerPS20.psh",
      "LongerPS20PP.psh",
      "Longer4RegPS20.psh",
      "Longer4RegPS20PP.psh",
      "PerPixelLightingPS20.psh",
      "PerPixelLightingPS20PP.psh",
      "PerPixelLightingVS11.vsh",
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    std::string path = std::string(RASTRO_DATA_DIR) + "/" + file;
    ID3DXBuffer* shader = nullptr;
    ID3DXBuffer* errors = nullptr;
    HRESULT hr = D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &shader, &errors);
    EXPECT_EQ(errors, nullptr);
    if (errors) errors->Release();
    ASSERT_EQ(hr, S_OK);
    const DWORD* words = static_cast<const DWORD*>(shader->GetBufferPointer());
    std::vector<DWORD> tokens(words, words + shader->GetBufferSize() / 4);
    shader->Release();
    std::string text;
    ASSERT_EQ(DisassembleShader(tokens.data(), tokens.size(), text), S_OK);
    Assembly again = AssembleText(text, 0);
    EXPECT_EQ(again.result, S_OK) << again.messages;
    EXPECT_EQ(again.tokens, tokens) << text;
  }
}

}  // namespace
}  // namespace rastro
