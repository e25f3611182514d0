// The ShaderAssembler's instruction encoding: mnemonics with their suffixes, register names,
// masks and swizzles, and the tokens of one instruction.
#include <algorithm>
#include <string_view>

#include "InstructionSet.h"
#include "ShaderAssembler.h"
#include "StatementGrammar.h"

namespace rastro {

namespace {

constexpr std::size_t kMaxPartLength = 15;
constexpr DWORD kParameterBit = 0x80000000u;
constexpr DWORD kPredicatedBit = 0x10000000u;

struct NamedValue {
  std::string_view name;
  DWORD value;
};

constexpr NamedValue kUsages[] = {
    {"position", D3DDECLUSAGE_POSITION},
    {"blendweight", D3DDECLUSAGE_BLENDWEIGHT},
    {"blendindices", D3DDECLUSAGE_BLENDINDICES},
    {"normal", D3DDECLUSAGE_NORMAL},
    {"psize", D3DDECLUSAGE_PSIZE},
    {"texcoord", D3DDECLUSAGE_TEXCOORD},
    {"tangent", D3DDECLUSAGE_TANGENT},
    {"binormal", D3DDECLUSAGE_BINORMAL},
    {"tessfactor", D3DDECLUSAGE_TESSFACTOR},
    {"positiont", D3DDECLUSAGE_POSITIONT},
    {"color", D3DDECLUSAGE_COLOR},
    {"fog", D3DDECLUSAGE_FOG},
    {"depth", D3DDECLUSAGE_DEPTH},
    {"sample", D3DDECLUSAGE_SAMPLE},
};

constexpr NamedValue kComparisons[] = {
    {"gt", D3DSPC_GT}, {"eq", D3DSPC_EQ}, {"ge", D3DSPC_GE}, {"lt", D3DSPC_LT}, {"ne", D3DSPC_NE}, {"le", D3DSPC_LE},
};

// Shift scales of ps_1_x results, as written in bits 24-27 of the destination.
constexpr NamedValue kShifts[] = {
    {"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", 15}, {"d4", 14}, {"d8", 13},
};

constexpr NamedValue kTextureTypes[] = {
    {"2d", D3DSTT_2D},
    {"cube", D3DSTT_CUBE},
    {"volume", D3DSTT_VOLUME},
};

constexpr NamedValue kPs1xSourceModifiers[] = {
    {"bias", D3DSPSM_BIAS}, {"bx2", D3DSPSM_SIGN}, {"x2", D3DSPSM_X2}, {"dz", D3DSPSM_DZ},
    {"db", D3DSPSM_DZ},     {"dw", D3DSPSM_DW},    {"da", D3DSPSM_DW},
};

template <std::size_t N>
const NamedValue* Find(const NamedValue (&table)[N], std::string_view name) {
  for (const NamedValue& entry : table) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

// Cuts a name at each '_'.
class Parts {
 public:
  explicit Parts(std::string_view text) : rest_(text) {}
  bool Next(std::string_view& part) {
    if (done_) return false;
    std::size_t end = rest_.find('_');
    part = rest_.substr(0, end);
    if (end == std::string_view::npos)
      done_ = true;
    else
      rest_.remove_prefix(end + 1);
    return true;
  }

 private:
  std::string_view rest_;
  bool done_ = false;
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A dcl usage: its name, then an optional decimal index of at most 15.
bool ParseUsage(std::string_view part, bool pixelShader, DWORD& declaration) {
  std::size_t letters = 0;
  while (letters < part.size() && IsLetter(part[letters])) ++letters;
  const NamedValue* usage = Find(kUsages, part.substr(0, letters));
  if (!usage) return false;
  DWORD index = 0;
  for (std::size_t i = letters; i < part.size(); ++i) {
    if (!IsDigit(part[i])) return false;
    index = index * 10 + DWORD(part[i] - '0');
    if (index > 15) return false;
  }
  // A pixel shader's input cannot be the position itself.
  if (pixelShader && usage->value == D3DDECLUSAGE_POSITION && index == 0) return false;
  declaration = usage->value | (index << D3DSP_DCL_USAGEINDEX_SHIFT);
  return true;
}

int TerminalOf(OperandForm form) {
  switch (form) {
    case OperandForm::None: return STATEMENT_OPCODE0;
    case OperandForm::One: return STATEMENT_OPCODE1;
    case OperandForm::Two: return STATEMENT_OPCODE2;
    case OperandForm::Three: return STATEMENT_OPCODE3;
    case OperandForm::Four: return STATEMENT_OPCODE4;
    case OperandForm::Five: return STATEMENT_OPCODE5;
    case OperandForm::Def: return STATEMENT_DEF;
    case OperandForm::DefInt: return STATEMENT_DEFI;
    case OperandForm::DefBool: return STATEMENT_DEFB;
    case OperandForm::Branch1: return STATEMENT_BRANCH1;
    case OperandForm::Branch2: return STATEMENT_BRANCH2;
    case OperandForm::Invalid: break;
  }
  return STATEMENT_IDENTIFIER;
}

// Component 0-3 of a mask or swizzle letter, or -1.
int Component(char c) {
  switch (c) {
    case 'x':
    case 'r': return 0;
    case 'y':
    case 'g': return 1;
    case 'z':
    case 'b': return 2;
    case 'w':
    case 'a': return 3;
    default: return -1;
  }
}

// "sub" becomes "add" with its second source negated.
bool NegatedForSubtract(DWORD modifier, DWORD& negated) {
  switch (modifier) {
    case D3DSPSM_NONE: negated = D3DSPSM_NEG; return true;
    case D3DSPSM_NEG: negated = D3DSPSM_NONE; return true;
    case D3DSPSM_BIAS: negated = D3DSPSM_BIASNEG; return true;
    case D3DSPSM_BIASNEG: negated = D3DSPSM_BIAS; return true;
    case D3DSPSM_SIGN: negated = D3DSPSM_SIGNNEG; return true;
    case D3DSPSM_SIGNNEG: negated = D3DSPSM_SIGN; return true;
    case D3DSPSM_X2: negated = D3DSPSM_X2NEG; return true;
    case D3DSPSM_X2NEG: negated = D3DSPSM_X2; return true;
    case D3DSPSM_ABS: negated = D3DSPSM_ABSNEG; return true;
    case D3DSPSM_ABSNEG: negated = D3DSPSM_ABS; return true;
    default: return false;
  }
}

DWORD RegisterBits(const RegisterNode& reg) {
  return kParameterBit | D3DShaderRegisterTypeBits(reg.type) | (reg.number & D3DSP_REGNUM_MASK);
}

}  // namespace

int ShaderAssembler::DecodeOpcode(const Token& identifier) {
  mnemonicProblem_ = 0;
  if (version_ == kNoShaderVersion) return STATEMENT_IDENTIFIER;
  std::string_view text = identifier.Name();
  {
    Parts parts(text);
    for (std::string_view part; parts.Next(part);) {
      if (part.size() > kMaxPartLength) return STATEMENT_IDENTIFIER;
    }
  }

  Parts parts(text);
  std::string_view mnemonic;
  parts.Next(mnemonic);
  const InstructionInfo* entry = FindMnemonic(mnemonic);
  if (!entry) return STATEMENT_IDENTIFIER;
  OperandForm form = entry->Form(version_);
  if (form == OperandForm::Invalid) {
    mnemonicProblem_ = 2023;
    return STATEMENT_IDENTIFIER;
  }
  mnemonicProblem_ = 2024;

  const int v = version_;
  const bool oneToFive = HasDestination(form);
  const bool isDcl = mnemonic == "dcl";
  const bool ps3 = v == kPs30 || v == kPs3sw;
  const bool vertexDcl = isDcl && IsVertexVersion(v);
  bool saturateAllowed = oneToFive && (v == kVs30 || v == kVs3sw || IsPixelVersion(v));
  bool shiftAllowed = oneToFive && IsPs1x(v);
  const bool partialAllowed = entry->Has(kPartialPrecision) && HasPartialPrecision(v);
  const bool centroidAllowed = ps3 && (isDcl || mnemonic == "texld" || mnemonic == "dsx" || mnemonic == "dsy");
  bool textureTypeAllowed = isDcl && (v == kVs30 || v == kVs3sw || (v >= kPs20 && v <= kPs3sw));
  bool usageAllowed = isDcl && (IsVertexVersion(v) || ps3);
  const bool comparisonAllowed = mnemonic == "if" || mnemonic == "break" || mnemonic == "setp";

  DWORD modifiers = 0;
  DWORD declaration = 0;
  bool haveComparison = false, haveUsage = false, haveTextureType = false;
  for (std::string_view part; parts.Next(part);) {
    if (saturateAllowed && part == "sat") {
      modifiers |= D3DSPDM_SATURATE;
      saturateAllowed = shiftAllowed = false;
      continue;
    }
    if (centroidAllowed && part == "centroid") {
      modifiers |= D3DSPDM_MSAMPCENTROID;
      continue;
    }
    if (shiftAllowed) {
      const NamedValue* shift = Find(kShifts, part);
      if (!shift) return STATEMENT_IDENTIFIER;
      modifiers |= shift->value << D3DSP_DSTSHIFT_SHIFT;
      shiftAllowed = false;
      continue;
    }
    if (textureTypeAllowed) {
      if (const NamedValue* type = Find(kTextureTypes, part)) {
        declaration = type->value;
        textureTypeAllowed = usageAllowed = false;
        haveTextureType = true;
        continue;
      }
    }
    if (partialAllowed && part == "pp") {
      modifiers |= D3DSPDM_PARTIALPRECISION;
      continue;
    }
    if (ps3 && usageAllowed && ParseUsage(part, true, declaration)) {
      textureTypeAllowed = usageAllowed = false;
      haveUsage = true;
      continue;
    }
    if (!vertexDcl) {
      if (comparisonAllowed && !haveComparison) {
        if (const NamedValue* comparison = Find(kComparisons, part)) {
          declaration = comparison->value;
          haveComparison = true;
          continue;
        }
      }
    } else if (usageAllowed && ParseUsage(part, false, declaration)) {
      textureTypeAllowed = usageAllowed = false;
      haveUsage = true;
      continue;
    }
    return STATEMENT_IDENTIFIER;
  }

  DWORD opcode = entry->opcode;
  if (haveComparison && (mnemonic == "if" || mnemonic == "break")) {
    const InstructionInfo* row = FindInstructionAnyVersion(mnemonic == "if" ? D3DSIO_IFC : D3DSIO_BREAKC);
    form = row->Form(v);
    if (form == OperandForm::Invalid) return STATEMENT_IDENTIFIER;
    opcode = row->opcode;
  }
  if (mnemonic == "setp" && !haveComparison) return STATEMENT_IDENTIFIER;
  if (vertexDcl && !haveUsage && !haveTextureType) return STATEMENT_IDENTIFIER;

  mnemonicProblem_ = 0;
  pendingOpcode_ = opcode;
  pendingModifiers_ = modifiers;
  pendingDeclaration_ = declaration;
  pendingForm_ = static_cast<int>(form);
  return TerminalOf(form);
}

RegisterNode* ShaderAssembler::DecodeRegister(const Token& name, IndexNode* index) {
  RegisterNode* node = MakeNode(registerPool_);
  if (!node) return nullptr;
  node->position = &name;

  auto fail = [&]() {
    if (!index)
      REPORT_DIAGNOSTIC(diagnostics_, &name, InvalidRegister, name.value.text);
    else if (!index->addressRegister)
      REPORT_DIAGNOSTIC(diagnostics_, &name, InvalidRegisterAtOffset, name.value.text, index->offset);
    else
      REPORT_DIAGNOSTIC(diagnostics_, &name, InvalidRegisterRelative, name.value.text);
    failed_ = true;
    node->type = kUnknownRegisterType;
    return node;
  };

  std::string_view text = name.Name();
  Parts parts(text);
  std::string_view first;
  parts.Next(first);
  if (first.size() > kMaxPartLength) return fail();
  std::size_t letters = 0;
  while (letters < first.size() && IsLetter(first[letters])) ++letters;
  bool hasNumber = letters < first.size();
  DWORD number = 0;
  for (std::size_t i = letters; i < first.size(); ++i) {
    if (!IsDigit(first[i])) return fail();
    // At most 14 digits; anything that large is out of range below.
    number = std::min<DWORD>(number, 0x0FFFFFFF) * 10 + DWORD(first[i] - '0');
  }
  const RegisterEntry* entry = FindRegister(first.substr(0, letters));
  if (!entry) return fail();
  const RegisterLimit& limit = entry->limits[version_];
  if (limit.count < 0) return fail();

  RegisterNode* addressRegister = index ? index->addressRegister : nullptr;
  if (limit.relative) {
    if (!hasNumber && !index) return fail();
    if (index) {
      number = hasNumber ? number + index->offset : index->offset;
      hasNumber = true;
    }
  } else if (index) {
    return fail();
  }
  if (!hasNumber) {
    if (!limit.single) return fail();
    number = 0;
  } else {
    if (limit.single) return fail();
    if (!addressRegister && number >= static_cast<DWORD>(limit.count)) return fail();
  }

  DWORD type = entry->type;
  if (entry->fixedNumber) number = entry->number;
  if (type == D3DSPR_CONST) {
    number %= 8192;
    constexpr DWORD kBanks[] = {D3DSPR_CONST, D3DSPR_CONST2, D3DSPR_CONST3, D3DSPR_CONST4};
    type = kBanks[number / 2048];
    number %= 2048;
  }

  DWORD modifier = D3DSPSM_NONE;
  bool haveModifier = false;
  for (std::string_view part; parts.Next(part);) {
    if (part.size() > kMaxPartLength || haveModifier) return fail();
    const NamedValue* found = nullptr;
    if (IsPs1x(version_)) {
      found = Find(kPs1xSourceModifiers, part);
    } else if (IsVersion3(version_) && part == "abs") {
      static constexpr NamedValue kAbs = {"abs", D3DSPSM_ABS};
      found = &kAbs;
    }
    if (!found) return fail();
    modifier = found->value;
    haveModifier = true;
  }

  node->type = type;
  node->number = number;
  node->modifier = modifier;
  node->scalar = entry->scalar;
  node->relative = addressRegister;
  return node;
}

DWORD ShaderAssembler::DecodeMask(const Token& name) {
  std::string_view text = name.Name();
  if (text.empty()) return D3DSP_WRITEMASK_ALL;
  DWORD mask = 0;
  int previous = -1;
  for (char c : text) {
    int component = Component(c);
    if (component <= previous) {
      REPORT_DIAGNOSTIC(diagnostics_, &name, InvalidMask, name.value.text);
      failed_ = true;
      return 0;
    }
    mask |= D3DSP_WRITEMASK_0 << component;
    previous = component;
  }
  return mask;
}

DWORD ShaderAssembler::DecodeSwizzle(const Token& name) {
  std::string_view text = name.Name();
  if (text.empty()) return D3DSP_NOSWIZZLE;
  DWORD swizzle = 0;
  int component = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i < text.size()) component = Component(text[i]);
    if (component < 0 || text.size() > 4) {
      REPORT_DIAGNOSTIC(diagnostics_, &name, InvalidSwizzle, name.value.text);
      failed_ = true;
      return 0;
    }
    swizzle |= DWORD(component) << (D3DSP_SWIZZLE_SHIFT + 2 * i);
  }
  return swizzle;
}

void ShaderAssembler::CheckAddressRegister(const RegisterNode& reg, const Token& position) {
  if (reg.relative && reg.relative->relative) {
    REPORT_DIAGNOSTIC(diagnostics_, &position, RelativeAddressRegister);
    failed_ = true;
  }
}

bool ShaderAssembler::SubtractSource(RegisterNode& source, const Token& position) {
  DWORD negated = 0;
  if (!NegatedForSubtract(source.modifier, negated)) {
    REPORT_DIAGNOSTIC(diagnostics_, &position, ModifierWithSub);
    failed_ = true;
    return false;
  }
  source.modifier = negated;
  return true;
}

DWORD ShaderAssembler::SourceToken(const RegisterNode& reg) const {
  return RegisterBits(reg) | reg.modifier | reg.swizzle;
}

HRESULT ShaderAssembler::EmitInstruction(InstructionNode& instruction) {
  const Token& position = instruction.token;
  const int v = version_;
  const std::size_t start = output_.size();
  instruction.byteOffset = static_cast<DWORD>(start * sizeof(DWORD));

  const bool isDcl = instruction.opcode == D3DSIO_DCL;
  RegisterNode* destination = instruction.destination;
  RegisterNode* predicate = instruction.predicate;

  std::size_t count = 1;
  if (isDcl) ++count;
  if (destination) count += destination->relative ? 2 : 1;
  if (predicate) ++count;
  for (int i = 0; i < instruction.sourceCount; ++i) {
    const RegisterNode* source = instruction.sources[i];
    if (source) count += (source->relative && v != kVs11) ? 2 : 1;
  }
  count += static_cast<std::size_t>(instruction.valueCount);

  bool unknown = false;
  auto noteUnknown = [&](const RegisterNode* reg) {
    for (; reg; reg = reg->relative) unknown = unknown || reg->type == kUnknownRegisterType;
  };

  if (destination) {
    noteUnknown(destination);
    if (destination->modifier != D3DSPSM_NONE) {
      REPORT_DIAGNOSTIC(diagnostics_, &position, ModifierOnDestination);
      failed_ = true;
    }
    if (destination->relative && v != kVs30 && v != kVs3sw) {
      REPORT_DIAGNOSTIC(diagnostics_, &position, RelativeDestination);
      failed_ = true;
    }
    CheckAddressRegister(*destination, position);
  }
  if (predicate) {
    noteUnknown(predicate);
    if (!HasPredication(v)) {
      REPORT_DIAGNOSTIC(diagnostics_, &position, PredicatesUnsupported);
      failed_ = true;
    }
    if (predicate->modifier != D3DSPSM_NONE && predicate->modifier != D3DSPSM_NOT) {
      REPORT_DIAGNOSTIC(diagnostics_, &position, ModifierOnPredicate);
      failed_ = true;
    }
    if (predicate->relative) {
      REPORT_DIAGNOSTIC(diagnostics_, &position, RelativePredicate);
      failed_ = true;
    }
  }
  for (int i = 0; i < instruction.sourceCount; ++i) {
    if (!instruction.sources[i]) continue;
    noteUnknown(instruction.sources[i]);
    CheckAddressRegister(*instruction.sources[i], position);
  }

  DWORD opcode = instruction.opcode;
  const InstructionInfo* row = FindInstruction(opcode, v);
  if (opcode == D3DSIO_SUB && !IsPs1x(v) && instruction.sourceCount == 2 && instruction.sources[1]) {
    opcode = D3DSIO_ADD;
    SubtractSource(*instruction.sources[1], position);
  }

  DWORD token = opcode;
  if (instruction.coissue) token |= D3DSI_COISSUE;
  if (predicate) token |= kPredicatedBit;
  if (WritesInstructionLength(v)) token |= static_cast<DWORD>(count - 1) << D3DSI_INSTLENGTH_SHIFT;
  if (opcode == D3DSIO_IFC || opcode == D3DSIO_BREAKC || opcode == D3DSIO_SETP)
    token |= (instruction.declaration << D3DSHADER_COMPARISON_SHIFT) & D3DSHADER_COMPARISON_MASK;
  if (HRESULT hr = AppendToken(token); FAILED(hr)) return hr;

  if (isDcl) {
    if (HRESULT hr = AppendToken(kParameterBit | instruction.declaration); FAILED(hr)) return hr;
  }

  if (destination) {
    DWORD mask = destination->mask;
    // vs_1_1 writes as many components as a matrix has rows when no mask is given.
    if (v == kVs11 && mask == D3DSP_WRITEMASK_ALL && row && row->matrixRows && row->matrixRows < 4) {
      mask = ((1u << row->matrixRows) - 1) * D3DSP_WRITEMASK_0;
    }
    DWORD destinationToken = RegisterBits(*destination) | instruction.resultModifiers | mask;
    if (destination->relative) destinationToken |= D3DSHADER_ADDRMODE_RELATIVE;
    if (HRESULT hr = AppendToken(destinationToken); FAILED(hr)) return hr;
    if (destination->relative) {
      if (HRESULT hr = AppendToken(SourceToken(*destination->relative)); FAILED(hr)) return hr;
    }
  }

  if (predicate) {
    if (HRESULT hr = AppendToken(SourceToken(*predicate)); FAILED(hr)) return hr;
  }

  for (int i = 0; i < instruction.valueCount; ++i) {
    if (HRESULT hr = AppendToken(instruction.values[i]); FAILED(hr)) return hr;
  }
  for (int i = 0; i < instruction.sourceCount; ++i) {
    const RegisterNode* source = instruction.sources[i];
    if (!source) continue;
    DWORD sourceToken = SourceToken(*source);
    if (v == kVs11 && source->swizzle == D3DSP_NOSWIZZLE && row && row->Has(kScalarSource)) {
      sourceToken = (sourceToken & ~D3DSP_SWIZZLE_MASK) | D3DSP_REPLICATEALPHA;
    }
    if (source->relative) sourceToken |= D3DSHADER_ADDRMODE_RELATIVE;
    if (HRESULT hr = AppendToken(sourceToken); FAILED(hr)) return hr;
    if (!source->relative) continue;
    if (v != kVs11) {
      if (HRESULT hr = AppendToken(SourceToken(*source->relative)); FAILED(hr)) return hr;
      continue;
    }
    const RegisterNode& address = *source->relative;
    if (address.type != D3DSPR_ADDR || address.number != 0 || address.swizzle != D3DSP_REPLICATERED ||
        address.modifier != D3DSPSM_NONE) {
      REPORT_DIAGNOSTIC(diagnostics_, &position, RelativeAddressNotA0x);
      failed_ = true;
    }
  }

  if (output_.size() - start != count) {
    REPORT_DIAGNOSTIC(diagnostics_, &position, InstructionSizeMismatch);
    failed_ = true;
  }

  if (unknown) {
    SkipValidation();
  } else if (FAILED(ValidateNew(&position))) {
    failed_ = stopped_ = true;
  }
  return S_OK;
}

HRESULT ShaderAssembler::AppendToken(DWORD value) {
  try {
    if (output_.size() == output_.capacity()) output_.reserve(std::max<std::size_t>(256, 2 * output_.capacity()));
    output_.push_back(value);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace rastro
