#include "ShaderRules.h"

#include <cstdio>

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

using enum OpcodeKind;

// Forms: vs_1_1 vs_2_0 vs_2_x vs_2_sw vs_3_0 vs_3_sw | ps_1_1 ps_1_2 ps_1_3 ps_1_4 ps_2_0 ps_2_x
// ps_2_sw ps_3_0 ps_3_sw. Rows sharing an opcode (texcoord/texcrd, tex/texld) never overlap in
// a version, so the first row present in the version is the instruction.
constexpr OpcodeRule kOpcodes[] = {
    {0, "nop", "000000000000000", Arithmetic, 1},        {1, "mov", "222222222222222", Arithmetic, 1},
    {2, "add", "333333333333333", Arithmetic, 1},        {3, "sub", "333333333333333", Arithmetic, 1},
    {4, "mad", "444444444444444", Arithmetic, 1},        {5, "mul", "333333333333333", Arithmetic, 1},
    {6, "rcp", "222222----22222", Arithmetic, 1},        {7, "rsq", "222222----22222", Arithmetic, 1},
    {8, "dp3", "333333333333333", Arithmetic, 1},        {9, "dp4", "333333-33333333", Arithmetic, 1},
    {10, "min", "333333----33333", Arithmetic, 1},       {11, "max", "333333----33333", Arithmetic, 1},
    {12, "slt", "333333---------", Arithmetic, 1},       {13, "sge", "333333---------", Arithmetic, 1},
    {14, "exp", "222222----22222", Arithmetic, 1},       {15, "log", "222222----22222", Arithmetic, 1},
    {16, "lit", "222222---------", Arithmetic, 3},       {17, "dst", "333333---------", Arithmetic, 1},
    {18, "lrp", "-44444444444444", Arithmetic, 2},       {19, "frc", "222222----22222", Arithmetic, 1},
    {20, "m4x4", "333333----33333", Arithmetic, 4},      {21, "m4x3", "333333----33333", Arithmetic, 3},
    {22, "m3x4", "333333----33333", Arithmetic, 4},      {23, "m3x3", "333333----33333", Arithmetic, 3},
    {24, "m3x2", "333333----33333", Arithmetic, 2},      {25, "call", "-SSSSS-----SSSS", FlowControl, 2},
    {26, "callnz", "-TTTTT-----TTTT", FlowControl, 3},   {27, "loop", "-TTTTT-------TT", FlowControl, 3},
    {28, "ret", "-00000-----0000", FlowControl, 1},      {29, "endloop", "-00000-------00", FlowControl, 2},
    {30, "label", "-SSSSS-----SSSS", FlowControl, 0},    {31, "dcl", "111111----11111", Declaration, 0},
    {32, "pow", "-33333----33333", Arithmetic, 3},       {33, "crs", "-33333----33333", Arithmetic, 2},
    {34, "sgn", "-44444---------", Arithmetic, 3},       {35, "abs", "-22222----22222", Arithmetic, 1},
    {36, "nrm", "-22222----22222", Arithmetic, 3},       {37, "sincos", "-44422----44422", Arithmetic, 8},
    {38, "rep", "-SSSSS-----SSSS", FlowControl, 3},      {39, "endrep", "-00000-----0000", FlowControl, 2},
    {40, "if", "-SSSSS----SSSSS", FlowControl, 3},       {41, "if", "--TTTT-----TTTT", FlowControl, 3},
    {42, "else", "-00000----00000", FlowControl, 1},     {43, "endif", "-00000----00000", FlowControl, 1},
    {44, "break", "-00000-----0000", FlowControl, 1},    {45, "break", "--TTTT-----TTTT", FlowControl, 3},
    {46, "mova", "-22222---------", Arithmetic, 1},      {47, "defb", "-BBBBB----BBBBB", Declaration, 0},
    {48, "defi", "-IIIII-----IIII", Declaration, 0},     {64, "texcoord", "------111------", Texture, 1},
    {64, "texcrd", "---------2-----", Texture, 1},       {65, "texkill", "------111111111", Texture, 1},
    {66, "tex", "------111------", Texture, 1},          {66, "texld", "---------233333", Texture, 1},
    {0x10042, "texldp", "----------33333", Texture, 1},  {0x20042, "texldb", "----------33333", Texture, 1},
    {67, "texbem", "------222------", Texture, 1},       {68, "texbeml", "------222------", Texture, 1},
    {69, "texreg2ar", "------222------", Texture, 1},    {70, "texreg2gb", "------222------", Texture, 1},
    {71, "texm3x2pad", "------222------", Texture, 1},   {72, "texm3x2tex", "------222------", Texture, 1},
    {73, "texm3x3pad", "------222------", Texture, 1},   {74, "texm3x3tex", "------222------", Texture, 1},
    {76, "texm3x3spec", "------333------", Texture, 1},  {77, "texm3x3vspec", "------222------", Texture, 1},
    {78, "expp", "222222---------", Arithmetic, 1},      {79, "logp", "222222---------", Arithmetic, 1},
    {80, "cnd", "------4444-----", Arithmetic, 1},       {81, "def", "DDDDDDDDDDDDDDD", Declaration, 0},
    {82, "texreg2rgb", "-------22------", Texture, 1},   {83, "texdp3tex", "-------22------", Texture, 1},
    {84, "texm3x2depth", "--------2------", Texture, 1}, {85, "texdp3", "-------22------", Texture, 1},
    {86, "texm3x3", "-------22------", Texture, 1},      {87, "texdepth", "---------1-----", Texture, 1},
    {88, "cmp", "-------44444444", Arithmetic, 1},       {89, "bem", "---------3-----", Arithmetic, 2},
    {90, "dp2add", "----------44444", Arithmetic, 2},    {91, "dsx", "-----------2222", Arithmetic, 2},
    {92, "dsy", "-----------2222", Arithmetic, 2},       {93, "texldd", "-----------5555", Texture, 3},
    {94, "setp", "--3333-----3333", Arithmetic, 1},      {95, "texldl", "----33-------33", Texture, 2},
    {96, "breakp", "--SSSS-----SSSS", FlowControl, 3},   {0xFFFD, "phase", "---------0-----", Phase, 0},
};

