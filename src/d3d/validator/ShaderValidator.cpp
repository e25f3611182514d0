#include "ShaderValidator.h"

#include <algorithm>
#include <cstdarg>
#include <iterator>
#include <new>

#include "StringFormat.h"
#include "d3d9types.h"

namespace rastro {

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kIdentitySwizzle = 0xE4;
constexpr UINT kMaxIfDepth = 24;
constexpr UINT kMaxLoopDepth = 4;

UINT RegisterNumber(DWORD token) { return token & D3DSP_REGNUM_MASK; }
DWORD WriteMask(DWORD token) { return (token >> 16) & 0xF; }
DWORD Swizzle(DWORD token) { return (token >> 16) & 0xFF; }
DWORD SourceModifier(DWORD token) { return (token >> 24) & 0xF; }
UINT SwizzleComponent(DWORD swizzle, UINT slot) { return (swizzle >> (2 * slot)) & 3; }
bool IsReplicate(DWORD swizzle) { return swizzle == 0x00 || swizzle == 0x55 || swizzle == 0xAA || swizzle == 0xFF; }
bool IsConstant(DWORD type) {
  return type == D3DSPR_CONST || type == D3DSPR_CONST2 || type == D3DSPR_CONST3 || type == D3DSPR_CONST4;
}

void MaskText(DWORD mask, char* out) {
  static const char kLetters[] = "xyzw";
  int n = 0;
  for (int i = 0; i < 4; ++i) {
    if (mask & (1u << i)) out[n++] = kLetters[i];
  }
  out[n] = 0;
}

void SwizzleText(DWORD swizzle, char* out) {
  static const char kLetters[] = "xyzw";
  for (UINT i = 0; i < 4; ++i) out[i] = kLetters[SwizzleComponent(swizzle, i)];
  out[4] = 0;
}

bool IsTexld(DWORD opcode) { return opcode == D3DSIO_TEX || opcode == D3DSIO_TEXLDD || opcode == D3DSIO_TEXLDL; }

}  // namespace

ShaderValidator::ShaderValidator() { Reset(); }

