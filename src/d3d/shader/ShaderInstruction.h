// Decoding of Direct3D 9 shader token streams into instruction records.
//
// Everything that reads a shader (the device when it accepts one, the validator, the GLSL
// translator, the CPU evaluator, the disassembler) walks the stream through these functions, so
// that one reading of the token format decides what a stream means. The operands each
// instruction takes come from the instruction table. The decoder reads only inside the bounds
// it is given and refuses streams it cannot take apart; it checks the format, not the rules of
// a shader version (which registers exist, which instruction a version allows).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "InstructionTable.h"
#include "d3d9types.h"

namespace rastro {

// What the version token says.
struct ShaderVersion {
  bool pixel = false;
  UINT major = 0;
  UINT minor = 0;  // 0xFF for the software versions (vs_2_sw, ps_3_sw, ...)

  // True when instructions carry their length in the instruction token (2.0 and up).
  bool HasInstructionLength() const { return major >= 2; }
  // vs_1_1 addresses relatively through a0.x with no address token of its own.
  bool HasImplicitAddress() const { return !pixel && major < 2; }
  // Compares versions of the same kind: AtLeast(2, 0) for 2.0 and up.
  bool AtLeast(UINT wantMajor, UINT wantMinor) const {
    return major > wantMajor || (major == wantMajor && minor >= wantMinor);
  }
  // The version's index in the instruction table (1_0 reads as 1_1).
  int Index() const;
};

// Reads a version token; false for a token that is no shader version this format knows
// (vs 1.0 to 3.0, ps 1.0 to 3.0, the software versions).
bool DecodeShaderVersion(DWORD token, ShaderVersion& version);

// The register a relative address reads: a0 (vs) or aL, and the component its swizzle picks.
struct ShaderRelativeAddress {
  D3DSHADER_PARAM_REGISTER_TYPE type = D3DSPR_ADDR;
  UINT number = 0;
  UINT component = 0;  // 0..3
};

// One destination parameter.
struct ShaderDestination {
  DWORD token = 0;
  D3DSHADER_PARAM_REGISTER_TYPE type = D3DSPR_TEMP;
  UINT number = 0;
  UINT writeMask = 0xF;  // bit n writes component n
  bool saturate = false;
  bool partialPrecision = false;
  bool centroid = false;
  int shift = 0;  // result scale 2^shift: 1..3 multiply, -1..-3 divide (ps 1.x)
  bool relative = false;
  ShaderRelativeAddress address;
};

// One source parameter (also the predicate of a predicated instruction).
struct ShaderSource {
  DWORD token = 0;
  D3DSHADER_PARAM_REGISTER_TYPE type = D3DSPR_TEMP;
  UINT number = 0;
  std::array<UINT, 4> swizzle{0, 1, 2, 3};  // source component for each result component
  DWORD modifier = D3DSPSM_NONE;            // a D3DSPSM_* value
  bool relative = false;
  ShaderRelativeAddress address;

  UINT SwizzleBits() const { return (token & D3DSP_SWIZZLE_MASK) >> D3DSP_SWIZZLE_SHIFT; }
};

// One decoded instruction or comment block.
struct ShaderInstruction {
  DWORD opcode = D3DSIO_NOP;  // D3DSIO_*, without the control bits
  // The instruction's row in the table: the version's own, else the first of its opcode and
  // control bits, else the row it was read with. Null for comments.
  const InstructionInfo* info = nullptr;
  DWORD controls = 0;  // bits 16-23 of the instruction token, shifted down (comparison, texld project 1 / bias 2)
  bool coissue = false;
  bool predicated = false;
  size_t offset = 0;  // index of the instruction token in the stream
  UINT length = 0;    // tokens that follow the instruction token

  bool hasDestination = false;
  ShaderDestination destination;
  ShaderSource predicate;  // valid when predicated
  UINT sourceCount = 0;
  std::array<ShaderSource, 4> sources;

  // dcl: the declaration token (usage and index, or a sampler's texture type).
  DWORD declaration = 0;
  // def, defi: four raw values (floats or signed integers); defb: one value in [0].
  std::array<DWORD, 4> values{};

  D3DSHADER_COMPARISON Comparison() const { return static_cast<D3DSHADER_COMPARISON>(controls & 7); }
  UINT Usage() const { return (declaration & D3DSP_DCL_USAGE_MASK) >> D3DSP_DCL_USAGE_SHIFT; }
  UINT UsageIndex() const { return (declaration & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT; }
  DWORD TextureType() const { return declaration & D3DSP_TEXTURETYPE_MASK; }
  float FloatValue(UINT i) const;
  INT IntValue(UINT i) const { return static_cast<INT>(values[i]); }
};

// A comment block: where its payload starts and how many tokens it has.
struct ShaderComment {
  size_t offset = 0;  // index of the first payload token
  UINT length = 0;
};

// A whole decoded stream.
struct DecodedShader {
  ShaderVersion version;
  std::vector<ShaderInstruction> instructions;  // in stream order, comments left out
  std::vector<ShaderComment> comments;
  size_t tokenCount = 0;  // tokens from the version token to the end token, both included
};

// Decodes one instruction (or comment block) that starts at tokens[0], reading at most
// `available` tokens. On success fills `instruction` (its offset is 0; the caller adds its own)
// and returns the tokens it took, instruction token included. Returns 0 and says why in
// `problem` (when given) for a malformed instruction, an unknown opcode or one that would run
// past the bound. The end token is not an instruction: it is refused here.
size_t DecodeShaderInstruction(const ShaderVersion& version, const DWORD* tokens, size_t available,
                               ShaderInstruction& instruction, std::string* problem = nullptr);

// Decodes a stream from its version token to its end token, reading at most `available`
// tokens. D3D_OK, or D3DERR_INVALIDCALL with the reason in `problem` (when given).
HRESULT DecodeShader(const DWORD* tokens, size_t available, DecodedShader& shader, std::string* problem = nullptr);

// The index among all float constants (0-8191) of register `number` of a constant register
// type (CONST, CONST2, CONST3, CONST4); false for any other type.
inline bool FloatConstantIndex(D3DSHADER_PARAM_REGISTER_TYPE type, UINT number, UINT& index) {
  switch (type) {
    case D3DSPR_CONST: index = number; return true;
    case D3DSPR_CONST2: index = 2048 + number; return true;
    case D3DSPR_CONST3: index = 4096 + number; return true;
    case D3DSPR_CONST4: index = 6144 + number; return true;
    default: return false;
  }
}

}  // namespace rastro
