// What the assembler knows of the Direct3D 9 shader instruction set: the mnemonics with their
// operand forms per shader version, the register files with their sizes per version, and the
// vocabulary of instruction and register suffixes. Every per-version rule goes through the
// version index below.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "WindowsTypes.h"
#include "validator/ShaderRules.h"

namespace rastro {

// Every per-version table is indexed by ShaderVersionIndex, the validator's own order.
// The index of a version token, or kNoShaderVersion for a version the assembler does not take
// (vs_1_0 and ps_1_0, which the runtime reads as 1_1, have no source form).
int VersionIndexOf(DWORD versionToken);
// Versions whose instruction tokens carry their length: vs_2_0 and later, ps_2_0 and later.
inline bool WritesInstructionLength(int version) {
  return (version >= kVs20 && version <= kVs3sw) || (version >= kPs20 && version <= kPs3sw);
}

// How an instruction's operands are written, and the parser terminal it makes.
enum class OperandForm : char {
  Invalid = '-',  // not an instruction of that version
  None = '0',     // no operands
  One = '1',      // a destination
  Two = '2',      // a destination and one source, and so on
  Three = '3',
  Four = '4',
  Five = '5',
  Def = 'D',      // destination and four floating-point values
  DefInt = 'I',   // destination and four integers
  DefBool = 'B',  // destination and one boolean
  Branch1 = 'S',  // one source, no destination
  Branch2 = 'T',  // two sources, no destination
};

inline bool HasDestination(OperandForm form) { return form >= OperandForm::One && form <= OperandForm::Five; }

struct OpcodeEntry {
  const char* mnemonic;
  DWORD opcode;
  char forms[kShaderVersionCount + 1];  // OperandForm per version index

  OperandForm Form(int version) const { return static_cast<OperandForm>(forms[version]); }
};

// Searched in order, exact and case-sensitive; the first match wins.
std::span<const OpcodeEntry> OpcodeTable();
const OpcodeEntry* FindOpcode(std::string_view mnemonic);
// The rows used when "if" or "break" carry a comparison.
const OpcodeEntry& ComparisonIfRow();
const OpcodeEntry& ComparisonBreakRow();

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
