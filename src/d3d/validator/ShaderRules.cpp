#include "ShaderRules.h"

#include "d3d9types.h"

namespace rastro {

namespace {

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

UINT InstructionSlots(const InstructionInfo& instruction, int versionIndex) {
  using enum InstructionKind;
  if (IsPs1x(versionIndex)) return instruction.kind == Declaration || instruction.kind == Phase ? 0 : 1;
  if (!IsPixelVersion(versionIndex)) {
    if (instruction.opcode == D3DSIO_EXP || instruction.opcode == D3DSIO_LOG) return 10;
    if (instruction.opcode == D3DSIO_FRC && versionIndex == kVs11) return 3;
  }
  return instruction.slots;
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
