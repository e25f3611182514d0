#include "ShaderInstruction.h"

#include <cstring>

namespace rastro {

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kParameterBit = 0x80000000u;
// Longest stream a shader may be; a stream without an end token by then is refused.
constexpr size_t kMaxTokens = 65536;

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

int ShaderVersion::Index() const {
  return ShaderVersionIndexOf((pixel ? 0xFFFF0000u : 0xFFFE0000u) | (major << 8) | minor);
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
  int versionIndex = version.Index();
  InstructionReading reading = ReadingOf(opcode, versionIndex);
  if (!reading.row) return Fail(problem, "unknown opcode " + std::to_string(opcode)), 0;
  const InstructionInfo* row = FindInstruction(InstructionKey(token), versionIndex);
  if (!row) row = FindInstructionAnyVersion(InstructionKey(token));
  instruction.opcode = opcode;
  instruction.info = row ? row : reading.row;
  instruction.controls = (token & D3DSP_OPCODESPECIFICCONTROL_MASK) >> D3DSP_OPCODESPECIFICCONTROL_SHIFT;
  instruction.coissue = token & D3DSI_COISSUE;
  instruction.predicated = token & D3DSHADER_INSTRUCTION_PREDICATED;

  // dcl: the declaration token before the destination; def, defi, defb: raw values after it;
  // the rest: the destination, the predicate when the instruction is predicated, the sources.
  OperandForm form = reading.form;
  bool ok = true;
  if (reading.row->kind == InstructionKind::Declaration && HasDestination(form)) {
    ok = cursor.Next(instruction.declaration) || Fail(problem, "the declaration token is missing");
  }
  if (ok && DestinationCount(form)) {
    ok = ReadDestination(version, cursor, instruction.destination, problem);
    instruction.hasDestination = true;
  }
  if (ok && instruction.predicated && reading.row->Has(kPredicateToken)) {
    ok = ReadSource(version, cursor, instruction.predicate, problem);
  }
  for (UINT i = 0; ok && i < ValueCount(form); ++i) {
    ok = cursor.Next(instruction.values[i]) || Fail(problem, "a constant value is missing");
  }
  instruction.sourceCount = SourceCount(form);
  for (UINT i = 0; ok && i < instruction.sourceCount; ++i) {
    ok = ReadSource(version, cursor, instruction.sources[i], problem);
  }
  if (!ok) return 0;
  instruction.length = static_cast<UINT>(cursor.Taken() - 1);
  if (version.HasInstructionLength()) {
    UINT stated = (token & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
    if (stated != instruction.length) {
      return Fail(problem, std::string(ShaderOpcodeName(opcode, versionIndex)) + " states " + std::to_string(stated) +
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

}  // namespace rastro
