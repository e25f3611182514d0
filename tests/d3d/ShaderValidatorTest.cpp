// The shader validator: every message with a stream that breaks its rule and one that stays
// just inside it. Streams are encoded by hand from the published token layout.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "ModuleExports.h"
#include "d3d9types.h"
#include "validator/ShaderValidator.h"

namespace rastro::testing {
namespace {

using enum ValidatorMessage;

constexpr DWORD Code(ValidatorMessage message) { return static_cast<DWORD>(message); }
constexpr DWORD kEnd = 0x0000FFFF;
constexpr DWORD PS11 = D3DPS_VERSION(1, 1), PS14 = D3DPS_VERSION(1, 4), PS20 = D3DPS_VERSION(2, 0),
                PS2X = D3DPS_VERSION(2, 1), PS30 = D3DPS_VERSION(3, 0), VS11 = D3DVS_VERSION(1, 1),
                VS20 = D3DVS_VERSION(2, 0), VS30 = D3DVS_VERSION(3, 0);
// Register types.
constexpr DWORD R = 0, V = 1, C = 2, T = 3, A = 3, RAST = 4, OUT = 6, I = 7, OC = 8, S = 10, B = 14, AL = 15, MISC = 17,
                L = 18, P = 19;
constexpr DWORD XXXX = 0x00, WWWW = 0xFF, ID = 0xE4;

DWORD Reg(DWORD type, UINT number) { return 0x80000000u | ((type & 7) << 28) | ((type & 0x18) << 8) | number; }
// Destination: mask in bits 16-19, result modifiers and shift as given.
DWORD Dst(DWORD type, UINT number, DWORD mask = 0xF, DWORD modifiers = 0) {
  return Reg(type, number) | (mask << 16) | modifiers;
}
// Source: swizzle in bits 16-23, modifier in 24-27.
DWORD Src(DWORD type, UINT number, DWORD swizzle = ID, DWORD modifier = 0) {
  return Reg(type, number) | (swizzle << 16) | (modifier << 24);
}
constexpr DWORD kRelative = 0x2000;
DWORD Usage(DWORD usage, DWORD index = 0) { return 0x80000000u | usage | (index << 16); }
DWORD TextureType(DWORD type) { return 0x80000000u | (type << 27); }

// Builds a token stream and remembers where each instruction starts, so it can be fed to the
// validator one instruction at a time as the assembler does.
class Stream {
 public:
  explicit Stream(DWORD version) : lengths_(D3DSHADER_VERSION_MAJOR(version) >= 2) {
    tokens_.push_back(version);
    starts_.push_back(1);
  }
  Stream& Op(DWORD opcode, std::initializer_list<DWORD> params, DWORD flags = 0) {
    DWORD length = lengths_ ? static_cast<DWORD>(params.size()) << 24 : 0;
    tokens_.push_back(opcode | flags | length);
    tokens_.insert(tokens_.end(), params);
    starts_.push_back(tokens_.size());
    return *this;
  }
  Stream& Repeat(int times, DWORD opcode, std::initializer_list<DWORD> params) {
    for (int i = 0; i < times; ++i) Op(opcode, params);
    return *this;
  }
  Stream& Raw(std::initializer_list<DWORD> tokens) {
    tokens_.insert(tokens_.end(), tokens);
    starts_.push_back(tokens_.size());
    return *this;
  }
  Stream& End() { return Raw({kEnd}); }
  const std::vector<DWORD>& Tokens() const { return tokens_; }
  const std::vector<size_t>& Starts() const { return starts_; }