HRESULT ShaderValidator::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown) {
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ShaderValidator::AddRef() { return ++references_; }

ULONG ShaderValidator::Release() {
  ULONG left = --references_;
  if (!left) delete this;
  return left;
}

void ShaderValidator::Reset() {
  version_ = -1;
  versionSeen_ = ended_ = failed_ = false;
  sawInstruction_ = sawArithmeticInPhase_ = sawPhase_ = previousPairable_ = inSubroutine_ = false;
  previousMask_ = 0;
  std::fill(std::begin(tempWritten_), std::end(tempWritten_), 0);
  std::fill(std::begin(textureWritten_), std::end(textureWritten_), 0);
  std::fill(std::begin(textureLoaded_), std::end(textureLoaded_), false);
  addressWritten_ = predicateWritten_ = 0;
  colorWritten_ = positionWritten_ = false;
  positionOutput_ = -1;
  std::fill(std::begin(outputDeclared_), std::end(outputDeclared_), false);
  std::fill(std::begin(inputDeclared_), std::end(inputDeclared_), false);
  std::fill(std::begin(textureDeclared_), std::end(textureDeclared_), false);
  std::fill(std::begin(samplerType_), std::end(samplerType_), 0);
  miscDeclared_[0] = miscDeclared_[1] = false;
  blocks_.clear();
  loopDepth_ = repeatDepth_ = ifDepth_ = 0;
  labelsDefined_.assign(2048, false);
  labelsCalled_.clear();
  arithmeticSlots_ = textureSlots_ = totalSlots_ = 0;
  padOpcode_ = 0;
  padCount_ = padRegister_ = 0;
  errorCount_ = 0;
}

void ShaderValidator::Report(ValidatorMessage message, const char* format, ...) {
  ++errorCount_;
  if (!report_) return;
  va_list arguments;
  va_start(arguments, format);
  std::string text = FormatStringV(format, arguments);
  va_end(arguments);
  report_(file_, line_, kShaderValidatorError, static_cast<DWORD>(message), text.c_str(), context_);
}

std::string ShaderValidator::Name(const Operand& operand) const {
  return RegisterName(operand.type, operand.number, version_);
}

const char* ShaderValidator::OpName(const Decoded& d) const { return d.rule ? d.rule->mnemonic : "?"; }

bool ShaderValidator::InLoop() const { return loopDepth_ > 0; }

void ShaderValidator::PushBlock(Block block) {
  blocks_.push_back(block);
  if (block == Block::Loop) ++loopDepth_;
  if (block == Block::Loop || block == Block::Rep) ++repeatDepth_;
  if (block == Block::If) ++ifDepth_;
}

void ShaderValidator::PopBlock() {
  Block block = blocks_.back();
  blocks_.pop_back();
  if (block == Block::Loop) --loopDepth_;
  if (block == Block::Loop || block == Block::Rep) --repeatDepth_;
  if (block == Block::If || block == Block::IfElse) --ifDepth_;
}

HRESULT ShaderValidator::Begin(ShaderValidatorReport report, void* context, DWORD) {
  report_ = report;
  context_ = context;
  file_ = nullptr;
  line_ = 0;
  Reset();
  begun_ = true;
  return S_OK;
}

HRESULT ShaderValidator::Instruction(const char* sourceFile, UINT line, const DWORD* tokens, UINT tokenCount) {
  if (!begun_) return D3DERR_INVALIDCALL;
  if (!tokens && tokenCount) return D3DERR_INVALIDCALL;
  if (failed_) return E_FAIL;
  file_ = sourceFile;
  line_ = line;
  UINT at = 0;
  while (at < tokenCount) {
    if (!versionSeen_) {
      versionSeen_ = true;
      version_ = ShaderVersionIndexOf(tokens[at]);
      if (version_ < 0 || !DecodeShaderVersion(tokens[at], decoderVersion_)) {
        REPORT_VALIDATOR_MESSAGE(*this, BadVersion, static_cast<unsigned>(tokens[at]));
        failed_ = true;
        return E_FAIL;
      }
      ++at;
      continue;
    }
    if (ended_) {
      REPORT_VALIDATOR_MESSAGE(*this, AfterEnd);
      failed_ = true;
      return E_FAIL;
    }
    if (!ReadInstruction(tokens, tokenCount, at)) {
      failed_ = true;
      return E_FAIL;
    }
  }
  return S_OK;
}

bool ShaderValidator::ReadInstruction(const DWORD* tokens, UINT count, UINT& at) {
  if (tokens[at] == kEndToken) {
    ended_ = true;
    ++at;
    return true;
  }
  ShaderInstruction instruction;
  std::string why;
  size_t taken = DecodeShaderInstruction(decoderVersion_, tokens + at, count - at, instruction, &why);
  if (!taken) {
    REPORT_VALIDATOR_MESSAGE(*this, Malformed, why.c_str());
    return false;
  }
  DWORD token = tokens[at];
  at += static_cast<UINT>(taken);
  if (instruction.opcode == D3DSIO_COMMENT) return true;
  Decoded d;
  d.token = token;
  d.key = InstructionKey(token);
  d.rule = FindInstruction(d.key, version_);
  if (!d.rule) {
    REPORT_VALIDATOR_MESSAGE(*this, NotInVersion, instruction.info->mnemonic, ShaderVersionText(version_));
    return true;
  }
  d.form = d.rule->forms[version_];
  if (!TakeOperands(instruction, d)) {
    REPORT_VALIDATOR_MESSAGE(*this, Malformed, "the operands do not fit the instruction");
    return false;
  }
  Check(d);
  return true;
}

bool ShaderValidator::TakeOperands(const ShaderInstruction& instruction, Decoded& d) {
  auto take = [](Operand& operand, DWORD token, D3DSHADER_PARAM_REGISTER_TYPE type, UINT number, bool relative,
                 const ShaderRelativeAddress& address) {
    operand.token = token;
    operand.type = type;
    operand.number = number;
    operand.relative = relative;
    operand.address = address;
  };
  int sources;
  switch (d.form) {
    case 'D':
    case 'I':
    case 'B': sources = 0; break;
    case 'S': sources = 1; break;
    case 'T': sources = 2; break;
    default: sources = d.form > '0' ? d.form - '1' : 0; break;
  }
  bool destination = d.form != 'S' && d.form != 'T' && d.form != '0';
  if (instruction.hasDestination != destination || static_cast<int>(instruction.sourceCount) != sources) return false;
  d.hasDeclaration = instruction.opcode == D3DSIO_DCL;
  d.declaration = instruction.declaration;
  d.hasDestination = destination;
  const ShaderDestination& dst = instruction.destination;
  if (destination) take(d.destination, dst.token, dst.type, dst.number, dst.relative, dst.address);
  d.hasPredicate = instruction.predicated;
  const ShaderSource& p = instruction.predicate;
  if (d.hasPredicate) take(d.predicate, p.token, p.type, p.number, p.relative, p.address);
  d.sourceCount = sources;
  for (int i = 0; i < sources; ++i) {
    const ShaderSource& s = instruction.sources[i];
    take(d.sources[i], s.token, s.type, s.number, s.relative, s.address);
  }
  return true;
}

void ShaderValidator::Check(const Decoded& d) {
  CheckOrdering(d);
  CheckCoissueAndPredicate(d);
  if (d.rule->opcode == D3DSIO_DCL) {
    CheckDeclaration(d);
    return;
  }
  if (d.form == 'D' || d.form == 'I' || d.form == 'B') {
    CheckDefinition(d);
    return;
  }
  if (d.rule->kind == InstructionKind::Phase) {
    if (sawPhase_) REPORT_VALIDATOR_MESSAGE(*this, Phase);
    CheckSlotLimits(" in phase 1");
    sawPhase_ = true;
    sawArithmeticInPhase_ = false;
    arithmeticSlots_ = textureSlots_ = 0;
    return;
  }
  CheckOperandTypes(d);
  CheckSources(d);
  CheckDestination(d);
  CheckTextureStage(d);
  CheckFlowControl(d);
  CountSlots(d);
  RecordWrite(d);
}

void ShaderValidator::CheckOrdering(const Decoded& d) {
  InstructionKind kind = d.rule->kind;
  if (kind == InstructionKind::Declaration) {
    if (sawInstruction_) REPORT_VALIDATOR_MESSAGE(*this, DeclarationOrder, OpName(d));
    return;
  }
  if (kind != InstructionKind::Phase) sawInstruction_ = true;
  if (!IsPs1x(version_)) return;
  if (kind == InstructionKind::Texture && sawArithmeticInPhase_) {
    REPORT_VALIDATOR_MESSAGE(*this, TextureAfterArithmetic, OpName(d), version_ == kPs14 ? " of the same phase" : "");
  }
  if (kind == InstructionKind::Arithmetic) sawArithmeticInPhase_ = true;
}

void ShaderValidator::CheckCoissueAndPredicate(const Decoded& d) {
  bool pairable = d.rule->Has(kCoissuable);
  DWORD mask = d.hasDestination ? WriteMask(d.destination.token) : 0;
  if (d.token & D3DSI_COISSUE) {
    bool allowed = HasCoissue(version_) && pairable && previousPairable_ && !(previousMask_ & mask);
    if (!allowed) REPORT_VALIDATOR_MESSAGE(*this, Coissue, OpName(d));
    previousPairable_ = false;  // a third instruction cannot join the pair
  } else {
    previousPairable_ = pairable && d.hasDestination;
    previousMask_ = mask;
  }
  if (!d.hasPredicate) return;
  if (!HasPredication(version_)) {
    REPORT_VALIDATOR_MESSAGE(*this, Predication, OpName(d), ShaderVersionText(version_));
    return;
  }
  const Operand& p = d.predicate;
  if (p.type != D3DSPR_PREDICATE || p.number != 0 || p.relative) {
    REPORT_VALIDATOR_MESSAGE(*this, PredicateRegister, OpName(d));
    return;
  }
  DWORD modifier = SourceModifier(p.token);
  if (modifier != 0 && modifier != (D3DSPSM_NOT >> 24)) {
    REPORT_VALIDATOR_MESSAGE(*this, SourceModifier, OpName(d), static_cast<unsigned>(modifier), "p0",
                             ShaderVersionText(version_));
  }
  CheckRead(d, p, 1u << SwizzleComponent(Swizzle(p.token), 0));
}

bool ShaderValidator::CheckRegisterExists(const Decoded& d, const Operand& operand) {
  UINT count = RegisterCount(operand.type, version_);
  if (!count) {
    REPORT_VALIDATOR_MESSAGE(*this, RegisterUnavailable, OpName(d), Name(operand).c_str(), ShaderVersionText(version_));
    return false;
  }
  if (operand.number >= count) {
    REPORT_VALIDATOR_MESSAGE(*this, IndexRange, OpName(d), Name(operand).c_str(), ShaderVersionText(version_), count);
    return false;
  }
  return true;
}

void ShaderValidator::CheckRelative(const Decoded& d, const Operand& operand) {
  if (!operand.relative) return;
  const RegisterRule* rule = FindRegisterRule(operand.type, version_);
  if (!rule || !(rule->relativeVersions & (1u << version_))) {
    REPORT_VALIDATOR_MESSAGE(*this, RelativeNotAllowed, OpName(d), Name(operand).c_str(), ShaderVersionText(version_));
    return;
  }
  if (version_ == kVs11) {
    // Always a0.x, with no address token.
    if (!(addressWritten_ & 1) && !inSubroutine_) {
      REPORT_VALIDATOR_MESSAGE(*this, ReadBeforeWrite, OpName(d), "a0", "x");
    }
    return;
  }
  const ShaderRelativeAddress& address = operand.address;
  bool pixel = IsPixelVersion(version_);
  bool addressRegister = !pixel && address.type == D3DSPR_ADDR && address.number == 0;
  bool loopCounter = address.type == D3DSPR_LOOP && address.number == 0 && RegisterCount(D3DSPR_LOOP, version_);
  if (!addressRegister && !loopCounter) {
    REPORT_VALIDATOR_MESSAGE(*this, RelativeRegister, OpName(d));
    return;
  }
  if (loopCounter) {
    if (!InLoop() && !inSubroutine_) REPORT_VALIDATOR_MESSAGE(*this, LoopCounterOutsideLoop, OpName(d));
    return;
  }
  UINT component = address.component;
  if (!(addressWritten_ & (1u << component)) && !inSubroutine_) {
    char letters[5];
    MaskText(1u << component, letters);
    REPORT_VALIDATOR_MESSAGE(*this, ReadBeforeWrite, OpName(d), "a0", letters);
  }
}

UINT ShaderValidator::ComponentsRead(const Decoded& d, int sourceIndex) const {
  DWORD opcode = d.rule->opcode & 0xFFFF;
  DWORD swizzle = Swizzle(d.sources[sourceIndex].token);
  DWORD destinationMask = d.hasDestination ? WriteMask(d.destination.token) : 1;
  UINT slots = destinationMask;
  switch (opcode) {
    case D3DSIO_DP3:
    case D3DSIO_CRS:
    case D3DSIO_NRM: slots = 0x7; break;
    case D3DSIO_DP4: slots = 0xF; break;
    case D3DSIO_DP2ADD: slots = sourceIndex < 2 ? 0x3 : 0x1; break;
    case D3DSIO_LIT: slots = 0xB; break;
    case D3DSIO_DST: slots = sourceIndex == 0 ? 0x6 : 0xA; break;
    case D3DSIO_IFC:
    case D3DSIO_BREAKC:
    case D3DSIO_IF:
    case D3DSIO_CALLNZ: slots = 0x1; break;
    case D3DSIO_SINCOS: slots = sourceIndex == 0 ? 0x8 : 0xF; break;
    default:
      if (d.rule->matrixComponents) {
        slots = (1u << d.rule->matrixComponents) - 1;
      } else if (d.rule->Has(kScalarSource)) {
        slots = 0x8;
      } else if (IsTexld(opcode) && !IsPs1x(version_)) {
        // Coordinates and gradients: as many as the sampler's texture type needs.
        DWORD samplerToken = d.sourceCount > 1 ? d.sources[1].token : 0;
        UINT sampler = RegisterNumber(samplerToken);
        DWORD textureType = sampler < 16 ? samplerType_[sampler] : 0;
        slots = textureType == D3DSTT_2D ? 0x3 : 0x7;
        bool usesW = (d.key & 0x30000u) || opcode == D3DSIO_TEXLDL;
        if (sourceIndex == 0 && usesW) slots |= 0x8;
      } else if (IsPs1x(version_) && d.rule->kind == InstructionKind::Texture) {
        slots = 0x7;
      }
      break;
  }
  UINT components = 0;
  for (UINT slot = 0; slot < 4; ++slot) {
    if (slots & (1u << slot)) components |= 1u << SwizzleComponent(swizzle, slot);
  }
  return components;
}

void ShaderValidator::CheckRead(const Decoded& d, const Operand& operand, UINT components) {
  char letters[5];
  switch (operand.type) {
    case D3DSPR_TEMP: {
      if (inSubroutine_ || operand.relative) return;
      UINT rows = 1;
      if (&operand == &d.sources[1] && d.rule->matrixRows) rows = d.rule->matrixRows;
      for (UINT row = 0; row < rows; ++row) {
        UINT number = operand.number + row;
        if (number >= 32) return;
        UINT missing = components & ~tempWritten_[number];
        if (missing) {
          Operand shown = operand;
          shown.number = number;
          MaskText(missing, letters);
          REPORT_VALIDATOR_MESSAGE(*this, ReadBeforeWrite, OpName(d), Name(shown).c_str(), letters);
        }
      }
      return;
    }
    case D3DSPR_TEXTURE:  // ADDR in vertex shaders is never an ordinary source
      if (!IsPixelVersion(version_) || operand.number >= 8) return;
      if (version_ <= kPs13) {
        if (!textureWritten_[operand.number]) {
          MaskText(components, letters);
          REPORT_VALIDATOR_MESSAGE(*this, ReadBeforeWrite, OpName(d), Name(operand).c_str(), letters);
        }
      } else if (version_ != kPs14 && !textureDeclared_[operand.number]) {
        REPORT_VALIDATOR_MESSAGE(*this, NotDeclared, OpName(d), Name(operand).c_str());
      }
      return;
    case D3DSPR_INPUT:
      if (IsPs1x(version_) || operand.relative || operand.number >= 16) return;
      if (!inputDeclared_[operand.number])
        REPORT_VALIDATOR_MESSAGE(*this, NotDeclared, OpName(d), Name(operand).c_str());
      return;
    case D3DSPR_SAMPLER:
      if (operand.number < 16 && !samplerType_[operand.number]) {
        REPORT_VALIDATOR_MESSAGE(*this, NotDeclared, OpName(d), Name(operand).c_str());
      }
      return;
    case D3DSPR_MISCTYPE:
      if (operand.number < 2 && !miscDeclared_[operand.number]) {
        REPORT_VALIDATOR_MESSAGE(*this, NotDeclared, OpName(d), Name(operand).c_str());
      }
      return;
    case D3DSPR_PREDICATE:
      if (!inSubroutine_ && (components & ~predicateWritten_)) {
        MaskText(components & ~predicateWritten_, letters);
        REPORT_VALIDATOR_MESSAGE(*this, ReadBeforeWrite, OpName(d), "p0", letters);
      }
      return;
    case D3DSPR_LOOP:
      if (d.rule->opcode != D3DSIO_LOOP && !InLoop() && !inSubroutine_) {
        REPORT_VALIDATOR_MESSAGE(*this, LoopCounterOutsideLoop, OpName(d));
      }
      return;
    default: return;
  }
}

// Which register types an instruction's operands must have, where the instruction names them.
void ShaderValidator::CheckOperandTypes(const Decoded& d) {
  DWORD opcode = d.rule->opcode & 0xFFFF;
  auto require = [&](int operandIndex, const Operand& operand, std::initializer_list<DWORD> types,
                     const char* expected) {
    for (DWORD type : types) {
      if (operand.type == type) return;
    }
    REPORT_VALIDATOR_MESSAGE(*this, OperandType, OpName(d), static_cast<unsigned>(operandIndex), Name(operand).c_str(),
                             expected);
  };
  int firstSource = d.hasDestination ? 1 : 0;
  switch (opcode) {
    case D3DSIO_IF: require(0, d.sources[0], {D3DSPR_CONSTBOOL, D3DSPR_PREDICATE}, "a b or p register"); break;
    case D3DSIO_LOOP:
      require(0, d.sources[0], {D3DSPR_LOOP}, "aL");
      require(1, d.sources[1], {D3DSPR_CONSTINT}, "an i register");
      break;
    case D3DSIO_REP: require(0, d.sources[0], {D3DSPR_CONSTINT}, "an i register"); break;
    case D3DSIO_CALL:
    case D3DSIO_LABEL: require(0, d.sources[0], {D3DSPR_LABEL}, "an l register"); break;
    case D3DSIO_CALLNZ:
      require(0, d.sources[0], {D3DSPR_LABEL}, "an l register");
      require(1, d.sources[1], {D3DSPR_CONSTBOOL, D3DSPR_PREDICATE}, "a b or p register");
      break;
    case D3DSIO_BREAKP: require(0, d.sources[0], {D3DSPR_PREDICATE}, "p0"); break;
    case D3DSIO_SETP: require(0, d.destination, {D3DSPR_PREDICATE}, "p0"); break;
    case D3DSIO_MOVA: require(0, d.destination, {D3DSPR_ADDR}, "a0"); break;
    case D3DSIO_TEXDEPTH:
      if (d.destination.type != D3DSPR_TEMP || d.destination.number != 5) {
        require(0, d.destination, {}, "r5");
      }
      break;
    default: break;
  }
  if (IsTexld(opcode) && !IsPs1x(version_)) {
    require(0, d.destination, {D3DSPR_TEMP}, "an r register");
    require(firstSource + 1, d.sources[1], {D3DSPR_SAMPLER}, "an s register");
  } else if (version_ == kPs14 && (opcode == D3DSIO_TEX || opcode == D3DSIO_TEXCOORD)) {
    require(0, d.destination, {D3DSPR_TEMP}, "an r register");
    require(1, d.sources[0], {D3DSPR_TEXTURE, D3DSPR_TEMP}, "a t or r register");
    if (d.sources[0].type == D3DSPR_TEMP && !sawPhase_) REPORT_VALIDATOR_MESSAGE(*this, PhaseOneSource, OpName(d));
  } else if (version_ <= kPs13 && version_ >= kPs11 && d.rule->kind == InstructionKind::Texture) {
    require(0, d.destination, {D3DSPR_TEXTURE}, "a t register");
    for (int i = 0; i < d.sourceCount; ++i) {
      // texm3x3spec takes its eye ray from a constant.
      if (opcode == D3DSIO_TEXM3x3SPEC && i == 1) {
        require(i + 1, d.sources[i], {D3DSPR_CONST}, "a c register");
      } else {
        require(i + 1, d.sources[i], {D3DSPR_TEXTURE}, "a t register");
      }
    }
  }
}

void ShaderValidator::CheckSources(const Decoded& d) {
  DWORD opcode = d.rule->opcode & 0xFFFF;
  bool texture = d.rule->kind == InstructionKind::Texture;
  bool flow = d.rule->kind == InstructionKind::FlowControl;
  int firstSource = d.hasDestination ? 1 : 0;
  // texkill names the register it tests where others name their destination.
  if (opcode == D3DSIO_TEXKILL) {
    if (CheckRegisterExists(d, d.destination)) {
      DWORD type = d.destination.type;
      bool allowed = type == D3DSPR_TEMP ||
                     (type == D3DSPR_TEXTURE && IsPixelVersion(version_) && version_ != kPs30 && version_ != kPs3sw);
      if (!allowed) REPORT_VALIDATOR_MESSAGE(*this, NotReadable, OpName(d), Name(d.destination).c_str());
      // In ps_1_1-1_3 it tests the stage's coordinates, which need no earlier write.
      Operand tested = d.destination;
      if (version_ > kPs13 || type != D3DSPR_TEXTURE)
        CheckRead(d, tested, WriteMask(tested.token) & (IsPs1x(version_) ? 0x7 : 0xF));
    }
  }
  struct Port {
    DWORD group;
    UINT number;
  };
  Port ports[4];
  int portCount = 0;
  for (int i = 0; i < d.sourceCount; ++i) {
    const Operand& s = d.sources[i];
    if (!CheckRegisterExists(d, s)) continue;
    const RegisterRule* rule = FindRegisterRule(s.type, version_);
    bool special = s.type == D3DSPR_SAMPLER || s.type == D3DSPR_CONSTBOOL || s.type == D3DSPR_CONSTINT ||
                   s.type == D3DSPR_LABEL || s.type == D3DSPR_LOOP || s.type == D3DSPR_PREDICATE;
    bool readable = rule && (rule->use & kRegisterReadable);
    if (s.type == D3DSPR_TEXTURE && version_ == kPs14 && !texture) readable = false;
    if (special)
      readable = flow || (s.type == D3DSPR_SAMPLER && IsTexld(opcode)) ||
                 (s.type == D3DSPR_PREDICATE && opcode == D3DSIO_BREAKP);
    if (!readable) {
      REPORT_VALIDATOR_MESSAGE(*this, NotReadable, OpName(d), Name(s).c_str());
      continue;
    }
    CheckRelative(d, s);
    // Source modifiers.
    DWORD modifier = SourceModifier(s.token);
    bool modifierAllowed;
    switch (modifier) {
      case 0: modifierAllowed = true; break;
      case 1: modifierAllowed = !special; break;
      // _bx2 also expands the normal a texm3x2*/texm3x3*/texdp3* reads in ps_1_1-1_3.
      case 4: modifierAllowed = IsPs1x(version_) && (!texture || version_ <= kPs13); break;
      case 2:
      case 3:
      case 5:
      case 6: modifierAllowed = IsPs1x(version_) && !texture; break;
      case 7:
      case 8: modifierAllowed = version_ == kPs14 && !texture; break;
      case 9:
      case 10: modifierAllowed = version_ == kPs14 && (opcode == D3DSIO_TEX || opcode == D3DSIO_TEXCOORD); break;
      case 11:
      case 12: modifierAllowed = IsVersion3(version_) && !special; break;
      case 13: modifierAllowed = s.type == D3DSPR_CONSTBOOL || s.type == D3DSPR_PREDICATE; break;
      default: modifierAllowed = false; break;
    }
    if (!modifierAllowed) {
      REPORT_VALIDATOR_MESSAGE(*this, SourceModifier, OpName(d), static_cast<unsigned>(modifier), Name(s).c_str(),
                               ShaderVersionText(version_));
    }
    // Swizzles.
    DWORD swizzle = Swizzle(s.token);
    bool swizzleAllowed = true;
    if (s.type == D3DSPR_SAMPLER) {
      swizzleAllowed = swizzle == kIdentitySwizzle;
    } else if (version_ >= kPs11 && version_ <= kPs13) {
      swizzleAllowed = swizzle == kIdentitySwizzle || (!texture && (swizzle == 0xAA || swizzle == 0xFF));
    } else if (version_ == kPs14) {
      swizzleAllowed = texture ? swizzle == kIdentitySwizzle || swizzle == 0xA4 || swizzle == 0xF4
                               : swizzle == kIdentitySwizzle || IsReplicate(swizzle);
    } else if (version_ == kPs20) {
      swizzleAllowed =
          swizzle == kIdentitySwizzle || IsReplicate(swizzle) || swizzle == 0xC9 || swizzle == 0xD2 || swizzle == 0x1B;
    }
    if (!swizzleAllowed) {
      char letters[5];
      SwizzleText(swizzle, letters);
      REPORT_VALIDATOR_MESSAGE(*this, Swizzle, OpName(d), letters, Name(s).c_str(), ShaderVersionText(version_));
    } else if (d.rule->Has(kScalarSource) && version_ != kVs11 && !IsPs1x(version_) && !IsReplicate(swizzle)) {
      REPORT_VALIDATOR_MESSAGE(*this, ReplicateSwizzle, OpName(d), static_cast<unsigned>(i + firstSource));
    }
    CheckRead(d, s, ComponentsRead(d, i));
    // Read ports: distinct registers per type.
    if (!special && !texture) {
      DWORD group = IsConstant(s.type) ? D3DSPR_CONST : s.type;
      UINT number =
          s.number + (IsConstant(s.type) ? (s.type == D3DSPR_CONST ? 0 : (s.type - D3DSPR_CONST2 + 1) * 2048) : 0);
      bool seen = false;
      for (int p = 0; p < portCount; ++p) seen |= ports[p].group == group && ports[p].number == number && !s.relative;
      if (!seen) ports[portCount++] = {group, number};
    }
  }
  for (int p = 0; p < portCount; ++p) {
    bool first = true;
    UINT used = 0;
    for (int q = 0; q < portCount; ++q) {
      if (ports[q].group != ports[p].group) continue;
      if (q < p) first = false;
      ++used;
    }
    if (!first) continue;
    UINT limit = ReadPortLimit(ports[p].group, version_);
    if (limit && used > limit) {
      std::string name = RegisterName(ports[p].group, 0, version_);
      name = name.substr(0, name.find_first_of("0123456789"));
      REPORT_VALIDATOR_MESSAGE(*this, ReadPorts, OpName(d), used, name.c_str(), ShaderVersionText(version_), limit);
    }
  }
}

void ShaderValidator::CheckDestination(const Decoded& d) {
  if (!d.hasDestination) return;
  DWORD opcode = d.rule->opcode & 0xFFFF;
  if (opcode == D3DSIO_TEXKILL) return;  // read, checked with the sources
  const Operand& dst = d.destination;
  if (!CheckRegisterExists(d, dst)) return;
  const RegisterRule* rule = FindRegisterRule(dst.type, version_);
  bool writable = rule && (rule->use & kRegisterWritable);
  if (dst.type == D3DSPR_TEXTURE && IsPixelVersion(version_) && version_ > kPs13) writable = false;
  if (dst.type == D3DSPR_ADDR && !IsPixelVersion(version_)) {
    writable = opcode == D3DSIO_MOVA || (opcode == D3DSIO_MOV && version_ == kVs11);
  }
  if (dst.type == D3DSPR_PREDICATE) writable = opcode == D3DSIO_SETP;
  if (!writable) {
    REPORT_VALIDATOR_MESSAGE(*this, NotWritable, OpName(d), Name(dst).c_str());
    return;
  }
  if (dst.relative) {
    const RegisterRule* relativeRule = FindRegisterRule(dst.type, version_);
    bool allowed = (version_ == kVs30 || version_ == kVs3sw) && relativeRule &&
                   (relativeRule->relativeVersions & (1u << version_));
    if (!allowed) {
      REPORT_VALIDATOR_MESSAGE(*this, RelativeNotAllowed, OpName(d), Name(dst).c_str(), ShaderVersionText(version_));
    } else {
      CheckRelative(d, dst);
    }
  }
  if (SourceModifier(dst.token) && !IsPs1x(version_)) {
    // Bits 24-27 of a destination are its shift, which only ps_1_x has.
    REPORT_VALIDATOR_MESSAGE(*this, ResultModifier, OpName(d), "shift", ShaderVersionText(version_));
  } else if (IsPs1x(version_)) {
    DWORD shift = SourceModifier(dst.token);
    bool shiftAllowed =
        shift == 0 || shift == 1 || shift == 2 || shift == 3 || shift == 13 || shift == 14 || shift == 15;
    if (!shiftAllowed) REPORT_VALIDATOR_MESSAGE(*this, ResultModifier, OpName(d), "shift", ShaderVersionText(version_));
  }
  DWORD modifiers = (dst.token & D3DSP_DSTMOD_MASK) >> D3DSP_DSTMOD_SHIFT;
  bool pixel = IsPixelVersion(version_);
  if ((modifiers & 1) && !(pixel || version_ == kVs30 || version_ == kVs3sw)) {
    REPORT_VALIDATOR_MESSAGE(*this, ResultModifier, OpName(d), "_sat", ShaderVersionText(version_));
  }
  if ((modifiers & 2) && !(d.rule->Has(kPartialPrecision) && HasPartialPrecision(version_))) {
    REPORT_VALIDATOR_MESSAGE(*this, ResultModifier, OpName(d), "_pp", ShaderVersionText(version_));
  }
  if ((modifiers & 4) && !(pixel && version_ >= kPs20)) {
    REPORT_VALIDATOR_MESSAGE(*this, ResultModifier, OpName(d), "_centroid", ShaderVersionText(version_));
  }
  if (modifiers & 8) REPORT_VALIDATOR_MESSAGE(*this, ResultModifier, OpName(d), "8", ShaderVersionText(version_));
  DWORD mask = WriteMask(dst.token);
  bool maskAllowed = mask != 0;
  if (version_ >= kPs11 && version_ <= kPs13) {
    maskAllowed = d.rule->kind == InstructionKind::Texture ? mask == 0xF : mask == 0xF || mask == 0x7 || mask == 0x8;
  } else if (version_ == kPs20 && IsTexld(opcode)) {
    maskAllowed = mask == 0xF;
  }
  if (!maskAllowed) {
    char letters[5];
    MaskText(mask, letters);
    REPORT_VALIDATOR_MESSAGE(*this, WriteMask, OpName(d), letters, ShaderVersionText(version_));
  }
}

void ShaderValidator::CheckDeclaration(const Decoded& d) {
  const Operand& dst = d.destination;
  bool pixel = IsPixelVersion(version_);
  bool allowed;
  switch (dst.type) {
    case D3DSPR_INPUT: allowed = true; break;
    case D3DSPR_OUTPUT: allowed = version_ == kVs30 || version_ == kVs3sw; break;  // TEXCRDOUT in older vs
    case D3DSPR_SAMPLER: allowed = pixel || version_ == kVs30 || version_ == kVs3sw; break;
    case D3DSPR_TEXTURE: allowed = pixel && version_ >= kPs20 && version_ <= kPs2sw; break;
    case D3DSPR_MISCTYPE: allowed = version_ == kPs30 || version_ == kPs3sw; break;
    default: allowed = false; break;
  }
  if (!allowed) {
    REPORT_VALIDATOR_MESSAGE(*this, DeclarationTarget, Name(dst).c_str(), ShaderVersionText(version_));
    return;
  }
  if (!CheckRegisterExists(d, dst)) return;
  DWORD usage = d.declaration & D3DSP_DCL_USAGE_MASK;
  DWORD usageIndex = (d.declaration & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT;
  DWORD usageWord = usage | (usageIndex << 4);
  bool* declared = nullptr;
  switch (dst.type) {
    case D3DSPR_INPUT: declared = dst.number < 16 ? &inputDeclared_[dst.number] : nullptr; break;
    case D3DSPR_OUTPUT: declared = dst.number < 16 ? &outputDeclared_[dst.number] : nullptr; break;
    case D3DSPR_TEXTURE: declared = dst.number < 8 ? &textureDeclared_[dst.number] : nullptr; break;
    case D3DSPR_MISCTYPE: declared = dst.number < 2 ? &miscDeclared_[dst.number] : nullptr; break;
    default: break;
  }
  if (dst.type == D3DSPR_SAMPLER) {
    if (dst.number >= 16) return;
    if (samplerType_[dst.number]) {
      REPORT_VALIDATOR_MESSAGE(*this, DeclaredTwice, Name(dst).c_str());
      return;
    }
    DWORD textureType = d.declaration & D3DSP_TEXTURETYPE_MASK;
    if (textureType != D3DSTT_2D && textureType != D3DSTT_CUBE && textureType != D3DSTT_VOLUME) {
      REPORT_VALIDATOR_MESSAGE(*this, SamplerType, Name(dst).c_str());
      textureType = D3DSTT_2D;  // the sampler counts as declared for what follows
    }
    samplerType_[dst.number] = textureType;
    return;
  }
  if (!declared) return;
  if (*declared) {
    REPORT_VALIDATOR_MESSAGE(*this, DeclaredTwice, Name(dst).c_str());
    return;
  }
  *declared = true;
  // Inputs of vertex and ps_3_0 shaders and vs_3_0 outputs carry a usage that must be unique.
  bool usages = dst.type == D3DSPR_OUTPUT || (dst.type == D3DSPR_INPUT && (!pixel || version_ >= kPs30));
  if (!usages) return;
  bool* table = dst.type == D3DSPR_OUTPUT ? outputDeclared_ : inputDeclared_;
  DWORD* words = dst.type == D3DSPR_OUTPUT ? outputUsage_ : inputUsage_;
  for (UINT i = 0; i < 16; ++i) {
    if (i != dst.number && table[i] && words[i] == usageWord) {
      REPORT_VALIDATOR_MESSAGE(*this, UsageTwice, Name(dst).c_str(), static_cast<unsigned>(usage),
                               static_cast<unsigned>(usageIndex));
      break;
    }
  }
  words[dst.number] = usageWord;
  if (dst.type == D3DSPR_OUTPUT && usage == D3DDECLUSAGE_POSITION && usageIndex == 0) {
    positionOutput_ = static_cast<int>(dst.number);
  }
}

void ShaderValidator::CheckDefinition(const Decoded& d) {
  DWORD expected = d.form == 'D' ? D3DSPR_CONST : d.form == 'I' ? D3DSPR_CONSTINT : D3DSPR_CONSTBOOL;
  const Operand& dst = d.destination;
  bool matches = d.form == 'D' ? IsConstant(dst.type) : dst.type == expected;
  if (!matches) {
    REPORT_VALIDATOR_MESSAGE(*this, OperandType, OpName(d), 0u, Name(dst).c_str(),
                             d.form == 'D'   ? "a c register"
                             : d.form == 'I' ? "an i register"
                                             : "a b register");
    return;
  }
  CheckRegisterExists(d, dst);
}

void ShaderValidator::CheckTextureStage(const Decoded& d) {
  if (version_ < kPs11 || version_ > kPs13 || d.rule->kind != InstructionKind::Texture) return;
  DWORD opcode = d.rule->opcode;
  UINT number = d.destination.number;
  bool wantsPad2 = opcode == D3DSIO_TEXM3x2TEX || opcode == D3DSIO_TEXM3x2DEPTH;
  bool wantsPad3 = opcode == D3DSIO_TEXM3x3TEX || opcode == D3DSIO_TEXM3x3SPEC || opcode == D3DSIO_TEXM3x3VSPEC ||
                   opcode == D3DSIO_TEXM3x3;
  bool continues = padCount_ && number == padRegister_ + 1 &&
                   ((padOpcode_ == D3DSIO_TEXM3x2PAD && padCount_ == 1 && wantsPad2) ||
                    (padOpcode_ == D3DSIO_TEXM3x3PAD && padCount_ == 1 && opcode == D3DSIO_TEXM3x3PAD) ||
                    (padOpcode_ == D3DSIO_TEXM3x3PAD && padCount_ == 2 && wantsPad3));
  if (padCount_ && !continues) {
    const char* wanted = padOpcode_ == D3DSIO_TEXM3x2PAD ? "texm3x2tex or texm3x2depth"
                         : padCount_ == 1                ? "a second texm3x3pad"
                                                         : "texm3x3tex, texm3x3spec, texm3x3vspec or texm3x3";
    REPORT_VALIDATOR_MESSAGE(*this, MatrixSequence, wanted,
                             padOpcode_ == D3DSIO_TEXM3x2PAD ? "texm3x2pad" : "texm3x3pad");
    padCount_ = 0;
  } else if (!padCount_ && (wantsPad2 || wantsPad3)) {
    REPORT_VALIDATOR_MESSAGE(*this, MatrixSequence, OpName(d), wantsPad2 ? "texm3x2pad" : "two texm3x3pad");
  }
  if (opcode == D3DSIO_TEXM3x2PAD || opcode == D3DSIO_TEXM3x3PAD) {
    if (continues) {
      ++padCount_;
    } else {
      padOpcode_ = opcode;
      padCount_ = 1;
    }
    padRegister_ = number;
  } else {
    padCount_ = 0;
  }
  if (d.destination.type == D3DSPR_TEXTURE && number < 8 && opcode != D3DSIO_TEXKILL) {
    if (textureLoaded_[number]) REPORT_VALIDATOR_MESSAGE(*this, TextureWrittenTwice, OpName(d), number);
    textureLoaded_[number] = true;
  }
}

void ShaderValidator::CheckFlowControl(const Decoded& d) {
  if (d.rule->kind != InstructionKind::FlowControl) return;
  DWORD opcode = d.rule->opcode;
  switch (opcode) {
    case D3DSIO_IF:
    case D3DSIO_IFC:
      PushBlock(Block::If);
      if (ifDepth_ > kMaxIfDepth) REPORT_VALIDATOR_MESSAGE(*this, NestingDepth, "if", kMaxIfDepth);
      break;
    case D3DSIO_ELSE:
      if (blocks_.empty() || blocks_.back() != Block::If) {
        REPORT_VALIDATOR_MESSAGE(*this, Unbalanced, "else", "if");
      } else {
        blocks_.back() = Block::IfElse;
      }
      break;
    case D3DSIO_ENDIF:
      if (blocks_.empty() || (blocks_.back() != Block::If && blocks_.back() != Block::IfElse)) {
        REPORT_VALIDATOR_MESSAGE(*this, Unbalanced, "endif", "if");
      } else {
        PopBlock();
      }
      break;
    case D3DSIO_LOOP:
    case D3DSIO_REP:
      PushBlock(opcode == D3DSIO_LOOP ? Block::Loop : Block::Rep);
      if (repeatDepth_ > kMaxLoopDepth) REPORT_VALIDATOR_MESSAGE(*this, NestingDepth, OpName(d), kMaxLoopDepth);
      break;
    case D3DSIO_ENDLOOP:
    case D3DSIO_ENDREP: {
      Block wanted = opcode == D3DSIO_ENDLOOP ? Block::Loop : Block::Rep;
      if (blocks_.empty() || blocks_.back() != wanted) {
        REPORT_VALIDATOR_MESSAGE(*this, Unbalanced, OpName(d), opcode == D3DSIO_ENDLOOP ? "loop" : "rep");
      } else {
        PopBlock();
      }
      break;
    }
    case D3DSIO_BREAK:
    case D3DSIO_BREAKC:
    case D3DSIO_BREAKP:
      if (repeatDepth_ == 0) REPORT_VALIDATOR_MESSAGE(*this, Unbalanced, "break", "loop or rep");
      break;
    case D3DSIO_LABEL: {
      UINT label = d.sources[0].number;
      if (label < labelsDefined_.size()) {
        if (labelsDefined_[label]) REPORT_VALIDATOR_MESSAGE(*this, LabelTwice, label);
        labelsDefined_[label] = true;
      }
      inSubroutine_ = true;
      break;
    }
    case D3DSIO_CALL:
    case D3DSIO_CALLNZ: labelsCalled_.push_back(d.sources[0].number); break;
    default: break;
  }
}

void ShaderValidator::CountSlots(const Decoded& d) {
  if (d.token & D3DSI_COISSUE) return;  // shares its partner's slot
  UINT slots = InstructionSlots(*d.rule, version_);
  if (d.rule->kind == InstructionKind::Texture) {
    textureSlots_ += slots;
  } else {
    arithmeticSlots_ += slots;
  }
  totalSlots_ += slots;
}

void ShaderValidator::RecordWrite(const Decoded& d) {
  if (!d.hasDestination || d.rule->opcode == D3DSIO_TEXKILL) return;
  const Operand& dst = d.destination;
  DWORD mask = WriteMask(dst.token);
  switch (dst.type) {
    case D3DSPR_TEMP:
      if (dst.number < 32) tempWritten_[dst.number] |= mask;
      break;
    case D3DSPR_TEXTURE:
      if (!IsPixelVersion(version_)) {
        addressWritten_ |= mask;
      } else if (dst.number < 8) {
        textureWritten_[dst.number] |= mask;
      }
      break;
    case D3DSPR_PREDICATE: predicateWritten_ |= mask; break;
    case D3DSPR_RASTOUT:
      if (dst.number == D3DSRO_POSITION) positionWritten_ = true;
      break;
    case D3DSPR_COLOROUT:
      if (dst.number == 0) colorWritten_ = true;
      break;
    case D3DSPR_OUTPUT:
      if (version_ == kVs30 || version_ == kVs3sw) {
        if (dst.relative) break;
        if (dst.number < 16 && !outputDeclared_[dst.number]) {
          REPORT_VALIDATOR_MESSAGE(*this, NotDeclared, OpName(d), Name(dst).c_str());
        }
        if (static_cast<int>(dst.number) == positionOutput_) positionWritten_ = true;
      }
      break;
    default: break;
  }
}

void ShaderValidator::CheckSlotLimits(const char* phaseText) {
  SlotLimits limits = SlotLimitsOf(version_);
  const char* version = ShaderVersionText(version_);
  const char* suffix = version_ == kPs14 ? phaseText : "";
  if (limits.arithmetic && arithmeticSlots_ > limits.arithmetic) {
    REPORT_VALIDATOR_MESSAGE(*this, ArithmeticSlots, arithmeticSlots_, suffix, version, limits.arithmetic);
  }
  if (limits.texture && textureSlots_ > limits.texture) {
    REPORT_VALIDATOR_MESSAGE(*this, TextureSlots, textureSlots_, suffix, version, limits.texture);
  }
  if (limits.total && totalSlots_ > limits.total) {
    REPORT_VALIDATOR_MESSAGE(*this, TotalSlots, totalSlots_, version, limits.total);
  }
}

HRESULT ShaderValidator::End() {
  if (!begun_) return D3DERR_INVALIDCALL;
  begun_ = false;
  if (failed_) return S_OK;
  if (!versionSeen_) {
    REPORT_VALIDATOR_MESSAGE(*this, BadVersion, 0u);
    return S_OK;
  }
  if (!ended_) REPORT_VALIDATOR_MESSAGE(*this, NoEnd);
  CheckSlotLimits(sawPhase_ ? " in phase 2" : "");
  if (padCount_) {
    REPORT_VALIDATOR_MESSAGE(*this, MatrixSequence,
                             padOpcode_ == D3DSIO_TEXM3x2PAD ? "texm3x2tex or texm3x2depth"
                             : padCount_ == 1                ? "a second texm3x3pad"
                                                             : "texm3x3tex, texm3x3spec, texm3x3vspec or texm3x3",
                             padOpcode_ == D3DSIO_TEXM3x2PAD ? "texm3x2pad" : "texm3x3pad");
  }
  if (!blocks_.empty()) {
    static const char* const kBlockNames[] = {"if", "if", "loop", "rep"};
    REPORT_VALIDATOR_MESSAGE(*this, Unclosed, kBlockNames[static_cast<int>(blocks_.back())]);
  }
  for (UINT label : labelsCalled_) {
    if (label >= labelsDefined_.size() || !labelsDefined_[label]) {
      REPORT_VALIDATOR_MESSAGE(*this, LabelMissing, label);
      break;
    }
  }
  if (IsPs1x(version_)) {
    if (!tempWritten_[0]) REPORT_VALIDATOR_MESSAGE(*this, OutputNotWritten, "r0");
  } else if (IsPixelVersion(version_)) {
    if (!colorWritten_) REPORT_VALIDATOR_MESSAGE(*this, OutputNotWritten, "oC0");
  } else if (version_ == kVs30 || version_ == kVs3sw) {
    if (!positionWritten_) REPORT_VALIDATOR_MESSAGE(*this, OutputNotWritten, "an output declared as position0");
  } else if (!positionWritten_) {
    REPORT_VALIDATOR_MESSAGE(*this, OutputNotWritten, "oPos");
  }
  return S_OK;
}

UINT ValidateShaderTokens(const DWORD* tokens, UINT count, std::string* firstError) {
  struct Collector {
    UINT errors = 0;
    std::string* first;
  } collector{0, firstError};
  auto report = [](const char*, UINT, DWORD, DWORD code, const char* text, void* context) -> HRESULT {
    auto* c = static_cast<Collector*>(context);
    if (c->errors++ == 0 && c->first) *c->first = FormatString("V%u: %s", static_cast<unsigned>(code), text);
    return S_OK;
  };
  ShaderValidator validator;
  validator.Begin(report, &collector, 0);
  validator.Instruction(nullptr, 0, tokens, count);
  validator.End();
  return collector.errors;
}

}  // namespace rastro

extern "C" IDirect3DShaderValidator9* Direct3DShaderValidatorCreate9() {
  return new (std::nothrow) rastro::ShaderValidator();
}
