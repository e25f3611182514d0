#include "ShaderDisassembler.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "InstructionTable.h"
#include "RegisterName.h"
#include "ShaderInstruction.h"
#include "StringFormat.h"
#include "d3d9types.h"

namespace rastro {

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kDebugFourCC = 0x47554244;  // "DBUG"
constexpr char kComponents[] = "xyzw";

const char* const kUsageNames[] = {"position", "blendweight", "blendindices", "normal", "psize", "texcoord", "tangent",
                                   "binormal", "tessfactor",  "positiont",    "color",  "fog",   "depth",    "sample"};
const char* const kComparisonNames[] = {nullptr, "gt", "eq", "ge", "lt", "ne", "le", nullptr};

void AppendMask(std::string& out, UINT mask) {
  if (mask == 0xF || mask == 0) return;  // an empty mask has no spelling; it reads back as all four
  out += '.';
  for (UINT i = 0; i < 4; ++i) {
    if (mask & (1u << i)) out += kComponents[i];
  }
}

// The shortest spelling: the assembler repeats the last letter given.
void AppendSwizzle(std::string& out, DWORD bits) {
  if (bits == 0xE4) return;
  UINT components[4];
  for (UINT i = 0; i < 4; ++i) components[i] = (bits >> (2 * i)) & 3;
  int letters = 4;
  while (letters > 1 && components[letters - 1] == components[letters - 2]) --letters;
  out += '.';
  for (int i = 0; i < letters; ++i) out += kComponents[components[i]];
}

// A float constant that reads back as the same 32 bits: the shortest decimal when it survives
// the assembler's reading (as a double, then rounded to float), else the exact value.
void AppendFloat(std::string& out, DWORD bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  if (std::isnan(value)) {
    AppendFormat(out, "0.0 /* NaN 0x%08X has no spelling */", static_cast<unsigned>(bits));
    return;
  }
  if (std::isinf(value)) {
    out += value > 0 ? "1e39" : "-1e39";  // beyond the float range: read back as infinity
    return;
  }
  char text[64];
  auto written = std::to_chars(text, text + sizeof text, value);
  std::string spelled(text, written.ptr);
  // The assembler reads a double and takes values beyond the float range as infinities.
  double reread = 0;
  std::from_chars(spelled.data(), spelled.data() + spelled.size(), reread);
  float back = std::fabs(reread) <= std::numeric_limits<float>::max() ? static_cast<float>(reread)
                                                                      : std::numeric_limits<float>::infinity();
  if (std::memcmp(&back, &value, sizeof back) != 0) {
    written = std::to_chars(text, text + sizeof text, static_cast<double>(value));
    spelled.assign(text, written.ptr);
  }
  // The assembler's numbers take no '+' in the exponent, and a number without a point or an
  // exponent would be read as a 32-bit integer.
  if (size_t plus = spelled.find("e+"); plus != std::string::npos) spelled.erase(plus + 1, 1);
  if (spelled.find_first_of(".e") == std::string::npos) spelled += ".0";
  out += spelled;
}

class Disassembler {
 public:
  Disassembler(const DWORD* tokens, size_t count, std::string& text) : tokens_(tokens), count_(count), out_(text) {}

  HRESULT Run();

 private:
  void Instruction(const ShaderInstruction& instruction, size_t at);
  void Comment(size_t payload, UINT length);
  void DebugBlock(const BYTE* data, size_t bytes);
  std::string Name(DWORD type, UINT number) const;
  std::string Address(const ShaderRelativeAddress& address, size_t tokenAt) const;
  std::string Destination(const ShaderDestination& destination, size_t addressAt) const;
  std::string Source(const ShaderSource& source, size_t addressAt) const;
  bool ExtraAddressTokens() const { return !version_.HasImplicitAddress(); }