 private:
  bool lengths_;
  std::vector<DWORD> tokens_;
  std::vector<size_t> starts_;  // the end of each chunk
};

struct Reported {
  std::vector<DWORD> codes;
  std::vector<std::string> texts;
  std::vector<UINT> lines;
  std::vector<DWORD> kinds;
};

HRESULT Collect(const char*, UINT line, DWORD kind, DWORD code, const char* text, void* context) {
  auto* reported = static_cast<Reported*>(context);
  reported->codes.push_back(code);
  reported->texts.push_back(text);
  reported->lines.push_back(line);
  reported->kinds.push_back(kind);
  return S_OK;
}

IDirect3DShaderValidator9* CreateFromExport() {
  const RuntimeModule* module = FindLoadedModule("d3d9.dll");
  return module && module->Direct3DShaderValidatorCreate9 ? module->Direct3DShaderValidatorCreate9() : nullptr;
}

// Feeds the stream in the chunks it was built in (the version token, each instruction, the end
// token), with the chunk's number as its line.
Reported ValidateInChunks(const Stream& stream) {
  Reported reported;
  IDirect3DShaderValidator9* validator = CreateFromExport();
  EXPECT_NE(validator, nullptr);
  if (!validator) return reported;
  EXPECT_EQ(validator->Begin(&Collect, &reported, 0), S_OK);
  size_t from = 0;
  UINT line = 1;
  for (size_t to : stream.Starts()) {
    if (FAILED(validator->Instruction("a.psh", line++, stream.Tokens().data() + from, static_cast<UINT>(to - from)))) {
      break;
    }
    from = to;
  }
  EXPECT_EQ(validator->End(), S_OK);
  validator->Release();
  return reported;
}

struct RuleCase {
  const char* name;
  DWORD expected;  // the one message code the stream raises; 0 for a valid stream
  Stream stream;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class ValidatorRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ValidatorRules, ReportExactlyTheBrokenRule) {
  const RuleCase& c = GetParam();
  Reported reported = ValidateInChunks(c.stream);
  std::vector<DWORD> expected;
  if (c.expected) expected.push_back(c.expected);
  std::set<DWORD> distinct(reported.codes.begin(), reported.codes.end());
  EXPECT_EQ(std::vector<DWORD>(distinct.begin(), distinct.end()), expected)
      << (reported.texts.empty() ? std::string("(no message)") : reported.texts[0]);
  for (DWORD kind : reported.kinds) EXPECT_EQ(kind, static_cast<DWORD>(kShaderValidatorError));
  // The whole stream in one call finds the same.
  std::string first;
  UINT errors = ValidateShaderTokens(c.stream.Tokens().data(), static_cast<UINT>(c.stream.Tokens().size()), &first);
  EXPECT_EQ(errors, reported.codes.size());
  if (c.expected) {
    EXPECT_EQ(first.rfind("V" + std::to_string(c.expected) + ": ", 0), 0u) << first;
  }
}

constexpr DWORD kMov = D3DSIO_MOV, kAdd = D3DSIO_ADD, kTex = D3DSIO_TEX, kDcl = D3DSIO_DCL;

Stream Ps20MovColour(Stream s) { return s.Op(kMov, {Dst(OC, 0), Src(C, 0)}); }
Stream Ps20Sampling(int texlds) {
  Stream s(PS20);
  s.Op(kDcl, {0x80000000u, Dst(T, 0)}).Op(kDcl, {TextureType(2), Dst(S, 0)});
  s.Repeat(texlds, kTex, {Dst(R, 0), Src(T, 0), Src(S, 0)});
  return s.Op(kMov, {Dst(OC, 0), Src(R, 0)}).End();
}
Stream Vs11Moves(int moves) {
  Stream s(VS11);
  s.Op(kDcl, {Usage(D3DDECLUSAGE_POSITION), Dst(V, 0)}).Repeat(moves, kMov, {Dst(R, 0), Src(V, 0)});
  return s.Op(kMov, {Dst(RAST, 0), Src(V, 0)}).End();
}
Stream Ps20Arithmetic(int moves) {
  Stream s(PS20);
  s.Repeat(moves, kMov, {Dst(R, 0), Src(C, 0)});
  return s.Op(kMov, {Dst(OC, 0), Src(R, 0)}).End();
}
// ps_1_4: `textures` texld in phase 1, then `arithmetic` movs in phase 2.
Stream Ps14Phases(int textures, int arithmetic) {
  Stream s(PS14);
  for (int i = 0; i < textures; ++i) s.Op(kTex, {Dst(R, static_cast<UINT>(i % 6)), Src(T, static_cast<UINT>(i % 6))});
  s.Op(D3DSIO_PHASE, {});
  return s.Repeat(arithmetic, kMov, {Dst(R, 0), Src(C, 0)}).End();
}
Stream Ps11Textures(int count) {
  Stream s(PS11);
  // tex on t0-t3, then texkill, which tests coordinates and loads nothing.
  for (int i = 0; i < count; ++i) s.Op(i < 4 ? kTex : D3DSIO_TEXKILL, {Dst(T, static_cast<UINT>(i % 4))});
  return s.Op(kMov, {Dst(R, 0), Src(C, 0)}).End();
}
Stream Ps2xMoves(int moves) {
  Stream s(PS2X);
  return s.Repeat(moves, kMov, {Dst(OC, 0), Src(C, 0)}).End();
}
Stream Vs20Reps(int depth) {
  Stream s(VS20);
  s.Op(kMov, {Dst(RAST, 0), Src(C, 0)});
  for (int i = 0; i < depth; ++i) s.Op(D3DSIO_REP, {Src(I, 0)});
  for (int i = 0; i < depth; ++i) s.Op(D3DSIO_ENDREP, {});
  return s.End();
}
Stream Vs30Inputs(DWORD secondUsage) {
  Stream s(VS30);
  s.Op(kDcl, {Usage(D3DDECLUSAGE_POSITION), Dst(V, 0)}).Op(kDcl, {Usage(secondUsage), Dst(V, 1)});
  s.Op(kDcl, {Usage(D3DDECLUSAGE_POSITION), Dst(OUT, 0)});
  return s.Op(kMov, {Dst(OUT, 0), Src(V, 0)}).Op(kMov, {Dst(OUT, 0, 1), Src(V, 1)}).End();
}
Stream Vs20Labels(UINT called, UINT first, UINT second) {
  Stream s(VS20);
  s.Op(D3DSIO_CALL, {Src(L, called)}).Op(kMov, {Dst(RAST, 0), Src(C, 0)}).Op(D3DSIO_RET, {});
  s.Op(D3DSIO_LABEL, {Src(L, first)}).Op(D3DSIO_RET, {}).Op(D3DSIO_LABEL, {Src(L, second)}).Op(D3DSIO_RET, {});
  return s.End();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Rules, ValidatorRules,
    ::testing::Values(
        RuleCase{"ValidPs11", 0, Stream(PS11).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"UnknownVersion", Code(BadVersion), Stream(0xFFFF0105).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"TokensAfterEnd", Code(AfterEnd), Stream(PS11).Op(kMov, {Dst(R, 0), Src(C, 0)}).End().Op(kMov, {Dst(R, 0), Src(C, 0)})},
        RuleCase{"InstructionCutShort", Code(Malformed), Stream(PS20).Raw({0x02000001, Dst(OC, 0)})},
        RuleCase{"WholeInstruction", 0, Stream(PS20).Raw({0x02000001, Dst(OC, 0), Src(C, 0), kEnd})},
        RuleCase{"LengthFieldTooLong", Code(Malformed), Ps20MovColour(Stream(PS20).Raw({0x03000001, Dst(OC, 0), Src(C, 0), Src(C, 1)})).End()},
        RuleCase{"UnknownOpcode", Code(Malformed), Ps20MovColour(Stream(PS20).Op(0x31, {})).End()},
        RuleCase{"KnownOpcodeNop", 0, Ps20MovColour(Stream(PS20).Op(D3DSIO_NOP, {})).End()},
        RuleCase{"VertexOnlyInstruction", Code(NotInVersion), Ps20MovColour(Stream(PS20).Op(D3DSIO_LIT, {Dst(R, 0), Src(C, 0)})).End()},
        RuleCase{"PixelInstructionFrc", 0, Ps20MovColour(Stream(PS20).Op(D3DSIO_FRC, {Dst(R, 0), Src(C, 0)})).End()},
        RuleCase{"ParameterWithoutMarker", Code(Malformed), Ps20MovColour(Stream(PS20).Op(kMov, {Dst(OC, 0), 0x20E40000})).End()},
        RuleCase{"NoEndToken", Code(NoEnd), Ps20MovColour(Stream(PS20))},
        RuleCase{"CoissueOverlappingMasks", Code(Coissue), Stream(PS11).Op(kMov, {Dst(R, 0), Src(C, 0)}).Op(kMov, {Dst(R, 0, 8), Src(C, 1)}, D3DSI_COISSUE).End()},
        RuleCase{"CoissueColourAndAlpha", 0, Stream(PS11).Op(kMov, {Dst(R, 0, 7), Src(C, 0)}).Op(kMov, {Dst(R, 0, 8), Src(C, 1)}, D3DSI_COISSUE).End()},
        RuleCase{"PredicatedInPs20", Code(Predication), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(P, 0), Src(C, 0)}, 0x10000000).End()},
        RuleCase{"PredicatedInPs2x", 0, Stream(PS2X).Op(D3DSIO_SETP | (D3DSPC_GT << 16), {Dst(P, 0), Src(C, 0), Src(C, 1)}).Op(kMov, {Dst(OC, 0), Src(P, 0), Src(C, 0)}, 0x10000000).End()},
        RuleCase{"PredicateFromTemp", Code(PredicateRegister), Stream(PS2X).Op(kMov, {Dst(R, 0), Src(C, 0)}).Op(kMov, {Dst(OC, 0), Src(R, 0), Src(C, 0)}, 0x10000000).End()},
        RuleCase{"FaceInPs20", Code(RegisterUnavailable), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(MISC, 1)}).End()},
        RuleCase{"FaceInPs30", 0, Stream(PS30).Op(kDcl, {0x80000000u, Dst(MISC, 1)}).Op(kMov, {Dst(OC, 0), Src(MISC, 1)}).End()},
        RuleCase{"MovToAddressInVs20", Code(NotWritable), Stream(VS20).Op(kMov, {Dst(A, 0, 1), Src(C, 0, XXXX)}).Op(kMov, {Dst(RAST, 0), Src(C, 0)}).End()},
        RuleCase{"MovaToAddressInVs20", 0, Stream(VS20).Op(D3DSIO_MOVA, {Dst(A, 0, 1), Src(C, 0, XXXX)}).Op(kMov, {Dst(RAST, 0), Src(C, 0)}).End()},
        RuleCase{"Ps14ArithmeticReadsT", Code(NotReadable), Stream(PS14).Op(kMov, {Dst(R, 0), Src(T, 0)}).End()},
        RuleCase{"Ps14TexcrdReadsT", 0, Stream(PS14).Op(D3DSIO_TEXCOORD, {Dst(R, 0), Src(T, 0)}).End()},
        RuleCase{"ConstantPastPs20Range", Code(IndexRange), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 32)}).End()},
        RuleCase{"LastPs20Constant", 0, Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 31)}).End()},
        RuleCase{"RelativeInPs20", Code(RelativeNotAllowed), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 0) | kRelative, Src(A, 0, XXXX)}).End()},
        RuleCase{"RelativeThroughA0InVs20", 0, Stream(VS20).Op(D3DSIO_MOVA, {Dst(A, 0, 1), Src(C, 0, XXXX)}).Op(kMov, {Dst(RAST, 0), Src(C, 1) | kRelative, Src(A, 0, XXXX)}).End()},
        RuleCase{"RelativeThroughTemp", Code(RelativeRegister), Stream(VS20).Op(kMov, {Dst(R, 0), Src(C, 0)}).Op(kMov, {Dst(RAST, 0), Src(C, 1) | kRelative, Src(R, 0, XXXX)}).End()},
        RuleCase{"TempReadBeforeWritten", Code(ReadBeforeWrite), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(R, 0)}).End()},
        RuleCase{"TempComponentMissing", Code(ReadBeforeWrite), Stream(PS20).Op(kMov, {Dst(R, 0, 7), Src(C, 0)}).Op(kMov, {Dst(OC, 0), Src(R, 0)}).End()},
        RuleCase{"TempReadsOnlyWrittenComponents", 0, Stream(PS20).Op(kMov, {Dst(R, 0, 7), Src(C, 0)}).Op(kMov, {Dst(OC, 0, 7), Src(R, 0)}).Op(kMov, {Dst(OC, 0, 8), Src(C, 0)}).End()},
        RuleCase{"TwoConstantsInVs11", Code(ReadPorts), Stream(VS11).Op(kAdd, {Dst(RAST, 0), Src(C, 0), Src(C, 1)}).End()},
        RuleCase{"OneConstantTwiceInVs11", 0, Stream(VS11).Op(kAdd, {Dst(RAST, 0), Src(C, 0), Src(C, 0, WWWW)}).End()},
        RuleCase{"LoopCounterOutsideLoop", Code(LoopCounterOutsideLoop), Stream(VS20).Op(kMov, {Dst(RAST, 0), Src(C, 1) | kRelative, Src(AL, 0, XXXX)}).End()},
        RuleCase{"LoopCounterInsideLoop", 0, Stream(VS20).Op(D3DSIO_LOOP, {Src(AL, 0), Src(I, 0)}).Op(kMov, {Dst(RAST, 0), Src(C, 1) | kRelative, Src(AL, 0, XXXX)}).Op(D3DSIO_ENDLOOP, {}).End()},
        RuleCase{"BiasInPs20", Code(SourceModifier), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 0, ID, 2)}).End()},
        RuleCase{"NegateInPs20", 0, Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 0, ID, 1)}).End()},
        RuleCase{"ExpandedNormalInPs11Texm3x2", 0, Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(D3DSIO_TEXM3x2PAD, {Dst(T, 1), Src(T, 0, ID, 4)}).Op(D3DSIO_TEXM3x2TEX, {Dst(T, 2), Src(T, 0, ID, 4)}).Op(kMov, {Dst(R, 0), Src(T, 2)}).End()},
        RuleCase{"BiasInPs11Texm3x2", Code(SourceModifier), Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(D3DSIO_TEXM3x2PAD, {Dst(T, 1), Src(T, 0, ID, 2)}).Op(D3DSIO_TEXM3x2TEX, {Dst(T, 2), Src(T, 0)}).Op(kMov, {Dst(R, 0), Src(T, 2)}).End()},
        RuleCase{"ExpandedCoordinatesInPs14Texld", Code(SourceModifier), Stream(PS14).Op(kTex, {Dst(R, 0), Src(T, 0, ID, 4)}).End()},
        RuleCase{"PartialPrecisionInPs11", Code(ResultModifier), Stream(PS11).Op(kMov, {Dst(R, 0, 0xF, D3DSPDM_PARTIALPRECISION), Src(C, 0)}).End()},
        RuleCase{"SaturateInPs11", 0, Stream(PS11).Op(kMov, {Dst(R, 0, 0xF, D3DSPDM_SATURATE), Src(C, 0)}).End()},
        RuleCase{"Ps11MaskXy", Code(WriteMask), Stream(PS11).Op(kMov, {Dst(R, 0, 3), Src(C, 0)}).End()},
        RuleCase{"Ps11MaskRgb", 0, Stream(PS11).Op(kMov, {Dst(R, 0, 7), Src(C, 0)}).End()},
        RuleCase{"Ps20SwizzleYxzw", Code(Swizzle), Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 0, 0xE1)}).End()},
        RuleCase{"Ps20SwizzleYzxw", 0, Stream(PS20).Op(kMov, {Dst(OC, 0), Src(C, 0, 0xC9)}).End()},
        RuleCase{"RcpWithoutReplicate", Code(ReplicateSwizzle), Stream(PS20).Op(D3DSIO_RCP, {Dst(R, 0), Src(C, 0)}).Op(kMov, {Dst(OC, 0), Src(R, 0)}).End()},
        RuleCase{"RcpOfX", 0, Stream(PS20).Op(D3DSIO_RCP, {Dst(R, 0), Src(C, 0, XXXX)}).Op(kMov, {Dst(OC, 0), Src(R, 0)}).End()},
        RuleCase{"TexldFromConstant", Code(OperandType), Stream(PS20).Op(kDcl, {0x80000000u, Dst(T, 0)}).Op(kTex, {Dst(R, 0), Src(T, 0), Src(C, 0)}).Op(kMov, {Dst(OC, 0), Src(R, 0)}).End()},
        RuleCase{"TexldFromSampler", 0, Ps20Sampling(1)},
        RuleCase{"TexcoordNotDeclared", Code(NotDeclared), Stream(PS20).Op(kDcl, {TextureType(2), Dst(S, 0)}).Op(kTex, {Dst(R, 0), Src(T, 0), Src(S, 0)}).Op(kMov, {Dst(OC, 0), Src(R, 0)}).End()},
        RuleCase{"TexcoordDeclaredTwice", Code(DeclaredTwice), Ps20MovColour(Stream(PS20).Op(kDcl, {0x80000000u, Dst(T, 0)}).Op(kDcl, {0x80000000u, Dst(T, 0)})).End()},
        RuleCase{"TwoTexcoordsDeclared", 0, Ps20MovColour(Stream(PS20).Op(kDcl, {0x80000000u, Dst(T, 0)}).Op(kDcl, {0x80000000u, Dst(T, 1)})).End()},
        RuleCase{"DefinitionAfterInstruction", Code(DeclarationOrder), Ps20MovColour(Stream(PS20)).Op(D3DSIO_DEF, {Dst(C, 1), 0x3F800000, 0, 0, 0}).End()},
        RuleCase{"DefinitionFirst", 0, Ps20MovColour(Stream(PS20).Op(D3DSIO_DEF, {Dst(C, 1), 0x3F800000, 0, 0, 0})).End()},
        RuleCase{"DeclareTemp", Code(DeclarationTarget), Ps20MovColour(Stream(PS20).Op(kDcl, {0x80000000u, Dst(R, 0)})).End()},
        RuleCase{"DeclareColourInput", 0, Ps20MovColour(Stream(PS20).Op(kDcl, {0x80000000u, Dst(V, 0)})).End()},
        RuleCase{"SamplerWithoutType", Code(SamplerType), Ps20MovColour(Stream(PS20).Op(kDcl, {0x80000000u, Dst(S, 0)})).End()},
        RuleCase{"SamplerCube", 0, Ps20MovColour(Stream(PS20).Op(kDcl, {TextureType(3), Dst(S, 0)})).End()},
        RuleCase{"TwoPositionInputs", Code(UsageTwice), Vs30Inputs(D3DDECLUSAGE_POSITION)},
        RuleCase{"PositionAndNormalInputs", 0, Vs30Inputs(D3DDECLUSAGE_NORMAL)},
        RuleCase{"Ps20Arithmetic65", Code(ArithmeticSlots), Ps20Arithmetic(64)},
        RuleCase{"Ps20Arithmetic64", 0, Ps20Arithmetic(63)},
        RuleCase{"Ps20Texture33", Code(TextureSlots), Ps20Sampling(33)},
        RuleCase{"Ps20Texture32", 0, Ps20Sampling(32)},
        RuleCase{"Vs11Slots129", Code(TotalSlots), Vs11Moves(128)},
        RuleCase{"Vs11Slots128", 0, Vs11Moves(127)},
        RuleCase{"Ps14SevenTexturesInAPhase", Code(TextureSlots), Ps14Phases(7, 1)},
        RuleCase{"Ps14SixTexturesInAPhase", 0, Ps14Phases(6, 1)},
        RuleCase{"Ps14NineArithmeticInAPhase", Code(ArithmeticSlots), Ps14Phases(1, 9)},
        RuleCase{"Ps14EightArithmeticInAPhase", 0, Ps14Phases(1, 8)},
        RuleCase{"Ps11FiveTextures", Code(TextureSlots), Ps11Textures(5)},
        RuleCase{"Ps11FourTextures", 0, Ps11Textures(4)},
        RuleCase{"Ps2xSlots513", Code(TotalSlots), Ps2xMoves(513)},
        RuleCase{"Ps2xSlots512", 0, Ps2xMoves(512)},
        RuleCase{"TwoPhases", Code(Phase), Stream(PS14).Op(D3DSIO_PHASE, {}).Op(D3DSIO_PHASE, {}).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"OnePhase", 0, Stream(PS14).Op(D3DSIO_PHASE, {}).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"EndifWithoutIf", Code(Unbalanced), Stream(VS20).Op(kMov, {Dst(RAST, 0), Src(C, 0)}).Op(D3DSIO_ENDIF, {}).End()},
        RuleCase{"IfEndif", 0, Stream(VS20).Op(D3DSIO_IF, {Src(B, 0)}).Op(D3DSIO_ENDIF, {}).Op(kMov, {Dst(RAST, 0), Src(C, 0)}).End()},
        RuleCase{"IfNeverClosed", Code(Unclosed), Stream(VS20).Op(D3DSIO_IF, {Src(B, 0)}).Op(kMov, {Dst(RAST, 0), Src(C, 0)}).End()},
        RuleCase{"RepFiveDeep", Code(NestingDepth), Vs20Reps(5)},
        RuleCase{"RepFourDeep", 0, Vs20Reps(4)},
        RuleCase{"LabelTwice", Code(LabelTwice), Vs20Labels(0, 0, 0)},
        RuleCase{"TwoLabels", 0, Vs20Labels(1, 0, 1)},
        RuleCase{"CallToMissingLabel", Code(LabelMissing), Vs20Labels(2, 0, 1)},
        RuleCase{"Ps20WithoutColour", Code(OutputNotWritten), Stream(PS20).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"Ps11WithoutR0", Code(OutputNotWritten), Stream(PS11).Op(kMov, {Dst(R, 1), Src(C, 0)}).End()},
        RuleCase{"Vs11WithoutPosition", Code(OutputNotWritten), Stream(VS11).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"Vs30WithoutPositionOutput", Code(OutputNotWritten), Stream(VS30).Op(kDcl, {Usage(D3DDECLUSAGE_COLOR), Dst(OUT, 0)}).Op(kMov, {Dst(OUT, 0), Src(C, 0)}).End()},
        RuleCase{"Vs30OutputNotDeclared", Code(NotDeclared), Stream(VS30).Op(kDcl, {Usage(D3DDECLUSAGE_POSITION), Dst(OUT, 0)}).Op(kMov, {Dst(OUT, 0), Src(C, 0)}).Op(kMov, {Dst(OUT, 1), Src(C, 0)}).End()},
        RuleCase{"TexAfterArithmetic", Code(TextureAfterArithmetic), Stream(PS11).Op(kMov, {Dst(R, 0), Src(C, 0)}).Op(kTex, {Dst(T, 0)}).End()},
        RuleCase{"TexBeforeArithmetic", 0, Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(kMov, {Dst(R, 0), Src(T, 0)}).End()},
        RuleCase{"PadWithoutTex", Code(MatrixSequence), Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(D3DSIO_TEXM3x2PAD, {Dst(T, 1), Src(T, 0)}).Op(kMov, {Dst(R, 0), Src(C, 0)}).End()},
        RuleCase{"PadThenTex", 0, Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(D3DSIO_TEXM3x2PAD, {Dst(T, 1), Src(T, 0)}).Op(D3DSIO_TEXM3x2TEX, {Dst(T, 2), Src(T, 0)}).Op(kMov, {Dst(R, 0), Src(T, 2)}).End()},
        RuleCase{"TexTwiceToT0", Code(TextureWrittenTwice), Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(kTex, {Dst(T, 0)}).Op(kMov, {Dst(R, 0), Src(T, 0)}).End()},
        RuleCase{"TexToT0AndT1", 0, Stream(PS11).Op(kTex, {Dst(T, 0)}).Op(kTex, {Dst(T, 1)}).Op(kMov, {Dst(R, 0), Src(T, 0)}).End()},
        RuleCase{"DependentReadInPhaseOne", Code(PhaseOneSource), Stream(PS14).Op(kTex, {Dst(R, 1), Src(T, 0)}).Op(kTex, {Dst(R, 0), Src(R, 1)}).End()},
        RuleCase{"DependentReadInPhaseTwo", 0, Stream(PS14).Op(kTex, {Dst(R, 1), Src(T, 0)}).Op(D3DSIO_PHASE, {}).Op(kTex, {Dst(R, 0), Src(R, 1)}).End()}),
    [](const auto& test) { return test.param.name; });