constexpr DWORD Bit(int versionIndex) { return 1u << versionIndex; }
constexpr DWORD kAllVertex = Bit(kVs11) | Bit(kVs20) | Bit(kVs2x) | Bit(kVs2sw) | Bit(kVs30) | Bit(kVs3sw);

constexpr BYTE kRead = kRegisterReadable;
constexpr BYTE kWrite = kRegisterWritable;

// Counts per version, in index order (vs_1_1 ... vs_3_sw, ps_1_1 ... ps_3_sw).
constexpr RegisterRule kRegisters[] = {
    // Vertex shaders.
    {D3DSPR_TEMP, false, "r", {12, 12, 32, 32, 32, 32}, 0, kRead | kWrite},
    {D3DSPR_INPUT, false, "v", {16, 16, 16, 16, 16, 16}, Bit(kVs30) | Bit(kVs3sw), kRead},
    // Hardware vertex shaders get 256 float constants; the software versions the four banks.
    {D3DSPR_CONST, false, "c", {256, 256, 256, 8192, 256, 8192}, kAllVertex, kRead},
    {D3DSPR_ADDR, false, "a", {1, 1, 1, 1, 1, 1}, 0, kWrite},
    {D3DSPR_RASTOUT, false, "oPos", {3, 3, 3, 3, 0, 0}, 0, kWrite},
    {D3DSPR_ATTROUT, false, "oD", {2, 2, 2, 2, 0, 0}, 0, kWrite},
    {D3DSPR_TEXCRDOUT, false, "oT", {8, 8, 8, 8, 12, 16}, Bit(kVs30) | Bit(kVs3sw), kWrite},
    {D3DSPR_CONSTINT, false, "i", {0, 16, 16, 2048, 16, 2048}, 0, 0},
    {D3DSPR_SAMPLER, false, "s", {0, 0, 0, 0, 4, 4}, 0, 0},
    {D3DSPR_CONSTBOOL, false, "b", {0, 16, 16, 2048, 16, 2048}, 0, 0},
    {D3DSPR_LOOP, false, "aL", {0, 1, 1, 1, 1, 1}, 0, 0},
    {D3DSPR_LABEL, false, "l", {0, 16, 16, 2048, 2048, 2048}, 0, 0},
    {D3DSPR_PREDICATE, false, "p", {0, 0, 1, 1, 1, 1}, 0, 0},
    // Pixel shaders.
    {D3DSPR_TEMP, true, "r", {0, 0, 0, 0, 0, 0, 2, 2, 2, 6, 12, 32, 32, 32, 32}, 0, kRead | kWrite},
    {D3DSPR_INPUT, true, "v", {0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2, 2, 10, 14}, Bit(kPs30) | Bit(kPs3sw), kRead},
    {D3DSPR_CONST, true, "c", {0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 32, 32, 8192, 224, 8192}, Bit(kPs30) | Bit(kPs3sw), kRead},
    {D3DSPR_TEXTURE, true, "t", {0, 0, 0, 0, 0, 0, 4, 4, 4, 6, 8, 8, 8, 0, 0}, 0, kRead | kWrite},
    {D3DSPR_COLOROUT, true, "oC", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 4}, 0, kWrite},
    {D3DSPR_DEPTHOUT, true, "oDepth", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, 0, kWrite},
    {D3DSPR_SAMPLER, true, "s", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 16, 16, 16}, 0, 0},
    {D3DSPR_CONSTINT, true, "i", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 2048, 16, 2048}, 0, 0},
    {D3DSPR_CONSTBOOL, true, "b", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 2048, 16, 2048}, 0, 0},
    {D3DSPR_LOOP, true, "aL", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}, 0, 0},
    {D3DSPR_MISCTYPE, true, "vPos", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2}, 0, kRead},
    {D3DSPR_LABEL, true, "l", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 2048, 2048, 2048}, 0, 0},
    {D3DSPR_PREDICATE, true, "p", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1}, 0, 0},
};

