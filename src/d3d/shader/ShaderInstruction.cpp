#include "ShaderInstruction.h"

#include <cstring>

namespace rastro {

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kParameterBit = 0x80000000u;
// Longest stream a shader may be; a stream without an end token by then is refused.
constexpr size_t kMaxTokens = 65536;

// How the operands of an instruction are laid out.
enum class Layout {
  Operands,     // optional destination, then `sources` sources
  Declaration,  // declaration token, destination
  DefineFour,   // destination, four raw values (def, defi)
  DefineOne,    // destination, one raw value (defb)
};

struct Shape {
  Layout layout = Layout::Operands;
  bool destination = false;
  UINT sources = 0;
};

constexpr Shape Ops(bool destination, UINT sources) { return Shape{Layout::Operands, destination, sources}; }

// The operands an opcode takes in a version; false for an opcode the format does not know.
bool OperandShape(const ShaderVersion& version, DWORD opcode, Shape& shape) {
  switch (opcode) {
    case D3DSIO_NOP:
    case D3DSIO_RET:
    case D3DSIO_ENDLOOP:
    case D3DSIO_ENDREP:
    case D3DSIO_ELSE:
    case D3DSIO_ENDIF:
    case D3DSIO_BREAK:
    case D3DSIO_PHASE: shape = Ops(false, 0); return true;
    case D3DSIO_MOV:
    case D3DSIO_RCP:
    case D3DSIO_RSQ:
    case D3DSIO_EXP:
    case D3DSIO_LOG:
    case D3DSIO_LIT:
    case D3DSIO_FRC:
    case D3DSIO_ABS:
    case D3DSIO_NRM:
    case D3DSIO_MOVA:
    case D3DSIO_EXPP:
    case D3DSIO_LOGP:
    case D3DSIO_DSX:
    case D3DSIO_DSY:
    case D3DSIO_TEXBEM:
    case D3DSIO_TEXBEML:
    case D3DSIO_TEXREG2AR:
    case D3DSIO_TEXREG2GB:
    case D3DSIO_TEXM3x2PAD:
    case D3DSIO_TEXM3x2TEX:
    case D3DSIO_TEXM3x3PAD:
    case D3DSIO_TEXM3x3TEX:
    case D3DSIO_TEXM3x3VSPEC:
    case D3DSIO_TEXREG2RGB:
    case D3DSIO_TEXDP3TEX:
    case D3DSIO_TEXM3x2DEPTH:
    case D3DSIO_TEXDP3:
    case D3DSIO_TEXM3x3: shape = Ops(true, 1); return true;
    case D3DSIO_ADD:
    case D3DSIO_SUB:
    case D3DSIO_MUL:
    case D3DSIO_DP3:
    case D3DSIO_DP4:
    case D3DSIO_MIN:
    case D3DSIO_MAX:
    case D3DSIO_SLT:
    case D3DSIO_SGE:
    case D3DSIO_DST:
    case D3DSIO_M4x4:
    case D3DSIO_M4x3:
    case D3DSIO_M3x4:
    case D3DSIO_M3x3:
    case D3DSIO_M3x2:
    case D3DSIO_POW:
    case D3DSIO_CRS:
    case D3DSIO_BEM:
    case D3DSIO_SETP:
    case D3DSIO_TEXLDL:
    case D3DSIO_TEXM3x3SPEC: shape = Ops(true, 2); return true;
    case D3DSIO_MAD:
    case D3DSIO_LRP:
    case D3DSIO_SGN:
    case D3DSIO_CND:
    case D3DSIO_CMP:
    case D3DSIO_DP2ADD: shape = Ops(true, 3); return true;
    case D3DSIO_TEXLDD: shape = Ops(true, 4); return true;
    case D3DSIO_SINCOS: shape = Ops(true, version.major >= 3 ? 1 : 3); return true;
    case D3DSIO_CALL:
    case D3DSIO_LABEL:
    case D3DSIO_REP:
    case D3DSIO_IF:
    case D3DSIO_BREAKP: shape = Ops(false, 1); return true;
    case D3DSIO_CALLNZ:
    case D3DSIO_LOOP:
    case D3DSIO_IFC:
    case D3DSIO_BREAKC: shape = Ops(false, 2); return true;
    case D3DSIO_TEXKILL:
    case D3DSIO_TEXDEPTH: shape = Ops(true, 0); return true;
    case D3DSIO_TEXCOORD:  // texcoord up to ps_1_3, texcrd in ps_1_4
      shape = Ops(true, version.pixel && version.major == 1 && version.minor >= 4 ? 1 : 0);
      return true;
    case D3DSIO_TEX:  // tex up to ps_1_3, texld with one source in ps_1_4, with two from ps_2_0
      if (version.major < 2) {
        shape = Ops(true, version.minor >= 4 ? 1 : 0);
      } else {
        shape = Ops(true, 2);
      }
      return true;
    case D3DSIO_DCL: shape = Shape{Layout::Declaration, true, 0}; return true;
    case D3DSIO_DEF:
    case D3DSIO_DEFI: shape = Shape{Layout::DefineFour, true, 0}; return true;
    case D3DSIO_DEFB: shape = Shape{Layout::DefineOne, true, 0}; return true;
    default: return false;
  }
}

// Reads tokens with a bound; every read past it fails the whole decode.
class TokenCursor {
 public:
  TokenCursor(const DWORD* tokens, size_t available) : tokens_(tokens), available_(available) {}

