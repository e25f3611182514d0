// The small records the statement parser builds for each statement: registers (operands),
// relative-address indices and instructions. They live in the ShaderAssembler's node pool
// for the whole assembly.
#pragma once

#include <cmath>
#include <cstring>
#include <limits>

#include "Token.h"
#include "d3d9types.h"

namespace rastro {

// A register that did not decode; the statement is still parsed to its end.
inline constexpr DWORD kUnknownRegisterType = 0xFFFFFFFF;

struct RegisterNode {
  const Token* position = nullptr;  // the register's name
  DWORD type = kUnknownRegisterType;
  DWORD modifier = D3DSPSM_NONE;  // D3DSPSM_*
  DWORD number = 0;               // register number; in an index node, the offset
  bool scalar = false;
  DWORD mask = D3DSP_WRITEMASK_ALL;
  DWORD swizzle = D3DSP_NOSWIZZLE;
  RegisterNode* relative = nullptr;  // the address register of a relative address
};

// What stands between the brackets of "c[a0.x + 4]": an address register and an offset.
struct IndexNode {
  RegisterNode* addressRegister = nullptr;
  DWORD offset = 0;
};

struct InstructionNode {
  Token token;  // the mnemonic: the statement's position
  DWORD opcode = 0;
  DWORD resultModifiers = 0;  // D3DSPDM_* and the shift scale, as in a destination token
  DWORD declaration = 0;      // dcl usage and index, or texture type; or the comparison
  int operandCount = 0;       // with a destination, the destination counts as the first
  bool hasDestination = false;
  RegisterNode* destination = nullptr;
  RegisterNode* predicate = nullptr;
  RegisterNode* sources[4] = {};
  int sourceCount = 0;
  DWORD values[4] = {};  // def, defi, defb: the constant's values as written to the tokens
  int valueCount = 0;
  bool coissue = false;
  DWORD byteOffset = 0;  // of the instruction token in the output, for the debug block
  InstructionNode* next = nullptr;
};

// Values of number tokens in the grammar's actions (null once the run has stopped).
inline DWORD IntegerOf(const Token* count) { return count ? count->value.integer : 0; }
inline double RealOf(const Token* number) { return number ? number->value.real : 0.0; }

// A constant's value as the 32-bit float written to the token stream; values beyond the
// float range become infinities.
inline DWORD FloatBits(double value) {
  float single;
  if (std::isnan(value) || std::fabs(value) <= std::numeric_limits<float>::max())
    single = static_cast<float>(value);
  else
    single = value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  DWORD bits;
  std::memcpy(&bits, &single, sizeof bits);
  return bits;
}

}  // namespace rastro