bool IsConstantBank(DWORD type) {
  return type == D3DSPR_CONST || type == D3DSPR_CONST2 || type == D3DSPR_CONST3 || type == D3DSPR_CONST4;
}

UINT ConstantBank(DWORD type) {
  switch (type) {
    case D3DSPR_CONST2: return 1;
    case D3DSPR_CONST3: return 2;
    case D3DSPR_CONST4: return 3;
    default: return 0;
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

DWORD OpcodeKey(DWORD instructionToken) {
  DWORD opcode = instructionToken & D3DSI_OPCODE_MASK;
  if (opcode == D3DSIO_TEX) opcode |= instructionToken & 0x00030000u;
  return opcode;
}

const OpcodeRule* FindOpcodeRule(DWORD opcodeWithControls, int versionIndex) {
  if (versionIndex < 0 || versionIndex >= kShaderVersionCount) return nullptr;
  for (const OpcodeRule& rule : kOpcodes) {
    if (rule.opcode == opcodeWithControls && rule.forms[versionIndex] != '-') return &rule;
  }
  return nullptr;
}

const OpcodeRule* FindOpcodeRuleAnyVersion(DWORD opcodeWithControls) {
  for (const OpcodeRule& rule : kOpcodes) {
    if (rule.opcode == opcodeWithControls) return &rule;
  }
  return nullptr;
}

UINT OpcodeSlots(const OpcodeRule& rule, int versionIndex) {
  // Every ps_1_x instruction takes one slot of its kind.
  if (IsPs1x(versionIndex)) return rule.kind == Declaration || rule.kind == Phase ? 0 : 1;
  if (!IsPixelVersion(versionIndex)) {
    if (rule.opcode == D3DSIO_EXP || rule.opcode == D3DSIO_LOG) return 10;
    if (rule.opcode == D3DSIO_FRC && versionIndex == kVs11) return 3;
  }
  return rule.slots;
}

const RegisterRule* FindRegisterRule(DWORD registerType, int versionIndex) {
  if (versionIndex < 0 || versionIndex >= kShaderVersionCount) return nullptr;
  bool pixel = IsPixelVersion(versionIndex);
  if (IsConstantBank(registerType)) registerType = D3DSPR_CONST;
  for (const RegisterRule& rule : kRegisters) {
    if (rule.type == registerType && rule.pixel == pixel) return rule.counts[versionIndex] ? &rule : nullptr;
  }
  return nullptr;
}

UINT RegisterCount(DWORD registerType, int versionIndex) {
  const RegisterRule* rule = FindRegisterRule(registerType, versionIndex);
  if (!rule) return 0;
  UINT count = rule->counts[versionIndex];
  if (!IsConstantBank(registerType)) return count;
  UINT bankStart = ConstantBank(registerType) * 2048;
  if (count <= bankStart) return 0;
  return count - bankStart < 2048 ? count - bankStart : 2048;
}

void FormatRegisterName(DWORD registerType, UINT number, int versionIndex, char* out, size_t size) {
  if (!out || !size) return;
  bool pixel = IsPixelVersion(versionIndex);
  const char* name = nullptr;
  bool numbered = true;
  switch (registerType) {
    case D3DSPR_TEMP: name = "r"; break;
    case D3DSPR_INPUT: name = "v"; break;
    case D3DSPR_CONST:
    case D3DSPR_CONST2:
    case D3DSPR_CONST3:
    case D3DSPR_CONST4:
      name = "c";
      number += ConstantBank(registerType) * 2048;
      break;
    case D3DSPR_ADDR: name = pixel ? "t" : "a"; break;
    case D3DSPR_RASTOUT:
      if (number <= 2) {
        static const char* const kRastout[] = {"oPos", "oFog", "oPts"};
        name = kRastout[number];
        numbered = false;
      } else {
        name = "oRast";
      }
      break;
    case D3DSPR_ATTROUT: name = "oD"; break;
    case D3DSPR_OUTPUT: name = versionIndex == kVs30 || versionIndex == kVs3sw ? "o" : "oT"; break;
    case D3DSPR_CONSTINT: name = "i"; break;
    case D3DSPR_COLOROUT: name = "oC"; break;
    case D3DSPR_DEPTHOUT:
      name = "oDepth";
      numbered = number != 0;
      break;
    case D3DSPR_SAMPLER: name = "s"; break;
    case D3DSPR_CONSTBOOL: name = "b"; break;
    case D3DSPR_LOOP:
      name = "aL";
      numbered = number != 0;
      break;
    case D3DSPR_MISCTYPE:
      if (number <= 1) {
        name = number == 0 ? "vPos" : "vFace";
        numbered = false;
      } else {
        name = "vMisc";
      }
      break;
    case D3DSPR_LABEL: name = "l"; break;
    case D3DSPR_PREDICATE: name = "p"; break;
    default: break;
  }
  if (!name) {
    std::snprintf(out, size, "reg%u_%u", static_cast<unsigned>(registerType), number);
  } else if (numbered) {
    std::snprintf(out, size, "%s%u", name, number);
  } else {
    std::snprintf(out, size, "%s", name);
  }
}

SlotLimits SlotLimitsOf(int versionIndex) {
  switch (versionIndex) {
    case kVs11: return {0, 0, 128};
    case kVs20:
    case kVs2x: return {0, 0, 256};
    case kVs30:
    case kPs30: return {0, 0, 32768};
    case kPs11:
    case kPs12:
    case kPs13: return {8, 4, 0};
    case kPs14: return {8, 6, 0};  // per phase
    case kPs20: return {64, 32, 0};
    case kPs2x: return {0, 0, 512};
    default: return {0, 0, 0};
  }
}

UINT ReadPortLimit(DWORD registerType, int versionIndex) {
  if (IsConstantBank(registerType)) registerType = D3DSPR_CONST;
  switch (registerType) {
    case D3DSPR_TEMP: return 3;
    case D3DSPR_CONST:
      if (versionIndex == kVs11) return 1;
      return IsPs1x(versionIndex) || versionIndex == kPs20 ? 2 : 0;
    case D3DSPR_INPUT:
      if (versionIndex == kVs11) return 1;
      return IsPs1x(versionIndex) || versionIndex == kPs20 ? 2 : 0;
    case D3DSPR_TEXTURE:  // also ADDR in vertex shaders, which ordinary sources cannot name
      if (!IsPixelVersion(versionIndex)) return 0;
      if (versionIndex == kPs14) return 1;
      return IsPs1x(versionIndex) ? 3 : versionIndex == kPs20 ? 2 : 0;
    case D3DSPR_SAMPLER: return 1;
    default: return 0;
  }
}

}  // namespace rastro
