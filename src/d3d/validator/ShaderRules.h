// The validator's rules beyond the instruction table: what each shader version offers in
// registers (counts and how they may be used), its instruction-slot limits and read ports.
#pragma once

#include "InstructionTable.h"
#include "WindowsTypes.h"

namespace rastro {

// Slots an instruction takes in a version: its table value, except that every ps_1_x
// instruction takes one slot of its kind, and the vertex pipeline's exp and log are long.
UINT InstructionSlots(const InstructionInfo& instruction, int versionIndex);

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