  const DWORD* tokens_;
  size_t count_;
  std::string& out_;
  ShaderVersion version_;
  int versionIndex_ = -1;
};

HRESULT Disassembler::Run() {
  if (!count_ || !DecodeShaderVersion(tokens_[0], version_)) {
    out_ += "// not a shader version token\n";
    return D3DXERR_INVALIDDATA;
  }
  versionIndex_ = ShaderVersionIndexOf(tokens_[0]);
  if (version_.minor == 0xFF) {
    AppendFormat(out_, "%s_%u_sw\n", version_.pixel ? "ps" : "vs", version_.major);
  } else if (version_.major == 2 && version_.minor == 1) {
    AppendFormat(out_, "%s_2_x\n", version_.pixel ? "ps" : "vs");
  } else {
    AppendFormat(out_, "%s_%u_%u\n", version_.pixel ? "ps" : "vs", version_.major, version_.minor);
  }
  size_t at = 1;
  while (true) {
    if (at >= count_) {
      out_ += "// the stream ends without an end token\n";
      return D3DXERR_INVALIDDATA;
    }
    if (tokens_[at] == kEndToken) return D3D_OK;
    ShaderInstruction instruction;
    std::string why;
    size_t taken = DecodeShaderInstruction(version_, tokens_ + at, count_ - at, instruction, &why);
    if (!taken) {
      AppendFormat(out_, "// stopped at token %zu: ", at);
      out_ += why;
      out_ += '\n';
      return D3DXERR_INVALIDDATA;
    }
    if (instruction.opcode == D3DSIO_COMMENT) {
      Comment(at + 1, instruction.length);
    } else {
      Instruction(instruction, at);
    }
    at += taken;
  }
}

std::string Disassembler::Name(DWORD type, UINT number) const {
  // Versions the table does not list (none the decoder accepts) are named as vertex shaders.
  return RegisterName(type, number, versionIndex_ < 0 ? kVs11 : versionIndex_);
}

std::string Disassembler::Address(const ShaderRelativeAddress& address, size_t tokenAt) const {
  if (!ExtraAddressTokens()) return "a0.x";
  std::string text = Name(address.type, address.number);
  if (address.type != D3DSPR_LOOP && tokenAt < count_) AppendSwizzle(text, (tokens_[tokenAt] >> 16) & 0xFF);
  return text;
}

std::string Disassembler::Destination(const ShaderDestination& destination, size_t addressAt) const {
  std::string text = Name(destination.type, destination.number);
  if (destination.relative) {
    text += '[';
    text += Address(destination.address, addressAt);
    text += ']';
  }
  AppendMask(text, destination.writeMask);
  return text;
}

std::string Disassembler::Source(const ShaderSource& source, size_t addressAt) const {
  std::string name = Name(source.type, source.number);
  const char* prefix = "";
  const char* suffix = "";
  switch (source.modifier) {
    case D3DSPSM_NEG: prefix = "-"; break;
    case D3DSPSM_BIAS: suffix = "_bias"; break;
    case D3DSPSM_BIASNEG:
      prefix = "-";
      suffix = "_bias";
      break;
    case D3DSPSM_SIGN: suffix = "_bx2"; break;
    case D3DSPSM_SIGNNEG:
      prefix = "-";
      suffix = "_bx2";
      break;
    case D3DSPSM_COMP: prefix = "1 - "; break;
    case D3DSPSM_X2: suffix = "_x2"; break;
    case D3DSPSM_X2NEG:
      prefix = "-";
      suffix = "_x2";
      break;
    case D3DSPSM_DZ: suffix = "_dz"; break;
    case D3DSPSM_DW: suffix = "_dw"; break;
    case D3DSPSM_ABS: suffix = "_abs"; break;
    case D3DSPSM_ABSNEG:
      prefix = "-";
      suffix = "_abs";
      break;
    case D3DSPSM_NOT: prefix = "!"; break;
    default: break;
  }
  std::string text = prefix;
  text += name;
  text += suffix;
  if (source.relative) {
    text += '[';
    text += Address(source.address, addressAt);
    text += ']';
  }
  AppendSwizzle(text, source.SwizzleBits());
  return text;
}

void Disassembler::Instruction(const ShaderInstruction& instruction, size_t at) {
  std::string line;
  if (instruction.coissue) line += "+";
  // Where each operand's address token lies, in the order the operands are written.
  size_t next = at + 1 + (instruction.opcode == D3DSIO_DCL ? 1 : 0);
  auto skip = [&](bool relative) {
    size_t addressAt = next + 1;
    next += 1 + (relative && ExtraAddressTokens() ? 1 : 0);
    return addressAt;
  };
  size_t destinationAddress = instruction.hasDestination ? skip(instruction.destination.relative) : 0;
  if (instruction.predicated) {
    size_t predicateAddress = skip(instruction.predicate.relative);
    line += '(';
    line += Source(instruction.predicate, predicateAddress);
    line += ") ";
  }
  line += instruction.info->mnemonic;
  if (instruction.opcode == D3DSIO_IFC || instruction.opcode == D3DSIO_BREAKC || instruction.opcode == D3DSIO_SETP) {
    if (const char* comparison = kComparisonNames[instruction.controls & 7]) {
      line += "_";
      line += comparison;
    }
  }
  const ShaderDestination& destination = instruction.destination;
  if (instruction.opcode == D3DSIO_DCL) {
    if (destination.type == D3DSPR_SAMPLER) {
      switch (instruction.TextureType()) {
        case D3DSTT_2D: line += "_2d"; break;
        case D3DSTT_CUBE: line += "_cube"; break;
        case D3DSTT_VOLUME: line += "_volume"; break;
        default: break;
      }
    } else if (!version_.pixel || (version_.major >= 3 && (instruction.Usage() || instruction.UsageIndex()))) {
      UINT usage = instruction.Usage();
      line += "_";
      line += usage < 14 ? kUsageNames[usage] : "usage";
      if (instruction.UsageIndex()) AppendFormat(line, "%u", instruction.UsageIndex());
    }
  }
  if (instruction.hasDestination) {
    switch (destination.shift) {
      case 1: line += "_x2"; break;
      case 2: line += "_x4"; break;
      case 3: line += "_x8"; break;
      case -1: line += "_d2"; break;
      case -2: line += "_d4"; break;
      case -3: line += "_d8"; break;
      default: break;
    }
    if (destination.saturate) line += "_sat";
    if (destination.partialPrecision) line += "_pp";
    if (destination.centroid) line += "_centroid";
  }
  const char* separator = " ";
  if (instruction.hasDestination) {
    line += separator;
    line += Destination(destination, destinationAddress);
    separator = ", ";
  }
  if (instruction.opcode == D3DSIO_DEF) {
    for (UINT i = 0; i < 4; ++i) {
      line += separator;
      AppendFloat(line, instruction.values[i]);
    }
  } else if (instruction.opcode == D3DSIO_DEFI) {
    for (UINT i = 0; i < 4; ++i) AppendFormat(line, "%s%d", separator, static_cast<int>(instruction.IntValue(i)));
  } else if (instruction.opcode == D3DSIO_DEFB) {
    line += separator;
    line += instruction.values[0] ? "true" : "false";
  }
  for (UINT i = 0; i < instruction.sourceCount; ++i) {
    size_t addressAt = skip(instruction.sources[i].relative);
    line += separator;
    line += Source(instruction.sources[i], addressAt);
    separator = ", ";
  }
  out_ += line;
  out_ += '\n';
}

void Disassembler::Comment(size_t payload, UINT length) {
  if (length >= 1 && tokens_[payload] == kDebugFourCC) {
    DebugBlock(reinterpret_cast<const BYTE*>(tokens_ + payload + 1), (length - 1) * sizeof(DWORD));
    return;
  }
  AppendFormat(out_, "// comment block, %u words", length);
  if (length) {
    char fourCC[5];
    std::memcpy(fourCC, &tokens_[payload], 4);
    fourCC[4] = 0;
    bool printable = true;
    for (int i = 0; i < 4; ++i) printable &= fourCC[i] >= 0x20 && fourCC[i] < 0x7F;
    if (printable) AppendFormat(out_, " (\"%s\")", fourCC);
  }
  out_ += '\n';
  for (UINT i = 0; i < length; i += 8) {
    out_ += "//";
    for (UINT j = i; j < length && j < i + 8; ++j)
      AppendFormat(out_, " %08X", static_cast<unsigned>(tokens_[payload + j]));
    out_ += '\n';
  }
}

// The debug block: creator, entry point, files and the source line of each instruction.
void Disassembler::DebugBlock(const BYTE* data, size_t bytes) {
  auto word = [&](size_t offset) -> DWORD {
    if (offset + 4 > bytes) return 0;
    DWORD value;
    std::memcpy(&value, data + offset, 4);
    return value;
  };
  auto text = [&](DWORD offset) -> std::string {
    if (!offset || offset >= bytes) return "";
    const char* start = reinterpret_cast<const char*>(data + offset);
    size_t length = strnlen(start, bytes - offset);
    std::string value(start, length);
    for (char& c : value) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    return value;
  };
  out_ += "// debug information";
  if (std::string creator = text(word(4)); !creator.empty()) {
    out_ += " from ";
    out_ += creator;
  }
  out_ += '\n';
  if (std::string entry = text(word(36)); !entry.empty()) {
    out_ += "// entry point: ";
    out_ += entry;
    out_ += '\n';
  }
  if (word(8)) out_ += "// (with the source text)\n";
  DWORD files = word(12), fileTable = word(16), records = word(20), recordTable = word(24);
  for (DWORD i = 0; i < files && fileTable + 4 * i + 4 <= bytes; ++i) {
    AppendFormat(out_, "// file %u: ", static_cast<unsigned>(i));
    out_ += text(word(fileTable + 4 * i));
    out_ += '\n';
  }
  for (DWORD i = 0; i < records && recordTable + 8 * i + 8 <= bytes; ++i) {
    DWORD lineAndFile = word(recordTable + 8 * i);
    auto file = static_cast<short>(lineAndFile >> 16);
    AppendFormat(out_, "// line %u, file %d: instruction at token %u\n", static_cast<unsigned>(lineAndFile & 0xFFFF),
                 file, static_cast<unsigned>(word(recordTable + 8 * i + 4) / 4));
  }
}

}  // namespace

HRESULT DisassembleShader(const DWORD* tokens, size_t count, std::string& text) {
  text.clear();
  if (!tokens) return D3DERR_INVALIDCALL;
  return Disassembler(tokens, count, text).Run();
}

}  // namespace rastro
