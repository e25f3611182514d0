// What the assembler knows of the Direct3D 9 shader language beyond the Direct3D layer's
// instruction table (InstructionTable.h, the mnemonics with their operand forms per version):
// the register files with their sizes per version, as source text names them. Every
// per-version rule goes through the table's version index.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "InstructionTable.h"
#include "WindowsTypes.h"

namespace rastro {

// The index of a version token, or kNoShaderVersion for a version the assembler does not take
// (vs_1_0 and ps_1_0, which the runtime reads as 1_1, have no source form).
int VersionIndexOf(DWORD versionToken);
// Versions whose instruction tokens carry their length: vs_2_0 and later, ps_2_0 and later.
inline bool WritesInstructionLength(int version) {
  return (version >= kVs20 && version <= kVs3sw) || (version >= kPs20 && version <= kPs3sw);
}

// Per version: registers 0 to count-1; `single` a register written without a number;
// `relative` whether an index in brackets is allowed.
struct RegisterLimit {
  short count;  // -1: not available in this version
  bool relative;
  bool single;
};

struct RegisterEntry {
  const char* name;
  DWORD type;        // D3DSPR_*
  DWORD number;      // fixed register number of the pseudo-types (oPos, oFog, vFace, ...)
  bool fixedNumber;  // the name stands for one register of `type` with `number`
  bool scalar;
  RegisterLimit limits[kShaderVersionCount];
};

std::span<const RegisterEntry> RegisterTable();
const RegisterEntry* FindRegister(std::string_view letters);

}  // namespace rastro