  bool Next(DWORD& token) {
    if (at_ >= available_) return false;
    token = tokens_[at_++];
    return true;
  }
  size_t Taken() const { return at_; }

 private:
  const DWORD* tokens_;
  size_t available_;
  size_t at_ = 0;
};

bool Fail(std::string* problem, const std::string& why) {
  if (problem) *problem = why;
  return false;
}

bool ReadAddress(TokenCursor& cursor, ShaderRelativeAddress& address, std::string* problem) {
  DWORD token = 0;
  if (!cursor.Next(token)) return Fail(problem, "the relative-address token is missing");
  if (!(token & kParameterBit)) return Fail(problem, "the relative-address token lacks its parameter bit");
  address.type = D3DShaderRegisterType(token);
  address.number = token & D3DSP_REGNUM_MASK;
  address.component = (token >> D3DSP_SWIZZLE_SHIFT) & 3;
  return true;
}

bool ReadDestination(const ShaderVersion& version, TokenCursor& cursor, ShaderDestination& destination,
                     std::string* problem) {
  DWORD token = 0;
  if (!cursor.Next(token)) return Fail(problem, "the destination parameter is missing");
  if (!(token & kParameterBit)) return Fail(problem, "the destination token lacks its parameter bit");
  destination.token = token;
  destination.type = D3DShaderRegisterType(token);
  destination.number = token & D3DSP_REGNUM_MASK;
  destination.writeMask = (token & D3DSP_WRITEMASK_ALL) >> 16;
  destination.saturate = token & D3DSPDM_SATURATE;
  destination.partialPrecision = token & D3DSPDM_PARTIALPRECISION;
  destination.centroid = token & D3DSPDM_MSAMPCENTROID;
  int shift = static_cast<int>((token & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT);
  destination.shift = shift >= 8 ? shift - 16 : shift;
  destination.relative = token & D3DSHADER_ADDRMODE_RELATIVE;
  if (!destination.relative) return true;
  if (version.HasImplicitAddress()) return Fail(problem, "vs 1.x cannot address a destination relatively");
  return ReadAddress(cursor, destination.address, problem);
}

bool ReadSource(const ShaderVersion& version, TokenCursor& cursor, ShaderSource& source, std::string* problem) {
  DWORD token = 0;
  if (!cursor.Next(token)) return Fail(problem, "a source parameter is missing");
  if (!(token & kParameterBit)) return Fail(problem, "a source token lacks its parameter bit");
  source.token = token;
  source.type = D3DShaderRegisterType(token);
  source.number = token & D3DSP_REGNUM_MASK;
  for (UINT i = 0; i < 4; ++i) source.swizzle[i] = (token >> (D3DSP_SWIZZLE_SHIFT + 2 * i)) & 3;
  source.modifier = token & D3DSP_SRCMOD_MASK;
  if (source.modifier > D3DSPSM_NOT) return Fail(problem, "unknown source modifier");
  source.relative = token & D3DSHADER_ADDRMODE_RELATIVE;
  if (!source.relative) return true;
  if (version.HasImplicitAddress()) {
    source.address = ShaderRelativeAddress{D3DSPR_ADDR, 0, 0};
    return true;
  }
  return ReadAddress(cursor, source.address, problem);
}

}  // namespace

bool DecodeShaderVersion(DWORD token, ShaderVersion& version) {
  DWORD kind = token & 0xFFFF0000u;
  if (kind != 0xFFFF0000u && kind != 0xFFFE0000u) return false;
  ShaderVersion read;
  read.pixel = kind == 0xFFFF0000u;
  read.major = D3DSHADER_VERSION_MAJOR(token);
  read.minor = D3DSHADER_VERSION_MINOR(token);
  bool known = false;
  if (read.minor == 0xFF) {
    known = read.major == 2 || read.major == 3;  // the software versions
  } else if (read.pixel) {
    known = (read.major == 1 && read.minor <= 4) || (read.major == 2 && read.minor <= 1) ||
            (read.major == 3 && read.minor == 0);
  } else {
    known = (read.major == 1 && read.minor <= 1) || (read.major == 2 && read.minor <= 1) ||
            (read.major == 3 && read.minor == 0);
  }
  if (!known) return false;
  version = read;
  return true;
}

float ShaderInstruction::FloatValue(UINT i) const {
  float value;
  std::memcpy(&value, &values[i], sizeof value);
  return value;
}

size_t DecodeShaderInstruction(const ShaderVersion& version, const DWORD* tokens, size_t available,
                               ShaderInstruction& instruction, std::string* problem) {
  instruction = ShaderInstruction{};
  TokenCursor cursor(tokens, available);
  DWORD token = 0;
  if (!cursor.Next(token)) return Fail(problem, "the stream ends without an end token"), 0;
  DWORD opcode = token & D3DSI_OPCODE_MASK;
  if (opcode == D3DSIO_COMMENT) {
    if (token & kParameterBit) return Fail(problem, "a comment token has its parameter bit set"), 0;
    UINT length = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
    if (length > available - 1) return Fail(problem, "a comment runs past the end of the stream"), 0;
    instruction.opcode = D3DSIO_COMMENT;
    instruction.length = length;
    return 1 + length;
  }
  if (opcode == D3DSIO_END) return Fail(problem, "the end token is not an instruction"), 0;
  if (token & kParameterBit) return Fail(problem, "a parameter token stands where an instruction belongs"), 0;
  Shape shape;
  if (!OperandShape(version, opcode, shape)) {
    return Fail(problem, "unknown opcode " + std::to_string(opcode)), 0;
  }
  instruction.opcode = opcode;
  instruction.controls = (token & D3DSP_OPCODESPECIFICCONTROL_MASK) >> D3DSP_OPCODESPECIFICCONTROL_SHIFT;
  instruction.coissue = token & D3DSI_COISSUE;
  instruction.predicated = token & D3DSHADER_INSTRUCTION_PREDICATED;

  bool ok = true;
  switch (shape.layout) {
    case Layout::Declaration: {
      ok = cursor.Next(instruction.declaration) || Fail(problem, "the declaration token is missing");
      ok = ok && ReadDestination(version, cursor, instruction.destination, problem);
      instruction.hasDestination = true;
      break;
    }
    case Layout::DefineFour:
    case Layout::DefineOne: {
      ok = ReadDestination(version, cursor, instruction.destination, problem);
      instruction.hasDestination = true;
      UINT count = shape.layout == Layout::DefineFour ? 4 : 1;
      for (UINT i = 0; ok && i < count; ++i) {
        ok = cursor.Next(instruction.values[i]) || Fail(problem, "a constant value is missing");
      }
      break;
    }
    case Layout::Operands: {
      if (shape.destination) {
        ok = ReadDestination(version, cursor, instruction.destination, problem);
        instruction.hasDestination = true;
      }
      if (ok && instruction.predicated) ok = ReadSource(version, cursor, instruction.predicate, problem);
      instruction.sourceCount = shape.sources;
      for (UINT i = 0; ok && i < shape.sources; ++i) ok = ReadSource(version, cursor, instruction.sources[i], problem);
      break;
    }
  }
  if (!ok) return 0;
  instruction.length = static_cast<UINT>(cursor.Taken() - 1);
  if (version.HasInstructionLength()) {
    UINT stated = (token & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
    if (stated != instruction.length) {
      return Fail(problem, std::string(ShaderOpcodeName(opcode)) + " states " + std::to_string(stated) +
                               " tokens but its operands take " + std::to_string(instruction.length)),
             0;
    }
  }
  return cursor.Taken();
}

HRESULT DecodeShader(const DWORD* tokens, size_t available, DecodedShader& shader, std::string* problem) {
  shader = DecodedShader{};
  if (!tokens || available == 0) return Fail(problem, "empty stream"), D3DERR_INVALIDCALL;
  if (available > kMaxTokens) available = kMaxTokens;
  if (!DecodeShaderVersion(tokens[0], shader.version)) {
    return Fail(problem, "unknown version token"), D3DERR_INVALIDCALL;
  }
  size_t at = 1;
  while (true) {
    if (at >= available) return Fail(problem, "the stream ends without an end token"), D3DERR_INVALIDCALL;
    if (tokens[at] == kEndToken) break;
    ShaderInstruction instruction;
    std::string why;
    size_t taken = DecodeShaderInstruction(shader.version, tokens + at, available - at, instruction, &why);
    if (taken == 0) {
      return Fail(problem, "token " + std::to_string(at) + ": " + why), D3DERR_INVALIDCALL;
    }
    instruction.offset = at;
    if (instruction.opcode == D3DSIO_COMMENT) {
      shader.comments.push_back(ShaderComment{at + 1, instruction.length});
    } else {
      shader.instructions.push_back(instruction);
    }
    at += taken;
  }
  shader.tokenCount = at + 1;
  return D3D_OK;
}

const char* ShaderOpcodeName(DWORD opcode) {
  static constexpr const char* kNames[] = {
      "nop",    "mov",  "add", "sub",     "mad",   "mul",   "rcp",   "rsq",  "dp3",  "dp4",  "min",  "max",    "slt",
      "sge",    "exp",  "log", "lit",     "dst",   "lrp",   "frc",   "m4x4", "m4x3", "m3x4", "m3x3", "m3x2",   "call",
      "callnz", "loop", "ret", "endloop", "label", "dcl",   "pow",   "crs",  "sgn",  "abs",  "nrm",  "sincos", "rep",
      "endrep", "if",   "if",  "else",    "endif", "break", "break", "mova", "defb", "defi"};
  static constexpr const char* kPixelNames[] = {
      "texcoord",   "texkill",    "texld",      "texbem",     "texbeml",    "texreg2ar",   "texreg2gb",
      "texm3x2pad", "texm3x2tex", "texm3x3pad", "texm3x3tex", nullptr,      "texm3x3spec", "texm3x3vspec",
      "expp",       "logp",       "cnd",        "def",        "texreg2rgb", "texdp3tex",   "texm3x2depth",
      "texdp3",     "texm3x3",    "texdepth",   "cmp",        "bem",        "dp2add",      "dsx",
      "dsy",        "texldd",     "setp",       "texldl",     "breakp"};
  if (opcode < sizeof kNames / sizeof kNames[0]) return kNames[opcode];
  if (opcode >= 64 && opcode - 64 < sizeof kPixelNames / sizeof kPixelNames[0] && kPixelNames[opcode - 64]) {
    return kPixelNames[opcode - 64];
  }
  if (opcode == D3DSIO_PHASE) return "phase";
  return "?";
}

}  // namespace rastro
