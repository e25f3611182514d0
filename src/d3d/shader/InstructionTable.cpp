#include "InstructionTable.h"

#include <array>
#include <iterator>

#include "d3d9types.h"

namespace rastro {

namespace {

struct VersionName {
  DWORD token;
  const char* text;
};

// In index order.
constexpr VersionName kVersions[kShaderVersionCount] = {
    {0xFFFE0101, "vs_1_1"},  {0xFFFE0200, "vs_2_0"},  {0xFFFE0201, "vs_2_x"},  {0xFFFE02FF, "vs_2_sw"},
    {0xFFFE0300, "vs_3_0"},  {0xFFFE03FF, "vs_3_sw"}, {0xFFFF0101, "ps_1_1"},  {0xFFFF0102, "ps_1_2"},
    {0xFFFF0103, "ps_1_3"},  {0xFFFF0104, "ps_1_4"},  {0xFFFF0200, "ps_2_0"},  {0xFFFF0201, "ps_2_x"},
    {0xFFFF02FF, "ps_2_sw"}, {0xFFFF0300, "ps_3_0"},  {0xFFFF03FF, "ps_3_sw"},
};

using enum InstructionKind;

// What most instructions allow: a result that may be _pp, and a predicate. The ps_1_x
// arithmetic instructions may also be coissued. Declarations and definitions allow neither;
// flow control takes a predicate token but has no result.
constexpr BYTE kResult = kPartialPrecision | kPredicateToken;
constexpr BYTE kPairable = kResult | kCoissuable;
constexpr BYTE kScalar = kResult | kScalarSource;
constexpr BYTE kFlow = kPredicateToken;

// Forms: vs_1_1 vs_2_0 vs_2_x vs_2_sw vs_3_0 vs_3_sw | ps_1_1 ps_1_2 ps_1_3 ps_1_4 ps_2_0 ps_2_x
// ps_2_sw ps_3_0 ps_3_sw. Rows of one opcode are adjacent, and never present in the same
// version: texcoord (ps_1_1-1_3) is texcrd in ps_1_4, tex is texld from ps_1_4 on. The
// comparison forms of if and break follow the plain ones, whose mnemonics they share.
constexpr InstructionInfo kInstructions[] = {
    // mnemonic, opcode, forms, kind, slots, flags, matrix components, matrix rows
    {"nop", D3DSIO_NOP, "000000000000000", Arithmetic, 1, kPredicateToken | kCoissuable, 0, 0},
    {"mov", D3DSIO_MOV, "222222222222222", Arithmetic, 1, kPairable, 0, 0},
    {"add", D3DSIO_ADD, "333333333333333", Arithmetic, 1, kPairable, 0, 0},
    {"sub", D3DSIO_SUB, "333333333333333", Arithmetic, 1, kPairable, 0, 0},
    {"mad", D3DSIO_MAD, "444444444444444", Arithmetic, 1, kPairable, 0, 0},
    {"mul", D3DSIO_MUL, "333333333333333", Arithmetic, 1, kPairable, 0, 0},
    {"rcp", D3DSIO_RCP, "222222----22222", Arithmetic, 1, kScalar, 0, 0},
    {"rsq", D3DSIO_RSQ, "222222----22222", Arithmetic, 1, kScalar, 0, 0},
    {"dp3", D3DSIO_DP3, "333333333333333", Arithmetic, 1, kPairable, 0, 0},
    {"dp4", D3DSIO_DP4, "333333-33333333", Arithmetic, 1, kPairable, 0, 0},
    {"min", D3DSIO_MIN, "333333----33333", Arithmetic, 1, kResult, 0, 0},
    {"max", D3DSIO_MAX, "333333----33333", Arithmetic, 1, kResult, 0, 0},
    {"slt", D3DSIO_SLT, "333333---------", Arithmetic, 1, kResult, 0, 0},
    {"sge", D3DSIO_SGE, "333333---------", Arithmetic, 1, kResult, 0, 0},
    {"exp", D3DSIO_EXP, "222222----22222", Arithmetic, 1, kScalar, 0, 0},
    {"log", D3DSIO_LOG, "222222----22222", Arithmetic, 1, kScalar, 0, 0},
    {"lit", D3DSIO_LIT, "222222---------", Arithmetic, 3, kResult, 0, 0},
    {"dst", D3DSIO_DST, "333333---------", Arithmetic, 1, kResult, 0, 0},
    {"lrp", D3DSIO_LRP, "-44444444444444", Arithmetic, 2, kPairable, 0, 0},
    {"frc", D3DSIO_FRC, "222222----22222", Arithmetic, 1, kResult, 0, 0},
    {"m4x4", D3DSIO_M4x4, "333333----33333", Arithmetic, 4, kResult, 4, 4},
    {"m4x3", D3DSIO_M4x3, "333333----33333", Arithmetic, 3, kResult, 4, 3},
    {"m3x4", D3DSIO_M3x4, "333333----33333", Arithmetic, 4, kResult, 3, 4},
    {"m3x3", D3DSIO_M3x3, "333333----33333", Arithmetic, 3, kResult, 3, 3},
    {"m3x2", D3DSIO_M3x2, "333333----33333", Arithmetic, 2, kResult, 3, 2},
    {"call", D3DSIO_CALL, "-SSSSS-----SSSS", FlowControl, 2, kFlow, 0, 0},
    {"callnz", D3DSIO_CALLNZ, "-TTTTT-----TTTT", FlowControl, 3, kFlow, 0, 0},
    {"loop", D3DSIO_LOOP, "-TTTTT-------TT", FlowControl, 3, kFlow, 0, 0},
    {"ret", D3DSIO_RET, "-00000-----0000", FlowControl, 1, kFlow, 0, 0},
    {"endloop", D3DSIO_ENDLOOP, "-00000-------00", FlowControl, 2, kFlow, 0, 0},
    {"label", D3DSIO_LABEL, "-SSSSS-----SSSS", FlowControl, 0, kFlow, 0, 0},
    {"dcl", D3DSIO_DCL, "111111----11111", Declaration, 0, kPartialPrecision, 0, 0},
    {"pow", D3DSIO_POW, "-33333----33333", Arithmetic, 3, kScalar, 0, 0},
    {"crs", D3DSIO_CRS, "-33333----33333", Arithmetic, 2, kResult, 0, 0},
    {"sgn", D3DSIO_SGN, "-44444---------", Arithmetic, 3, kResult, 0, 0},
    {"abs", D3DSIO_ABS, "-22222----22222", Arithmetic, 1, kResult, 0, 0},
    {"nrm", D3DSIO_NRM, "-22222----22222", Arithmetic, 3, kResult, 0, 0},
    {"sincos", D3DSIO_SINCOS, "-44422----44422", Arithmetic, 8, kResult, 0, 0},
    {"rep", D3DSIO_REP, "-SSSSS-----SSSS", FlowControl, 3, kFlow, 0, 0},
    {"endrep", D3DSIO_ENDREP, "-00000-----0000", FlowControl, 2, kFlow, 0, 0},
    {"if", D3DSIO_IF, "-SSSSS----SSSSS", FlowControl, 3, kFlow, 0, 0},
    {"if", D3DSIO_IFC, "--TTTT-----TTTT", FlowControl, 3, kFlow, 0, 0},
    {"else", D3DSIO_ELSE, "-00000----00000", FlowControl, 1, kFlow, 0, 0},
    {"endif", D3DSIO_ENDIF, "-00000----00000", FlowControl, 1, kFlow, 0, 0},
    {"break", D3DSIO_BREAK, "-00000-----0000", FlowControl, 1, kFlow, 0, 0},
    {"break", D3DSIO_BREAKC, "--TTTT-----TTTT", FlowControl, 3, kFlow, 0, 0},
    {"mova", D3DSIO_MOVA, "-22222---------", Arithmetic, 1, kResult, 0, 0},
    {"defb", D3DSIO_DEFB, "-BBBBB----BBBBB", Declaration, 0, 0, 0, 0},
    {"defi", D3DSIO_DEFI, "-IIIII-----IIII", Declaration, 0, 0, 0, 0},
    {"texcoord", D3DSIO_TEXCOORD, "------111------", Texture, 1, kResult, 0, 0},
    {"texcrd", D3DSIO_TEXCOORD, "---------2-----", Texture, 1, kResult, 0, 0},
    {"texkill", D3DSIO_TEXKILL, "------111111111", Texture, 1, kResult, 0, 0},
    {"tex", D3DSIO_TEX, "------111------", Texture, 1, kResult, 0, 0},
    {"texld", D3DSIO_TEX, "---------233333", Texture, 1, kResult, 0, 0},
    {"texldp", D3DSIO_TEX | D3DSI_TEXLD_PROJECT, "----------33333", Texture, 1, kResult, 0, 0},
    {"texldb", D3DSIO_TEX | D3DSI_TEXLD_BIAS, "----------33333", Texture, 1, kResult, 0, 0},
    {"texbem", D3DSIO_TEXBEM, "------222------", Texture, 1, kResult, 0, 0},
    {"texbeml", D3DSIO_TEXBEML, "------222------", Texture, 1, kResult, 0, 0},
    {"texreg2ar", D3DSIO_TEXREG2AR, "------222------", Texture, 1, kResult, 0, 0},
    {"texreg2gb", D3DSIO_TEXREG2GB, "------222------", Texture, 1, kResult, 0, 0},
    {"texm3x2pad", D3DSIO_TEXM3x2PAD, "------222------", Texture, 1, kResult, 0, 0},
    {"texm3x2tex", D3DSIO_TEXM3x2TEX, "------222------", Texture, 1, kResult, 0, 0},
    {"texm3x3pad", D3DSIO_TEXM3x3PAD, "------222------", Texture, 1, kResult, 0, 0},
    {"texm3x3tex", D3DSIO_TEXM3x3TEX, "------222------", Texture, 1, kResult, 0, 0},
    {"texm3x3spec", D3DSIO_TEXM3x3SPEC, "------333------", Texture, 1, kResult, 0, 0},
    {"texm3x3vspec", D3DSIO_TEXM3x3VSPEC, "------222------", Texture, 1, kResult, 0, 0},
    {"expp", D3DSIO_EXPP, "222222---------", Arithmetic, 1, kScalar, 0, 0},
    {"logp", D3DSIO_LOGP, "222222---------", Arithmetic, 1, kScalar, 0, 0},
    {"cnd", D3DSIO_CND, "------4444-----", Arithmetic, 1, kPairable, 0, 0},
    {"def", D3DSIO_DEF, "DDDDDDDDDDDDDDD", Declaration, 0, 0, 0, 0},
    {"texreg2rgb", D3DSIO_TEXREG2RGB, "-------22------", Texture, 1, kResult, 0, 0},
    {"texdp3tex", D3DSIO_TEXDP3TEX, "-------22------", Texture, 1, kResult, 0, 0},
    {"texm3x2depth", D3DSIO_TEXM3x2DEPTH, "--------2------", Texture, 1, kResult, 0, 0},
    {"texdp3", D3DSIO_TEXDP3, "-------22------", Texture, 1, kResult, 0, 0},
    {"texm3x3", D3DSIO_TEXM3x3, "-------22------", Texture, 1, kResult, 0, 0},
    {"texdepth", D3DSIO_TEXDEPTH, "---------1-----", Texture, 1, kResult, 0, 0},
    {"cmp", D3DSIO_CMP, "-------44444444", Arithmetic, 1, kPairable, 0, 0},
    {"bem", D3DSIO_BEM, "---------3-----", Arithmetic, 2, kPairable, 0, 0},
    {"dp2add", D3DSIO_DP2ADD, "----------44444", Arithmetic, 2, kResult, 0, 0},
    {"dsx", D3DSIO_DSX, "-----------2222", Arithmetic, 2, kResult, 0, 0},
    {"dsy", D3DSIO_DSY, "-----------2222", Arithmetic, 2, kResult, 0, 0},
    {"texldd", D3DSIO_TEXLDD, "-----------5555", Texture, 3, kResult, 0, 0},
    {"setp", D3DSIO_SETP, "--3333-----3333", Arithmetic, 1, kResult, 0, 0},
    {"texldl", D3DSIO_TEXLDL, "----33-------33", Texture, 2, kResult, 0, 0},
    {"breakp", D3DSIO_BREAKP, "--SSSS-----SSSS", FlowControl, 3, kFlow, 0, 0},
    {"phase", D3DSIO_PHASE, "---------0-----", Phase, 0, kFlow, 0, 0},
};

// Rows of each opcode, found without a search: opcodes run 0-96, then the phase marker.
constexpr DWORD kOpcodeSlots = 98;
constexpr DWORD SlotOf(DWORD opcode) {
  return opcode == D3DSIO_PHASE ? kOpcodeSlots - 1 : opcode < kOpcodeSlots - 1 ? opcode : kOpcodeSlots;
}

struct RowRange {
  BYTE first = 0;
  BYTE count = 0;
};

constexpr std::array<RowRange, kOpcodeSlots> MakeRowRanges() {
  std::array<RowRange, kOpcodeSlots> ranges{};
  for (size_t i = 0; i < std::size(kInstructions); ++i) {
    DWORD slot = SlotOf(kInstructions[i].opcode & 0xFFFF);
    if (slot >= kOpcodeSlots) throw "an opcode outside the table's range";
    RowRange& range = ranges[slot];
    if (range.count && range.first + range.count != i) throw "rows of one opcode must be adjacent";
    if (!range.count) range.first = static_cast<BYTE>(i);
    ++range.count;
  }
  return ranges;
}

constexpr auto kRowRanges = MakeRowRanges();

std::span<const InstructionInfo> RowsOf(DWORD opcode) {
  DWORD slot = SlotOf(opcode & 0xFFFF);
  if (slot >= kOpcodeSlots) return {};
  return std::span<const InstructionInfo>(kInstructions).subspan(kRowRanges[slot].first, kRowRanges[slot].count);
}

int MajorOf(int version) {
  switch (version) {
    case kVs11:
    case kPs11:
    case kPs12:
    case kPs13:
    case kPs14: return 1;
    case kVs30:
    case kVs3sw:
    case kPs30:
    case kPs3sw: return 3;
    default: return 2;
  }
}

}  // namespace

int ShaderVersionIndexOf(DWORD versionToken) {
  if (versionToken == 0xFFFE0100) return kVs11;
  if (versionToken == 0xFFFF0100) return kPs11;
  for (int i = 0; i < kShaderVersionCount; ++i) {
    if (kVersions[i].token == versionToken) return i;
  }
  return kNoShaderVersion;
}

const char* ShaderVersionText(int versionIndex) {
  if (versionIndex < 0 || versionIndex >= kShaderVersionCount) return "?";
  return kVersions[versionIndex].text;
}

UINT DestinationCount(OperandForm form) {
  switch (form) {
    case OperandForm::Def:
    case OperandForm::DefInt:
    case OperandForm::DefBool: return 1;
    default: return HasDestination(form) ? 1 : 0;
  }
}

UINT SourceCount(OperandForm form) {
  switch (form) {
    case OperandForm::Branch1: return 1;
    case OperandForm::Branch2: return 2;
    default: return HasDestination(form) ? static_cast<UINT>(static_cast<char>(form) - '1') : 0;
  }
}

UINT ValueCount(OperandForm form) {
  switch (form) {
    case OperandForm::Def:
    case OperandForm::DefInt: return 4;
    case OperandForm::DefBool: return 1;
    default: return 0;
  }
}

std::span<const InstructionInfo> InstructionTable() { return kInstructions; }

DWORD InstructionKey(DWORD instructionToken) {
  DWORD opcode = instructionToken & D3DSI_OPCODE_MASK;
  if (opcode == D3DSIO_TEX) opcode |= instructionToken & (D3DSI_TEXLD_PROJECT | D3DSI_TEXLD_BIAS);
  return opcode;
}

const InstructionInfo* FindInstruction(DWORD key, int version) {
  if (version < 0 || version >= kShaderVersionCount) return nullptr;
  for (const InstructionInfo& row : RowsOf(key)) {
    if (row.opcode == key && row.In(version)) return &row;
  }
  return nullptr;
}

const InstructionInfo* FindInstructionAnyVersion(DWORD key) {
  for (const InstructionInfo& row : RowsOf(key)) {
    if (row.opcode == key) return &row;
  }
  return nullptr;
}

const InstructionInfo* FindMnemonic(std::string_view mnemonic) {
  for (const InstructionInfo& row : kInstructions) {
    if (mnemonic == row.mnemonic) return &row;
  }
  return nullptr;
}

InstructionReading ReadingOf(DWORD opcode, int version) {
  std::span<const InstructionInfo> rows = RowsOf(opcode);
  if (version >= 0 && version < kShaderVersionCount) {
    for (const InstructionInfo& row : rows) {
      if (row.In(version)) return {&row, row.Form(version)};
    }
  }
  // Outside its versions: the nearest form, one of the same major version first.
  for (bool sameMajor : {true, false}) {
    for (const InstructionInfo& row : rows) {
      for (int other = 0; other < kShaderVersionCount; ++other) {
        if (row.In(other) && (!sameMajor || MajorOf(other) == MajorOf(version))) return {&row, row.Form(other)};
      }
    }
  }
  return {};
}

const char* ShaderOpcodeName(DWORD opcode, int version) {
  std::span<const InstructionInfo> rows = RowsOf(opcode);
  if (rows.empty() || (opcode & ~0xFFFFu)) return "?";
  if (version >= 0 && version < kShaderVersionCount) {
    for (const InstructionInfo& row : rows) {
      if (row.In(version)) return row.mnemonic;
    }
  }
  return rows.front().mnemonic;
}

}  // namespace rastro
