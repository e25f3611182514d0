// What each shader version offers: its instructions with their operand forms, its registers
// with their counts and how they may be used, and its instruction-slot limits. Shared by the
// validator and by the disassembler, which names opcodes and registers from the same tables.
#pragma once

#include "WindowsTypes.h"

namespace rastro {

// One index per shader version, vertex versions first; the _sw versions are the software
// ones without slot limits. vs_1_0 and ps_1_0 streams are read with the 1_1 rules.
enum ShaderVersionIndex : int {
  kVs11,
  kVs20,
  kVs2x,
  kVs2sw,
  kVs30,
  kVs3sw,
  kPs11,
  kPs12,
  kPs13,
  kPs14,
  kPs20,
  kPs2x,
  kPs2sw,
  kPs30,
  kPs3sw,
  kShaderVersionCount,
  kNoShaderVersion = -1,
};

// The index of a version token, or kNoShaderVersion when no shader of that version exists.
int ShaderVersionIndexOf(DWORD versionToken);
// "vs_2_0", "ps_3_sw", ... for an index.
const char* ShaderVersionText(int versionIndex);
inline bool IsVertexVersion(int versionIndex) { return versionIndex >= kVs11 && versionIndex <= kVs3sw; }
inline bool IsPixelVersion(int versionIndex) { return versionIndex >= kPs11 && versionIndex <= kPs3sw; }
inline bool IsPs1x(int versionIndex) { return versionIndex >= kPs11 && versionIndex <= kPs14; }
inline bool IsVersion3(int versionIndex) {
  return versionIndex == kVs30 || versionIndex == kVs3sw || versionIndex == kPs30 || versionIndex == kPs3sw;
}

// How an instruction counts against the slot limits and which ordering rules it follows.
enum class OpcodeKind : BYTE {
  Arithmetic,   // counts as arithmetic
  Texture,      // counts as a texture instruction (ps_1_x and ps_2_0 keep separate budgets)
  FlowControl,  // counts as arithmetic; opens, closes or jumps
  Declaration,  // dcl, def, defi, defb: no slot
  Phase,        // the ps_1_4 phase marker: no slot
};

// Operand forms per version, one character each: a digit is the operand count (the first
// operand is the destination), 'D' def (destination and four floats), 'I' defi, 'B' defb,
// 'S' one source and no destination, 'T' two sources, '-' not in that version.
struct OpcodeRule {
  DWORD opcode;  // with the texld variants' control bits (texldp 0x10042, texldb 0x20042)
  const char* name;
  char forms[kShaderVersionCount + 1];
  OpcodeKind kind;
  BYTE slots;  // instruction slots taken, in versions that count whole slots
};

// The rule of an opcode in a version (controls already folded in for texld variants), or
// null when the version has no such instruction. `anyVersion` finds the row regardless.
const OpcodeRule* FindOpcodeRule(DWORD opcodeWithControls, int versionIndex);
const OpcodeRule* FindOpcodeRuleAnyVersion(DWORD opcodeWithControls);
// The opcode as the tables key it: the low 16 bits, plus the texld control bits for opcode 66.
DWORD OpcodeKey(DWORD instructionToken);
// The instruction's form character in this version ('-' when absent).
inline char OpcodeForm(const OpcodeRule& rule, int versionIndex) { return rule.forms[versionIndex]; }
// Slots an instruction takes in a version: its table value, with the vertex pipeline's long
// exp and log.
UINT OpcodeSlots(const OpcodeRule& rule, int versionIndex);

// Registers. Counts per version; 0 means the register type does not exist in that version.
enum RegisterUse : BYTE {
  kRegisterReadable = 1,
  kRegisterWritable = 2,
};

struct RegisterRule {
  DWORD type;        // D3DSPR_* (ADDR and TEXTURE share 3; vs and ps rows differ)
  bool pixel;        // the row is for pixel versions (else vertex)
  const char* name;  // as written in source: "r", "c", "oPos" (RASTOUT has its own names)
  WORD counts[kShaderVersionCount];
  DWORD relativeVersions;  // bit per version index: relative addressing allowed
  BYTE use;                // kRegisterReadable | kRegisterWritable as an ordinary operand; 0: only where an
                           // instruction names the type (samplers, loop counters, labels, predicates...)
};

// The rule for a register type in a version's family (vertex or pixel), or null.
const RegisterRule* FindRegisterRule(DWORD registerType, int versionIndex);
// Registers of the type in the version (0: not available). Constants count across their four
// banks (CONST2 starts at 2048).
UINT RegisterCount(DWORD registerType, int versionIndex);
// Source-level register name: "r3", "c2100", "oPos", "vFace", "t0" / "a0" by version.
// Writes at most `size` bytes including the NUL.
void FormatRegisterName(DWORD registerType, UINT number, int versionIndex, char* out, size_t size);

// Slot budgets of a version; 0 means unlimited. ps_1_x and ps_2_0 keep separate arithmetic and
// texture budgets (ps_1_4 per phase); the others one budget for everything.
struct SlotLimits {
  UINT arithmetic;
  UINT texture;
  UINT total;
};
SlotLimits SlotLimitsOf(int versionIndex);

// Most distinct registers of a type one instruction may read; 0 means no limit.
UINT ReadPortLimit(DWORD registerType, int versionIndex);

}  // namespace rastro
