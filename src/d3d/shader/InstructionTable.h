// The Direct3D 9 shader instruction set as one table: a row per instruction with its opcode,
// its mnemonic, the operands it takes in each shader version, how it counts against the slot
// limits, the shape of its matrix if it has one, and what it allows besides its operands.
// Everything that reads or writes shaders (the assembler, the disassembler, the token decoder,
// the validator, the GLSL translator and the CPU evaluator) takes these facts from here, so that
// a new instruction is one new row.
#pragma once

#include <span>
#include <string_view>

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
// "vs_2_0", "ps_3_sw", ... for an index; "?" for none.
const char* ShaderVersionText(int versionIndex);
inline bool IsVertexVersion(int versionIndex) { return versionIndex >= kVs11 && versionIndex <= kVs3sw; }
inline bool IsPixelVersion(int versionIndex) { return versionIndex >= kPs11 && versionIndex <= kPs3sw; }
inline bool IsPs1x(int versionIndex) { return versionIndex >= kPs11 && versionIndex <= kPs14; }
inline bool IsVersion3(int versionIndex) {
  return versionIndex == kVs30 || versionIndex == kVs3sw || versionIndex == kPs30 || versionIndex == kPs3sw;
}
// Versions with a predicate register, in which instructions may be predicated.
inline bool HasPredication(int versionIndex) {
  return versionIndex == kVs2x || versionIndex == kVs2sw || versionIndex == kVs30 || versionIndex == kVs3sw ||
         versionIndex == kPs2x || versionIndex == kPs2sw || versionIndex == kPs30 || versionIndex == kPs3sw;
}
// Versions in which two instructions may share a slot (ps_1_x).
inline bool HasCoissue(int versionIndex) { return IsPs1x(versionIndex); }
// Versions in which results may be computed at partial precision (ps_2_0 and later).
inline bool HasPartialPrecision(int versionIndex) { return versionIndex >= kPs20 && versionIndex <= kPs3sw; }

// How an instruction's operands are written in one version. The characters are the ones the
// table rows spell the forms with.
enum class OperandForm : char {
  Invalid = '-',  // not an instruction of that version
  None = '0',     // no operands
  One = '1',      // a destination (dcl: its declaration token, then the destination)
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

// Whether the form writes a register as its result (1 to 5 operands, dcl included).
inline bool HasDestination(OperandForm form) { return form >= OperandForm::One && form <= OperandForm::Five; }
// The destination parameters (0 or 1, the register a def defines included) and source
// parameters of a form.
UINT DestinationCount(OperandForm form);
UINT SourceCount(OperandForm form);
// Raw values after the destination: four for def and defi, one for defb.
UINT ValueCount(OperandForm form);

// How an instruction counts against the slot limits and which ordering rules it follows.
enum class InstructionKind : BYTE {
  Arithmetic,   // counts as arithmetic
  Texture,      // counts as a texture instruction (ps_1_x and ps_2_0 keep separate budgets)
  FlowControl,  // counts as arithmetic; opens, closes or jumps
  Declaration,  // dcl, def, defi, defb: no slot
  Phase,        // the ps_1_4 phase marker: no slot
};

// What an instruction allows besides its operands, each in the versions that have it at all.
enum InstructionFlag : BYTE {
  kPartialPrecision = 1,  // _pp on its result (HasPartialPrecision)
  kPredicateToken = 2,    // with the predicated bit set, a predicate source follows its destination
  kCoissuable = 4,        // may share the slot of the instruction before it (HasCoissue)
  kScalarSource = 8,      // reads one component of each source: the replicated one, or w
};

struct InstructionInfo {
  const char* mnemonic;
  DWORD opcode;                         // D3DSIO_*; texldp and texldb with their control bits
  char forms[kShaderVersionCount + 1];  // an OperandForm per version index
  InstructionKind kind;
  BYTE slots;             // instruction slots taken, in versions that count whole slots
  BYTE flags;             // InstructionFlag bits
  BYTE matrixComponents;  // m4x3: 4 components in each row's dot product; 0 if no matrix
  BYTE matrixRows;        // m4x3: 3 rows, one result component each

  OperandForm Form(int version) const { return static_cast<OperandForm>(forms[version]); }
  bool In(int version) const { return forms[version] != static_cast<char>(OperandForm::Invalid); }
  bool Has(InstructionFlag flag) const { return (flags & flag) != 0; }
  // The opcode as the token writes it, without control bits.
  DWORD Opcode() const { return opcode & 0xFFFF; }
};

std::span<const InstructionInfo> InstructionTable();

// The key an instruction token is looked up by: its opcode, with the control bits of texld
// (project, bias) that make texldp and texldb instructions of their own.
DWORD InstructionKey(DWORD instructionToken);
// The instruction a key is in a version (rows sharing an opcode never share a version), or
// null when the version has no such instruction.
const InstructionInfo* FindInstruction(DWORD key, int version);
// The first row of a key, whatever the version; null for a key no version has.
const InstructionInfo* FindInstructionAnyVersion(DWORD key);
// The first row spelled `mnemonic` (exact and case-sensitive); the comparison forms of if and
// break come after the plain ones.
const InstructionInfo* FindMnemonic(std::string_view mnemonic);

// The row and operand form an opcode (control bits ignored) is read with in a version: the
// version's own instruction, or where the version has none, the form of the nearest version
// that has one (of the same major version first), so that such a stream can still be taken
// apart and refused for what it is. A null row for an opcode no version has.
struct InstructionReading {
  const InstructionInfo* row = nullptr;
  OperandForm form = OperandForm::Invalid;
};
InstructionReading ReadingOf(DWORD opcode, int version);

// Mnemonic of an opcode as the assembly language writes it, in the version when one is given
// ("texld" in ps_2_0, "texcrd" in ps_1_4); "?" for an opcode no version has.
const char* ShaderOpcodeName(DWORD opcode, int version = kNoShaderVersion);

}  // namespace rastro