// clang-format on

TEST(ValidatorMessages, EveryCodeHasOneRowWithItsOwnText) {
  const auto& table = kValidatorMessages;
  ASSERT_GT(std::size(table), 40u);
  std::set<DWORD> codes;
  std::set<std::string> texts;
  for (size_t i = 0; i < std::size(table); ++i) {
    EXPECT_TRUE(codes.insert(static_cast<DWORD>(table[i].message)).second) << table[i].name;
    EXPECT_TRUE(texts.insert(table[i].format).second) << table[i].name;
    EXPECT_LT(static_cast<DWORD>(table[i].message), 1000u);  // shown as 5000 + code
    if (i) {
      EXPECT_LT(static_cast<DWORD>(table[i - 1].message), static_cast<DWORD>(table[i].message));
    }
  }
}

TEST(ValidatorInterface, ReportsThroughTheCallbackWithTheCallersPosition) {
  IDirect3DShaderValidator9* validator = CreateFromExport();
  ASSERT_NE(validator, nullptr);
  const DWORD version = PS20;
  const DWORD readsR5[] = {0x02000001, Dst(OC, 0), Src(R, 5)};
  EXPECT_EQ(validator->Instruction(nullptr, 1, &version, 1), D3DERR_INVALIDCALL);  // before Begin
  Reported reported;
  ASSERT_EQ(validator->Begin(&Collect, &reported, 0), S_OK);
  EXPECT_EQ(validator->Instruction("a.psh", 3, &version, 1), S_OK);
  EXPECT_EQ(validator->Instruction("a.psh", 7, readsR5, 3), S_OK);
  EXPECT_EQ(validator->Instruction("a.psh", 8, &kEnd, 1), S_OK);
  EXPECT_EQ(validator->End(), S_OK);
  ASSERT_EQ(reported.codes.size(), 1u);
  EXPECT_EQ(reported.codes[0], static_cast<DWORD>(ReadBeforeWrite));
  EXPECT_EQ(reported.lines[0], 7u);
  EXPECT_EQ(reported.texts[0], "mov reads r5.xyzw, which has not been written");
  // The same object checks a second shader from a clean state.
  Reported second;
  ASSERT_EQ(validator->Begin(&Collect, &second, 0), S_OK);
  const DWORD valid[] = {PS20, 0x02000001, Dst(OC, 0), Src(C, 0), kEnd};
  EXPECT_EQ(validator->Instruction(nullptr, 0, valid, 5), S_OK);
  EXPECT_EQ(validator->End(), S_OK);
  EXPECT_TRUE(second.codes.empty());
  EXPECT_EQ(validator->End(), D3DERR_INVALIDCALL);  // not begun
  EXPECT_EQ(validator->Release(), 0u);
}

TEST(ValidatorInterface, AnUnreadableStreamFailsTheCallAndStopsChecking) {
  IDirect3DShaderValidator9* validator = CreateFromExport();
  ASSERT_NE(validator, nullptr);
  Reported reported;
  ASSERT_EQ(validator->Begin(&Collect, &reported, 0), S_OK);
  const DWORD cut[] = {PS20, 0x05000002, Dst(R, 0)};  // add with four tokens missing
  EXPECT_EQ(validator->Instruction(nullptr, 2, cut, 3), E_FAIL);
  const DWORD more[] = {0x02000001, Dst(OC, 0), Src(R, 9), kEnd};
  EXPECT_EQ(validator->Instruction(nullptr, 3, more, 4), E_FAIL);
  EXPECT_EQ(validator->End(), S_OK);
  ASSERT_EQ(reported.codes.size(), 1u);
  EXPECT_EQ(reported.codes[0], static_cast<DWORD>(Malformed));
  validator->Release();
}

}  // namespace
}  // namespace rastro::testing
