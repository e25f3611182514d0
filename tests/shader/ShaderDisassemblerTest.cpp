// The disassembler: hand-encoded streams read as the source written by hand from the published
// token layout, and source → tokens → disassembly → tokens gives the same tokens, for test
// shaders and for a set generated from the instruction table of every version.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "InstructionTable.h"
#include "ShaderDisassembler.h"
#include "d3d9types.h"
#include "d3dx9shader.h"

namespace rastro::testing {
namespace {

constexpr DWORD kEnd = 0x0000FFFF;
constexpr DWORD R = 0, V = 1, C = 2, T = 3, A = 3, RAST = 4, OUT = 6, I = 7, OC = 8, S = 10, B = 14, AL = 15, L = 18,
                P = 19;
constexpr DWORD ID = 0xE4;

DWORD Reg(DWORD type, UINT number) { return 0x80000000u | ((type & 7) << 28) | ((type & 0x18) << 8) | number; }
DWORD Dst(DWORD type, UINT number, DWORD mask = 0xF, DWORD modifiers = 0) {
  return Reg(type, number) | (mask << 16) | modifiers;
}
DWORD Src(DWORD type, UINT number, DWORD swizzle = ID, DWORD modifier = 0) {
  return Reg(type, number) | (swizzle << 16) | (modifier << 24);
}
DWORD Bits(float value) {
  DWORD bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

struct TextCase {
  const char* name;
  std::vector<DWORD> tokens;
  const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class DisassemblyText : public ::testing::TestWithParam<TextCase> {};

TEST_P(DisassemblyText, ReadsAsTheSourceWrittenByHand) {
  std::string text;
  EXPECT_EQ(DisassembleShader(GetParam().tokens.data(), GetParam().tokens.size(), text), D3D_OK);
  EXPECT_EQ(text, GetParam().text);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Streams, DisassemblyText,
    ::testing::Values(
        TextCase{"Ps20",
                 {D3DPS_VERSION(2, 0), 0x0200001F, 0x80000000, Dst(T, 0, 3), 0x0200001F, 0x90000000, Dst(S, 0),
                  0x03000042, Dst(R, 0), Src(T, 0), Src(S, 0),
                  0x03000005, Dst(R, 0, 3, D3DSPDM_SATURATE | D3DSPDM_PARTIALPRECISION), Src(R, 0), Src(C, 0, 0x00),
                  0x02000001, Dst(OC, 0), Src(R, 0, 0xC9, 1), kEnd},
                 "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmul_sat_pp r0.xy, r0, c0.x\nmov oC0, -r0.yzxw\n"},
        TextCase{"Ps11",
                 {D3DPS_VERSION(1, 1), 0x00000051, Dst(C, 0), Bits(1.5f), Bits(-0.25f), 0x3DCCCCCD, 0,
                  0x00000042, Dst(T, 0), 0x00000043, Dst(T, 1), Src(T, 0),
                  0x00000005, Dst(R, 0, 7, 1u << 24 | D3DSPDM_SATURATE), Src(T, 0, ID, 2), Src(C, 0, ID, 5),
                  0x40000001, Dst(R, 0, 8), Src(T, 1, 0xFF, 6),
                  0x00000002, Dst(R, 1, 0xF, 15u << 24), Src(T, 1, ID, 3), Src(C, 0, 0xAA), kEnd},
                 "ps_1_1\ndef c0, 1.5, -0.25, 0.1, 0.0\ntex t0\ntexbem t1, t0\nmul_x2_sat r0.xyz, t0_bias, -c0_bx2\n"
                 "+mov r0.w, 1 - t1.w\nadd_d2 r1, -t1_bias, c0.z\n"},
        TextCase{"Ps14",
                 {D3DPS_VERSION(1, 4), 0x00000040, Dst(R, 0, 7), Src(T, 0, 0xA4), 0x00000042, Dst(R, 1), Src(T, 1, 0xA4, 9),
                  0x0000FFFD, 0x00000042, Dst(R, 2), Src(R, 0), 0x00000001, Dst(R, 0), Src(R, 2, ID, 7), kEnd},
                 "ps_1_4\ntexcrd r0.xyz, t0.xyz\ntexld r1, t1_dz.xyz\nphase\ntexld r2, r0\nmov r0, r2_x2\n"},
        TextCase{"Vs11",
                 {D3DVS_VERSION(1, 1), 0x0000001F, 0x80030005, Dst(V, 1), 0x00000001, Dst(A, 0, 1), Src(C, 0, 0x00),
                  0x00000001, Dst(R, 0), Src(C, 3) | 0x2000, 0x00000006, Dst(R, 1, 8), Src(C, 0, 0xFF),
                  0x00000014, Dst(RAST, 0), Src(V, 1), Src(C, 4), kEnd},
                 "vs_1_1\ndcl_texcoord3 v1\nmov a0.x, c0.x\nmov r0, c3[a0.x]\nrcp r1.w, c0.w\nm4x4 oPos, v1, c4\n"},
        TextCase{"Vs2xFlowAndRelative",
                 {D3DVS_VERSION(2, 1), 0x0200002E, Dst(A, 0, 3), Src(C, 0, 0x54),
                  0x03000001, Dst(R, 0), Src(C, 3) | 0x2000, Src(A, 0, 0x55),
                  0x0200001B, Src(AL, 0), Src(I, 0), 0x03000001, Dst(R, 1), Src(C, 0) | 0x2000, Src(AL, 0),
                  0x0000001D, 0x01000028, Src(B, 1, ID, 13), 0x0000002B,
                  0x0305005E, Dst(P, 0), Src(R, 0), Src(C, 1), 0x02040029, Src(R, 0, 0x00), Src(C, 0, 0x55),
                  0x0000002A, 0x0000002B, 0x03000001 | 0x10000000, Dst(RAST, 0), Src(P, 0, 0x00, 13), Src(R, 0),
                  0x01000019, Src(L, 2), 0x0000001C, 0x0100001E, Src(L, 2), 0x0000001C, kEnd},
                 "vs_2_x\nmova a0.xy, c0.xy\nmov r0, c3[a0.y]\nloop aL, i0\nmov r1, c0[aL]\nendloop\nif !b1\nendif\n"
                 "setp_ne p0, r0, c1\nif_lt r0.x, c0.y\nelse\nendif\n(!p0.x) mov oPos, r0\ncall l2\nret\nlabel l2\nret\n"},
        TextCase{"Ps30",
                 {D3DPS_VERSION(3, 0), 0x0200001F, 0x80010005, Dst(V, 0, 3, D3DSPDM_MSAMPCENTROID),
                  0x0200001F, 0x98000000, Dst(S, 1), 0x0200001F, 0x80000000, Dst(17, 1),
                  0x03010042, Dst(R, 0), Src(V, 0, ID, 11), Src(S, 1), 0x03000001, Dst(R, 1), Src(V, 0) | 0x2000, Src(AL, 0),
                  0x05000030, Dst(I, 0), 0xFFFFFFFB, 0, 7, 0x7FFFFFFF, 0x0200002F, Dst(B, 3), 1,
                  0x02000001, Dst(OC, 0), Src(R, 0, ID, 12), kEnd},
                 "ps_3_0\ndcl_texcoord1_centroid v0.xy\ndcl_cube s1\ndcl vFace\ntexldp r0, v0_abs, s1\nmov r1, v0[aL]\n"
                 "defi i0, -5, 0, 7, 2147483647\ndefb b3, true\nmov oC0, -r0_abs\n"},
        TextCase{"Vs30OutputsAndFloats",
                 {D3DVS_VERSION(3, 0), 0x0200001F, 0x8000000A, Dst(OUT, 1, 0xF, D3DSPDM_SATURATE),
                  0x05000051, Dst(C, 2000), 0x00000001, 0x7F7FFFFF, 0x7F800000, 0x80000000,
                  0x03000001, Dst(OUT, 1, 0xF, D3DSPDM_SATURATE) | 0x2000, Src(AL, 0), Src(C, 2, ID, 1), kEnd},
                 "vs_3_0\ndcl_color_sat o1\ndef c2000, 1e-45, 3.4028234663852886e38, 1e39, -0.0\nmov_sat o1[aL], -c2\n"},
        TextCase{"Comments",
                 {D3DPS_VERSION(2, 0), 0x0002FFFE, 0x41424344, 0x00000007,
                  // Debug block: header (10 words), creator string at offset 40.
                  0x000EFFFE, 0x47554244, 40, 40, 0, 1, 44, 1, 44, 0, 0, 0, 0x20207761, 0x00000000, 0x00000000,
                  0x02000001, Dst(OC, 0), Src(C, 0), kEnd},
                 "ps_2_0\n// comment block, 2 words (\"DCBA\")\n// 41424344 00000007\n"
                 "// debug information from aw  \n// file 0: \n// line 0, file 0: instruction at token 0\nmov oC0, c0\n"}),
    [](const auto& test) { return test.param.name; });
// clang-format on

TEST(Disassembly, UnreadableStreamsKeepWhatWasReadAndSayWhereItStopped) {
  std::string text = "old";
  EXPECT_EQ(DisassembleShader(nullptr, 3, text), D3DERR_INVALIDCALL);
  const DWORD notShader[] = {0x12345678, kEnd};
  EXPECT_EQ(DisassembleShader(notShader, 2, text), D3DXERR_INVALIDDATA);
  EXPECT_EQ(text, "// not a shader version token\n");
  const DWORD cut[] = {D3DPS_VERSION(2, 0), 0x02000001, Dst(OC, 0), Src(C, 0), 0x03000002, Dst(R, 0), Src(C, 0)};
  EXPECT_EQ(DisassembleShader(cut, 7, text), D3DXERR_INVALIDDATA);
  EXPECT_EQ(text.rfind("ps_2_0\nmov oC0, c0\n// stopped at token 4: ", 0), 0u) << text;
  const DWORD noEnd[] = {D3DPS_VERSION(2, 0), 0x02000001, Dst(OC, 0), Src(C, 0)};
  EXPECT_EQ(DisassembleShader(noEnd, 4, text), D3DXERR_INVALIDDATA);
  EXPECT_EQ(text, "ps_2_0\nmov oC0, c0\n// the stream ends without an end token\n");
  // A comment claiming more words than there are.
  const DWORD longComment[] = {D3DPS_VERSION(2, 0), 0x0010FFFE, 0, kEnd};
  EXPECT_EQ(DisassembleShader(longComment, 4, text), D3DXERR_INVALIDDATA);
}

// Assembles source from memory; empty on failure, with the messages in `errors`.
std::vector<DWORD> Assemble(const std::string& source, DWORD flags, std::string* errors = nullptr) {
  ID3DXBuffer* shader = nullptr;
  ID3DXBuffer* messages = nullptr;
  HRESULT hr =
      D3DXAssembleShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr, flags, &shader, &messages);
  std::vector<DWORD> tokens;
  if (SUCCEEDED(hr) && shader) {
    auto* begin = static_cast<const DWORD*>(shader->GetBufferPointer());
    tokens.assign(begin, begin + shader->GetBufferSize() / 4);
  }
  if (errors) *errors = messages ? std::string(static_cast<const char*>(messages->GetBufferPointer())) : "";
  if (shader) shader->Release();
  if (messages) messages->Release();
  return tokens;
}

// Source → tokens → disassembly → tokens: the two token streams must be identical.
void ExpectRoundTrip(const std::string& source, DWORD flags = D3DXSHADER_SKIPVALIDATION) {
  std::string errors;
  std::vector<DWORD> first = Assemble(source, flags, &errors);
  ASSERT_FALSE(first.empty()) << source << errors;
  std::string text;
  ASSERT_EQ(DisassembleShader(first.data(), first.size(), text), D3D_OK) << text;
  std::vector<DWORD> second = Assemble(text, flags & ~D3DXSHADER_DEBUG, &errors);
  ASSERT_FALSE(second.empty()) << "source:\n" << source << "disassembly:\n" << text << errors;
  if (flags & D3DXSHADER_DEBUG) {
    // The debug block comes back as comments only: compare everything but it.
    ASSERT_GT(first.size(), 2u);
    UINT block = 1 + ((first[1] >> 16) & 0x7FFF);
    first.erase(first.begin() + 1, first.begin() + 1 + block);
  }
  EXPECT_EQ(first, second) << "source:\n" << source << "disassembly:\n" << text;
}

TEST(DisassemblyRoundTrip, HandWrittenShadersOfEveryVersion) {
  ExpectRoundTrip(
      "ps_1_1\ndef c0, 1.5, -0.25, 0.1, 0\ntex t0\ntexbem t1, t0\nmul_x2_sat r0.rgb, t0_bias, -c0_bx2\n"
      "+mov r0.a, 1 - t1.a\nadd_d2 r1, -t1_bias, c0.b\ncnd r0, r0.a, r1, c0\n");
  ExpectRoundTrip(
      "ps_1_3\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3spec t3, t0, c0\ntexkill t0\n"
      "mov r0, t3\n");
  ExpectRoundTrip(
      "ps_1_4\ntexcrd r0.xyz, t0\ntexld r1, t1_dz.xyz\nphase\ntexld r2, r0\nbem r3.rg, c0, r1\n"
      "mov_x4 r0, r2_x2\ntexdepth r5\n");
  ExpectRoundTrip(
      "vs_1_1\ndcl_position v0\ndcl_texcoord3 v1\nmov a0.x, c0.x\nmov r0, c[a0.x + 3]\n"
      "rcp r1, c0\nm4x3 r2, v0, c4\nm4x4 oPos, v0, c4\nsub oT0, v1, -r0\nlogp r3, c0.y\n"
      "mov oFog, c1.x\nmov oD0, c0\n");
  ExpectRoundTrip(
      "vs_2_x\ndcl_position v0\ndefb b0, true\ndefi i0, 3, 0, 1, -2\nmova a0.xy, c0\n"
      "mov r0, c3[a0.y]\nloop aL, i0\nmov r1, c[aL + 4]\nendloop\nif !b0\nsincos r2.xy, r0.x, c1, c2\n"
      "endif\nsetp_ne p0, r0, c1\nif_lt r0.x, c0.y\nelse\nbreakp !p0.y\nendif\n(!p0.x) mov oPos, r0\n"
      "rep i0\nbreak_ge r0.x, c0.x\nendrep\ncallnz l2, b0\ncall l2\nret\nlabel l2\nret\n");
  ExpectRoundTrip(
      "vs_3_0\ndcl_position v0\ndcl_texcoord5 v3\ndcl_2d s0\ndcl_position o0\ndcl_color1 o1.xy\n"
      "texldl r0, v3, s0\nmov_sat o1.xy, -r0_abs\nloop aL, i1\nmov o[aL + 1], v[aL]\nendloop\n"
      "mov o0, v0\n");
  ExpectRoundTrip(
      "ps_2_0\ndcl t0.xy\ndcl v1\ndcl_2d s0\ndcl_cube s1\ndcl_volume s2\ntexld r0, t0, s0\n"
      "texldp r1, t0, s1\ntexldb_pp r2, t0, s2\nmul_sat_pp r0.xy, r0, c0.x\ndp2add r3, r0, c1, c2.w\n"
      "texkill r0\nmov oC0, -r0.yzxw\nmov oDepth, r1.x\n");
  ExpectRoundTrip(
      "ps_3_0\ndcl_texcoord1_centroid v0.xy\ndcl_color v1\ndcl vFace\ndcl vPos.xy\ndcl_cube s1\n"
      "texldp r0, v0_abs, s1\ntexldd r2, v0, s1, r0, r1\nmov r1, v[aL + 1]\nif_gt vFace, c0.x\nendif\n"
      "dsx r3, r0\nmov oC0, -r0_abs\nmov oC1, vPos.xyxy\n");
  ExpectRoundTrip(
      "vs_3_0\ndef c2000, 1e-45, 3.4028235e38, 1e39, -0.0\ndef c1, 0.1, 0.2, 0.3, 16777217\n"
      "dcl_position o0\nmov o0, c1\n");
}

// Shaders of the kinds the benchmark's tests use pass the validator the assembler runs, and
// read back to the same tokens.
TEST(DisassemblyRoundTrip, BenchmarkStyleShadersValidateAndRoundTrip) {
  const char* const sources[] = {
      "ps_1_1\nmov r0, v0\n",
      "ps_1_1\ntex t0\nlrp r0, v1.a, t0, v0\n",
      "ps_1_4\ndef c0, 0.5, 0.5, 0.5, 1\nmov r0, v0\nmad r0, v1, c0, r0\n",
      "vs_1_1\ndcl_position v0\ndcl_color0 v1\ndcl_color1 v2\nmov oPos, v0\nmov oD0, v1\nmov oD1, v2\n",
      "vs_1_1\ndcl_position v0\ndcl_texcoord0 v1\nmov oPos, v0\nmov oT0.xy, v1\n",
      "ps_2_0\ndef c0, 2.0, -1.0, 0.0, 1.0\ndef c1, 0.577, 0.577, 0.577, 0\ndcl t0.xy\ndcl_2d s0\ndcl_2d s1\n"
      "texld r0, t0, s0\ntexld r1, t0, s1\nmad r0.xyz, r0, c0.x, c0.y\nnrm r2.xyz, r0\ndp3_sat r3.x, r2, c1\n"
      "mul r0.xyz, r1, r3.x\nmov r0.w, r1.w\nmov oC0, r0\n",
      "ps_2_0\ndef c0, 2.0, -1.0, 0.0, 1.0\ndcl t0.xy\ndcl_2d s0\ntexld_pp r0, t0, s0\n"
      "mad_pp r0.xyz, r0, c0.x, c0.y\ndp3_sat_pp r1.x, r0, c1\nmul_pp r0, r0, r1.x\nmov_pp oC0, r0\n",
  };
  for (const char* source : sources) {
    std::string errors;
    EXPECT_FALSE(Assemble(source, 0, &errors).empty()) << source << errors;
    ExpectRoundTrip(source, 0);
  }
}

// The shader files the benchmark reads, with validation.
TEST(DisassemblyRoundTrip, TheBenchmarksShaderFiles) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(RASTRO_DATA_DIR)) {
    std::string extension = entry.path().extension().string();
    if (extension != ".psh" && extension != ".vsh") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string source{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    SCOPED_TRACE(entry.path().filename().string());
    ExpectRoundTrip(source, 0);
    ++files;
  }
  EXPECT_GE(files, 12);
}

TEST(DisassemblyRoundTrip, TheDebugBlockComesBackAsComments) {
  std::string errors;
  std::vector<DWORD> tokens =
      Assemble("ps_2_0\ndcl t0\nmov oC0, t0\n", D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION, &errors);
  ASSERT_FALSE(tokens.empty()) << errors;
  std::string text;
  ASSERT_EQ(DisassembleShader(tokens.data(), tokens.size(), text), D3D_OK);
  EXPECT_NE(text.find("// debug information from D3DX9 Shader Assembler\n"), std::string::npos) << text;
  EXPECT_NE(text.find("// line 3, file "), std::string::npos) << text;
  ExpectRoundTrip("ps_2_0\ndcl t0\nmov oC0, t0\n", D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION);
}

// Operands for the generated set: a temp destination and sources of the ordinary kinds, with
// each source modifier the version knows.
std::vector<std::string> SourceSpellings(int version) {
  std::vector<std::string> sources = {"r1", "-c2.x", "v0.yzxw"};
  if (IsPs1x(version)) {
    sources.insert(sources.end(), {"r1_bias", "-r1_bias", "c1_bx2", "-r1_bx2", "1 - r1"});
    if (version == kPs14) sources.insert(sources.end(), {"r1_x2", "-r1_x2"});
  }
  if (IsVersion3(version)) sources.insert(sources.end(), {"r1_abs", "-c2_abs.w"});
  return sources;
}

std::vector<std::string> ResultSuffixes(int version) {
  std::vector<std::string> suffixes = {""};
  if (IsPixelVersion(version) || version == kVs30 || version == kVs3sw) suffixes.push_back("_sat");
  if (IsPs1x(version)) suffixes.insert(suffixes.end(), {"_x2", "_x4", "_x8", "_d2", "_d4", "_d8", "_x2_sat"});
  if (IsPixelVersion(version) && version >= kPs20) suffixes.insert(suffixes.end(), {"_pp", "_sat_pp"});
  return suffixes;
}

// Writes and reads of the registers beyond r, c and v that the version has.
std::string RegisterLines(int version) {
  switch (version) {
    case kVs11:
      return "mov oPos, c95\nmov oD1, r11\nmov oT7.xy, v15\nmov oFog, c0.x\nmov oPts, c0.y\nmov r0, c[a0.x + 7]\n";
    case kVs20:
    case kVs2x:
    case kVs2sw:
      return "mov oPos, c255\nmov oD1, r11\nmov oT7.xy, v15\nmov oFog, c0.x\nmov oPts, c0.y\nmova a0.x, c0.x\n"
             "mov r0, c[a0.x + 7]\nmov r1, c[aL]\n";
    case kVs30:
    case kVs3sw: return "mov o11, r31\nmov o[aL + 1].xz, v[aL + 2]\nmov r0, c[a0.w + 9]\n";
    case kPs11:
    case kPs12:
    case kPs13: return "tex t3\nmov r1, t3\nmov r0, c7\n";
    case kPs14: return "texld r5, t5\nmov r1, v1\nmov r0, c7\n";
    case kPs20:
    case kPs2x:
    case kPs2sw: return "mov r11, t7\nmov oC3, v1\nmov oDepth, c31.x\n";
    default: return "mov r31, vPos\nmov oC3, v9\nmov oDepth, c223.x\nmov r0, v[aL + 1]\ncmp r0, vFace, c0, c1\n";
  }
}

const char* const kVersionNames[] = {"vs_1_1", "vs_2_0", "vs_2_x", "vs_2_sw", "vs_3_0",  "vs_3_sw", "ps_1_1", "ps_1_2",
                                     "ps_1_3", "ps_1_4", "ps_2_0", "ps_2_x",  "ps_2_sw", "ps_3_0",  "ps_3_sw"};

class GeneratedRoundTrip : public ::testing::TestWithParam<int> {};

// Every arithmetic instruction of the version with every result modifier, and with every source
// spelling in every source position.
TEST_P(GeneratedRoundTrip, EveryArithmeticInstructionWithItsModifiers) {
  int version = GetParam();
  std::string source = std::string(kVersionNames[version]) + "\n";
  int generated = 0;
  for (DWORD opcode = 0; opcode < 0x60; ++opcode) {
    const InstructionInfo* rule = FindInstruction(opcode, version);
    if (!rule || rule->kind != InstructionKind::Arithmetic) continue;
    char form = rule->forms[version];
    if (form < '1' || form > '5') continue;
    std::string mnemonic = rule->mnemonic;
    if (opcode == D3DSIO_SETP) mnemonic += "_le";
    int sources = form - '1';
    std::vector<std::string> suffixes =
        opcode == D3DSIO_MOVA || opcode == D3DSIO_SETP ? std::vector<std::string>{""} : ResultSuffixes(version);
    const char* destination = opcode == D3DSIO_MOVA ? "a0.x" : opcode == D3DSIO_SETP ? "p0" : "r0";
    for (const std::string& suffix : suffixes) {
      for (const std::string& spelling : SourceSpellings(version)) {
        for (int position = 0; position < sources; ++position) {
          std::string line = mnemonic + suffix + " " + destination;
          for (int i = 0; i < sources; ++i)
            line += ", " + (i == position ? spelling : std::string("c") + char('0' + i));
          source += line + "\n";
          ++generated;
        }
        if (sources == 0) break;
      }
    }
  }
  // Masks on the destination, a swizzle of each length, and the version's other registers.
  source += "mov r0.x, c0.wzyx\nmov r0.yw, c0.w\nmov r0.xyz, c0.xy\n";
  source += RegisterLines(version);
  EXPECT_GT(generated, 20);
  ExpectRoundTrip(source);
}

// One statement for an instruction of the table, with operands of the kinds it takes.
std::string CanonicalLine(const InstructionInfo& rule, int version) {
  bool ps3 = version == kPs30 || version == kPs3sw;
  bool vs3 = version == kVs30 || version == kVs3sw;
  std::string coordinate = ps3 ? "v1" : version == kVs30 || version == kVs3sw ? "r2" : "t1";
  char form = rule.forms[version];
  std::string name = rule.mnemonic;
  switch (rule.opcode) {
    case D3DSIO_DCL:
      if (!IsPixelVersion(version)) {
        return vs3 ? "dcl_normal v1\ndcl_2d s1\ndcl_fog o2.x\ndcl_texcoord7 o3.xy\n"
                   : "dcl_normal v1\ndcl_blendweight2 v2\n";
      }
      return ps3 ? "dcl_texcoord2 v2\ndcl_color1_centroid v3\ndcl vPos.xy\ndcl_volume s1\n"
                 : "dcl t1\ndcl v1.xyz\ndcl_volume s1\n";
    case D3DSIO_DEF: return "def c5, 1, 2.5, -3, 4e-10\n";
    case D3DSIO_DEFI: return "defi i1, 1, -2, 3, 255\n";
    case D3DSIO_DEFB: return "defb b1, false\n";
    case D3DSIO_CALL: return "call l1\n";
    case D3DSIO_CALLNZ: return "callnz l1, b0\ncallnz l1, !b1\n";
    case D3DSIO_LOOP: return "loop aL, i0\n";
    case D3DSIO_LABEL: return "label l1\n";
    case D3DSIO_REP: return "rep i0\n";
    case D3DSIO_IF: return "if b0\n";
    case D3DSIO_IFC: return "if_ge r0.x, c0.x\n";
    case D3DSIO_BREAKC: return "break_eq r0.y, -c1.z\n";
    case D3DSIO_BREAKP: return "breakp p0.x\n";
    case D3DSIO_SETP: return "setp_lt p0, r1, c1\n";
    case D3DSIO_MOVA: return "mova a0.x, c1.x\n";
    case D3DSIO_TEXDEPTH: return "texdepth r5\n";
    case D3DSIO_TEXM3x3SPEC: return "texm3x3spec t3, t1, c0\n";
    default: break;
  }
  if (form == '0') return name + "\n";
  if (rule.kind != InstructionKind::Texture) {
    std::string line = name + " r0";
    for (char i = '1'; i < form; ++i) line += std::string(", c") + i;
    return line + "\n";
  }
  if (IsPs1x(version) && version != kPs14) {
    return form == '1' ? name + " t1\n" : name + " t2, t1\n";
  }
  if (form == '1') return name + " r1\n";                      // texkill
  if (form == '2') return name + " r1, " + coordinate + "\n";  // ps_1_4 texld, texcrd
  if (form == '5') return name + " r1, " + coordinate + ", s1, r3, r4\n";
  return name + " r1, " + coordinate + ", s1\n";
}

// Every instruction each version has, once, with the operands it takes.
TEST_P(GeneratedRoundTrip, EveryInstructionOfTheVersion) {
  int version = GetParam();
  std::string source = std::string(kVersionNames[version]) + "\n";
  int instructions = 0;
  for (DWORD opcode = 0; opcode <= 0xFFFD; opcode = opcode == 0x60 ? 0xFFFD : opcode + 1) {
    for (DWORD controls : {0u, 0x10000u, 0x20000u}) {
      if (controls && opcode != D3DSIO_TEX) continue;
      const InstructionInfo* rule = FindInstruction(opcode | controls, version);
      if (!rule) continue;
      source += CanonicalLine(*rule, version);
      ++instructions;
    }
  }
  EXPECT_GT(instructions, 10);
  ExpectRoundTrip(source);
}

INSTANTIATE_TEST_SUITE_P(Versions, GeneratedRoundTrip, ::testing::Range(0, static_cast<int>(kShaderVersionCount)),
                         [](const auto& test) { return std::string(kVersionNames[test.param]); });

}  // namespace
}  // namespace rastro::testing
