#include "InstructionSet.h"

#include <array>
#include <cstring>

#include "d3d9types.h"

namespace rastro {

namespace {

// Operand forms per version: vs_1_1 vs_2_0 vs_2_x vs_2_sw vs_3_0 vs_3_sw, then ps_1_1 ps_1_2
// ps_1_3 ps_1_4 ps_2_0 ps_2_x ps_2_sw ps_3_0 ps_3_sw.
constexpr OpcodeEntry kOpcodes[] = {
    {"nop", D3DSIO_NOP, "000000000000000"},
    {"mov", D3DSIO_MOV, "222222222222222"},
    {"add", D3DSIO_ADD, "333333333333333"},
    {"sub", D3DSIO_SUB, "333333333333333"},
    {"mad", D3DSIO_MAD, "444444444444444"},
    {"mul", D3DSIO_MUL, "333333333333333"},
    {"rcp", D3DSIO_RCP, "222222----22222"},
    {"rsq", D3DSIO_RSQ, "222222----22222"},
    {"dp3", D3DSIO_DP3, "333333333333333"},
    {"dp4", D3DSIO_DP4, "333333-33333333"},
    {"min", D3DSIO_MIN, "333333----33333"},
    {"max", D3DSIO_MAX, "333333----33333"},
    {"slt", D3DSIO_SLT, "333333---------"},
    {"sge", D3DSIO_SGE, "333333---------"},
    {"exp", D3DSIO_EXP, "222222----22222"},
    {"log", D3DSIO_LOG, "222222----22222"},
    {"lit", D3DSIO_LIT, "222222---------"},
    {"dst", D3DSIO_DST, "333333---------"},
    {"lrp", D3DSIO_LRP, "-44444444444444"},
    {"frc", D3DSIO_FRC, "222222----22222"},
    {"m4x4", D3DSIO_M4x4, "333333----33333"},
    {"m4x3", D3DSIO_M4x3, "333333----33333"},
    {"m3x4", D3DSIO_M3x4, "333333----33333"},
    {"m3x3", D3DSIO_M3x3, "333333----33333"},
    {"m3x2", D3DSIO_M3x2, "333333----33333"},
    {"call", D3DSIO_CALL, "-SSSSS-----SSSS"},
    {"callnz", D3DSIO_CALLNZ, "-TTTTT-----TTTT"},
    {"loop", D3DSIO_LOOP, "-TTTTT-------TT"},
    {"ret", D3DSIO_RET, "-00000-----0000"},
    {"endloop", D3DSIO_ENDLOOP, "-00000-------00"},
    {"label", D3DSIO_LABEL, "-SSSSS-----SSSS"},
    {"dcl", D3DSIO_DCL, "111111----11111"},
    {"pow", D3DSIO_POW, "-33333----33333"},
    {"crs", D3DSIO_CRS, "-33333----33333"},
    {"sgn", D3DSIO_SGN, "-44444---------"},
    {"abs", D3DSIO_ABS, "-22222----22222"},
    {"nrm", D3DSIO_NRM, "-22222----22222"},
    {"sincos", D3DSIO_SINCOS, "-44422----44422"},
    {"rep", D3DSIO_REP, "-SSSSS-----SSSS"},
    {"endrep", D3DSIO_ENDREP, "-00000-----0000"},
    {"if", D3DSIO_IF, "-SSSSS----SSSSS"},
    {"else", D3DSIO_ELSE, "-00000----00000"},
    {"endif", D3DSIO_ENDIF, "-00000----00000"},
    {"break", D3DSIO_BREAK, "-00000-----0000"},
    {"breakp", D3DSIO_BREAKP, "--SSSS-----SSSS"},
    {"mova", D3DSIO_MOVA, "-22222---------"},
    {"texcoord", D3DSIO_TEXCOORD, "------111------"},
    {"texcrd", D3DSIO_TEXCOORD, "---------2-----"},
    {"texkill", D3DSIO_TEXKILL, "------111111111"},
    {"tex", D3DSIO_TEX, "------111------"},
    {"texld", D3DSIO_TEX, "---------233333"},
    {"texldp", D3DSIO_TEX | D3DSI_TEXLD_PROJECT, "----------33333"},
    {"texldb", D3DSIO_TEX | D3DSI_TEXLD_BIAS, "----------33333"},
    {"texbem", D3DSIO_TEXBEM, "------222------"},
    {"texbeml", D3DSIO_TEXBEML, "------222------"},
    {"texreg2ar", D3DSIO_TEXREG2AR, "------222------"},
    {"texreg2gb", D3DSIO_TEXREG2GB, "------222------"},
    {"texm3x2pad", D3DSIO_TEXM3x2PAD, "------222------"},
    {"texm3x2tex", D3DSIO_TEXM3x2TEX, "------222------"},
    {"texm3x3pad", D3DSIO_TEXM3x3PAD, "------222------"},
    {"texm3x3tex", D3DSIO_TEXM3x3TEX, "------222------"},
    {"texm3x3spec", D3DSIO_TEXM3x3SPEC, "------333------"},
    {"texm3x3vspec", D3DSIO_TEXM3x3VSPEC, "------222------"},
    {"expp", D3DSIO_EXPP, "222222---------"},
    {"logp", D3DSIO_LOGP, "222222---------"},
    {"cnd", D3DSIO_CND, "------4444-----"},
    {"def", D3DSIO_DEF, "DDDDDDDDDDDDDDD"},
    {"defi", D3DSIO_DEFI, "-IIIII-----IIII"},
    {"defb", D3DSIO_DEFB, "-BBBBB----BBBBB"},
    {"texreg2rgb", D3DSIO_TEXREG2RGB, "-------22------"},
    {"texdp3tex", D3DSIO_TEXDP3TEX, "-------22------"},
    {"texm3x2depth", D3DSIO_TEXM3x2DEPTH, "--------2------"},
    {"texdp3", D3DSIO_TEXDP3, "-------22------"},
    {"texm3x3", D3DSIO_TEXM3x3, "-------22------"},
    {"texdepth", D3DSIO_TEXDEPTH, "---------1-----"},
    {"cmp", D3DSIO_CMP, "-------44444444"},
    {"bem", D3DSIO_BEM, "---------3-----"},
    {"dp2add", D3DSIO_DP2ADD, "----------44444"},
    {"dsx", D3DSIO_DSX, "-----------2222"},
    {"dsy", D3DSIO_DSY, "-----------2222"},
    {"texldd", D3DSIO_TEXLDD, "-----------5555"},
    {"setp", D3DSIO_SETP, "--3333-----3333"},
    {"texldl", D3DSIO_TEXLDL, "----33-------33"},
    {"phase", D3DSIO_PHASE, "---------0-----"},
};
static_assert(std::size(kOpcodes) == 84);

consteval bool EveryRowCoversEveryVersion() {
  for (const OpcodeEntry& entry : kOpcodes) {
    for (int v = 0; v < kShaderVersionCount; ++v) {
      if (entry.forms[v] == '\0') return false;
    }
  }
  return true;
}
static_assert(EveryRowCoversEveryVersion());

constexpr OpcodeEntry kIfWithComparison = {"if", D3DSIO_IFC, "--TTTT-----TTTT"};
constexpr OpcodeEntry kBreakWithComparison = {"break", D3DSIO_BREAKC, "--TTTT-----TTTT"};

// Reads a row of register limits: per version a count n, "r" n (with relative addressing),
// "0" (a single register written without a number) or "-" (not available).
consteval std::array<RegisterLimit, kShaderVersionCount> Limits(const char* text) {
  std::array<RegisterLimit, kShaderVersionCount> limits{};
  const char* p = text;
  for (int version = 0; version < kShaderVersionCount; ++version) {
    while (*p == ' ') ++p;
    RegisterLimit limit{-1, false, false};
    if (*p == '-') {
      ++p;
    } else {
      if (*p == 'r') {
        limit.relative = true;
        ++p;
      }
      int count = 0;
      while (*p >= '0' && *p <= '9') count = count * 10 + (*p++ - '0');
      limit.count = static_cast<short>(count);
      limit.single = count == 0;
      if (limit.single) limit.count = 1;
    }
    limits[static_cast<std::size_t>(version)] = limit;
  }
  while (*p == ' ') ++p;
  if (*p != '\0') throw "a register row needs one entry per version";
  return limits;
}

struct RegisterRow {
  const char* name;
  DWORD type;
  DWORD number;
  bool fixedNumber;
  bool scalar;
  std::array<RegisterLimit, kShaderVersionCount> limits;
};

// Per version, in the order of the opcode rows above.
constexpr RegisterRow kRegisterRows[] = {
    {"v", D3DSPR_INPUT, 0, false, false, Limits("16 16 16 16 r16 r16  2 2 2 2 2 2 2 r10 r14")},
    {"r", D3DSPR_TEMP, 0, false, false, Limits("12 12 32 32 32 32  2 2 2 6 12 32 32 32 32")},
    {"c", D3DSPR_CONST, 0, false, false, Limits("r8192 r8192 r8192 r8192 r8192 r8192  8 8 8 8 32 32 8192 224 8192")},
    {"a", D3DSPR_ADDR, 0, false, false, Limits("1 1 1 1 1 1  - - - - - - - - -")},
    {"t", D3DSPR_TEXTURE, 0, false, false, Limits("- - - - - -  4 4 4 6 8 8 8 - -")},
    {"oPos", D3DSPR_RASTOUT, D3DSRO_POSITION, true, false, Limits("0 0 0 0 - -  - - - - - - - - -")},
    {"oPts", D3DSPR_RASTOUT, D3DSRO_POINT_SIZE, true, true, Limits("0 0 0 0 - -  - - - - - - - - -")},
    {"oFog", D3DSPR_RASTOUT, D3DSRO_FOG, true, true, Limits("0 0 0 0 - -  - - - - - - - - -")},
    {"oD", D3DSPR_ATTROUT, 0, false, false, Limits("2 2 2 2 - -  - - - - - - - - -")},
    {"oT", D3DSPR_TEXCRDOUT, 0, false, false, Limits("8 8 8 8 - -  - - - - - - - - -")},
    {"i", D3DSPR_CONSTINT, 0, false, false, Limits("- 16 16 2048 16 2048  - - - - - 16 2048 16 2048")},
    {"oC", D3DSPR_COLOROUT, 0, false, false, Limits("- - - - - -  - - - - 4 4 4 4 4")},
    {"oDepth", D3DSPR_DEPTHOUT, 0, false, true, Limits("- - - - - -  - - - - 0 0 0 0 0")},
    {"s", D3DSPR_SAMPLER, 0, false, false, Limits("- - - - 4 4  - - - - 16 16 16 16 16")},
    {"b", D3DSPR_CONSTBOOL, 0, false, true, Limits("- 16 16 2048 16 2048  - - - - 16 16 2048 16 2048")},
    {"aL", D3DSPR_LOOP, 0, false, true, Limits("- 0 0 0 0 0  - - - - - - - 0 0")},
    {"vPos", D3DSPR_MISCTYPE, D3DSMO_POSITION, true, false, Limits("- - - - - -  - - - - - - - 0 0")},
    {"vFace", D3DSPR_MISCTYPE, D3DSMO_FACE, true, true, Limits("- - - - - -  - - - - - - - 0 0")},
    {"l", D3DSPR_LABEL, 0, false, true, Limits("- 16 16 2048 2048 2048  - - - - - 16 2048 2048 2048")},
    {"p", D3DSPR_PREDICATE, 0, false, false, Limits("- - 1 1 1 1  - - - - - 1 1 1 1")},
    {"o", D3DSPR_OUTPUT, 0, false, false, Limits("- - - - r12 r16  - - - - - - - - -")},
};
static_assert(std::size(kRegisterRows) == 21);

constexpr std::array<RegisterEntry, std::size(kRegisterRows)> MakeRegisterTable() {
  std::array<RegisterEntry, std::size(kRegisterRows)> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const RegisterRow& row = kRegisterRows[i];
    table[i].name = row.name;
    table[i].type = row.type;
    table[i].number = row.number;
    table[i].fixedNumber = row.fixedNumber;
    table[i].scalar = row.scalar;
    for (std::size_t v = 0; v < row.limits.size(); ++v) table[i].limits[v] = row.limits[v];
  }
  return table;
}

constexpr auto kRegisters = MakeRegisterTable();

}  // namespace

int VersionIndexOf(DWORD versionToken) {
  if ((versionToken & 0xFFFFu) == 0x0100u) return kNoShaderVersion;
  return ShaderVersionIndexOf(versionToken);
}

std::span<const OpcodeEntry> OpcodeTable() { return kOpcodes; }

const OpcodeEntry* FindOpcode(std::string_view mnemonic) {
  for (const OpcodeEntry& entry : kOpcodes) {
    if (mnemonic == entry.mnemonic) return &entry;
  }
  return nullptr;
}

const OpcodeEntry& ComparisonIfRow() { return kIfWithComparison; }
const OpcodeEntry& ComparisonBreakRow() { return kBreakWithComparison; }

std::span<const RegisterEntry> RegisterTable() { return kRegisters; }

const RegisterEntry* FindRegister(std::string_view letters) {
  for (const RegisterEntry& entry : kRegisters) {
    if (letters == entry.name) return &entry;
  }
  return nullptr;
}

}  // namespace rastro
