#include "ShaderAssembler.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "CommentBlock.h"
#include "InstructionSet.h"
#include "ModuleExports.h"
#include "ResultBuffer.h"
#include "ShaderVersion.h"
#include "StatementGrammar.h"

namespace rastro {

namespace {

constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kKnownFlags = D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION;
constexpr DWORD kDebugFourCC = 0x47554244;  // "DBUG"
constexpr DWORD kMaxCommentWords = 0x8000;
constexpr char kCreator[] = "D3DX9 Shader Assembler";

// Message kinds of the validator's report callback, in the low 16 bits.
bool IsWarningKind(DWORD kind) { return (kind & 0xFFFF) == 1 || (kind & 0xFFFF) == 5; }
bool IsErrorKind(DWORD kind) { return (kind & 0xFFFF) == 2 || (kind & 0xFFFF) == 6; }

}  // namespace

ShaderAssembler::ShaderAssembler(Preprocessor& preprocessor, Direct3DShaderValidatorCreate9Function createValidator)
    : diagnostics_(preprocessor.Diagnostics()), preprocessor_(preprocessor), createValidator_(createValidator) {}

HRESULT ShaderAssembler::Run(DWORD flags, ID3DXBuffer** shader) {
  if ((flags & ~kKnownFlags) != 0 || !shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  flags_ = flags;

  const char* fileName = nullptr;
  preprocessor_.CurrentPosition(&fileName, nullptr);
  if (!fileName) preprocessor_.TopLevelSource(&sourceText_, &sourceLength_);
  if (HRESULT hr = preprocessor_.PushMode(ShaderTokenizer::kAssemblyMode); FAILED(hr)) return hr;

  HRESULT hr = Parse();
  ResultBuffer* buffer = nullptr;
  if (SUCCEEDED(hr)) {
    hr = ResultBuffer::Create(static_cast<DWORD>(output_.size() * sizeof(DWORD)), &buffer);
    if (SUCCEEDED(hr)) std::memcpy(buffer->GetBufferPointer(), output_.data(), output_.size() * sizeof(DWORD));
  }
  validator_.Reset();
  // Reading the rest of the input records the messages of what the parse did not reach.
  preprocessor_.PopMode();
  *shader = buffer;
  return hr;
}

HRESULT ShaderAssembler::Parse() {
  if (HRESULT hr = ReadVersion(); FAILED(hr)) return hr;
  if (!(flags_ & D3DXSHADER_SKIPVALIDATION)) {
    if (HRESULT hr = OpenValidator(); FAILED(hr)) return hr;
  }
  versionPosition_ = current_;
  if (HRESULT hr = AppendToken(current_.value.integer); FAILED(hr)) return hr;
  if (HRESULT hr = ValidateNew(&versionPosition_); FAILED(hr)) return hr;
  if (failed_) return D3DXERR_INVALIDDATA;

  int parseResult = rastro_statement_parse(*this);
  if (outOfMemory_) return E_OUTOFMEMORY;
  if (parseResult != 0 || failed_) return D3DXERR_INVALIDDATA;

  if (sourceText_) {
    const char* position = nullptr;
    preprocessor_.TopLevelSource(&position, nullptr);
    if (position >= sourceText_ && position < sourceText_ + sourceLength_)
      sourceLength_ = static_cast<DWORD>(position - sourceText_);
  }
  if (flags_ & D3DXSHADER_DEBUG) {
    if (HRESULT hr = InsertDebugBlock(); FAILED(hr)) return hr;
  }
  endPosition_ = current_;
  if (HRESULT hr = AppendToken(kEndToken); FAILED(hr)) return hr;
  if (HRESULT hr = ValidateNew(&endPosition_); FAILED(hr)) return hr;
  if (validator_) {
    if (HRESULT hr = validator_->End(); FAILED(hr)) return hr;
  }
  if (diagnostics_.ErrorCount() != 0) return D3DXERR_INVALIDDATA;
  return S_OK;
}

HRESULT ShaderAssembler::ReadVersion() {
  do {
    if (FAILED(preprocessor_.ReadToken(current_))) {
      failed_ = stopped_ = true;
      break;
    }
  } while (current_.kind == TokenKind::EndOfLine);

  DWORD versionToken = 0;
  bool isVersion = current_.kind == TokenKind::Version;
  if (isVersion) {
    versionToken = current_.value.integer;
  } else if (current_.kind == TokenKind::Identifier) {
    ShaderVersionEntry entry{};
    if (SUCCEEDED(LookupShaderVersion(current_.value.text, kShaderVersionAssemblerName, &entry))) {
      isVersion = true;
      versionToken = entry.Version;
    }
  }
  if (!isVersion) {
    REPORT_DIAGNOSTIC(diagnostics_, &current_, VersionExpected);
    return D3DXERR_INVALIDDATA;
  }
  if (versionToken == 0xFFFE0100) {
    REPORT_DIAGNOSTIC(diagnostics_, &current_, VersionNoLongerSupported, "vs_1_0", "vs_1_1");
    versionToken = 0xFFFE0101;
  } else if (versionToken == 0xFFFF0100) {
    REPORT_DIAGNOSTIC(diagnostics_, &current_, VersionNoLongerSupported, "ps_1_0", "ps_1_1");
    versionToken = 0xFFFF0101;
  }
  version_ = VersionIndexOf(versionToken);
  if (version_ == kNoShaderVersion) {
    // Every name the version lookup accepts has an index; this guards the tables.
    REPORT_DIAGNOSTIC(diagnostics_, &current_, VersionExpected);
    return D3DXERR_INVALIDDATA;
  }
  current_.kind = TokenKind::Version;
  current_.value.integer = versionToken;
  return S_OK;
}

HRESULT ShaderAssembler::OpenValidator() {
  Direct3DShaderValidatorCreate9Function create = createValidator_;
  if (!create) {
    const RuntimeModule* module = FindLoadedModule("d3d9.dll");
    if (!module) module = LoadModule("d3d9.dll");
    if (module) create = module->Direct3DShaderValidatorCreate9;
  }
  if (!create) return S_OK;
  validator_ = ComPtr<IDirect3DShaderValidator9>::Adopt(create());
  if (!validator_) return S_OK;
  return validator_->Begin(&ShaderAssembler::ValidatorReport, this, 0);
}

HRESULT ShaderAssembler::ValidatorReport(const char*, UINT, DWORD kind, DWORD code, const char* text, void* context) {
  auto* self = static_cast<ShaderAssembler*>(context);
  if (!self) return S_OK;
  const char* message = text ? text : "";
  // Messages point at the statement being validated, whatever position the validator names.
  if (IsWarningKind(kind)) {
    self->diagnostics_.Report(self->validatorPosition_, DiagnosticMessage::ValidatorWarning, code,
                              diagnostic_format::ValidatorWarning, message);
  } else if (IsErrorKind(kind)) {
    self->diagnostics_.Report(self->validatorPosition_, DiagnosticMessage::ValidatorError, code,
                              diagnostic_format::ValidatorError, message);
    self->failed_ = true;
  }
  return S_OK;
}

HRESULT ShaderAssembler::ValidateNew(const Token* position) {
  validatorPosition_ = position;
  HRESULT hr = S_OK;
  if (validator_ && sent_ < output_.size()) {
    hr = validator_->Instruction(position ? position->fileName : nullptr, position ? position->line : 0,
                                 output_.data() + sent_, static_cast<UINT>(output_.size() - sent_));
  }
  sent_ = output_.size();
  return hr;
}

int ShaderAssembler::NextTerminal(StatementValue& value) {
  value.token = nullptr;
  for (;;) {
    if (FAILED(preprocessor_.ReadToken(current_))) {
      failed_ = stopped_ = true;
      return STATEMENT_YYEOF;
    }
    switch (current_.kind) {
      case TokenKind::EndOfLine: continue;
      case TokenKind::EndOfFile: return STATEMENT_YYEOF;
      case TokenKind::Operator:
        if (current_.value.op[1] == 0) return static_cast<unsigned char>(current_.value.op[0]);
        return STATEMENT_OTHER;
      case TokenKind::Integer:
      case TokenKind::IntegerLong:
      case TokenKind::IntegerUnsigned: value.token = CopyCurrent(); return STATEMENT_INTEGER;
      case TokenKind::Float:
      case TokenKind::FloatHalf:
      case TokenKind::FloatSingle:
      case TokenKind::FloatLong: value.token = CopyCurrent(); return STATEMENT_FLOAT;
      case TokenKind::Identifier: break;
      default: return STATEMENT_OTHER;
    }

    std::string_view text = current_.Name();
    mnemonicProblem_ = 0;
    if (text == "entrypoint") return STATEMENT_ENTRYPOINT;
    if (text == "true") return STATEMENT_TRUE;
    if (text == "false") return STATEMENT_FALSE;
    int terminal = DecodeOpcode(current_);
    if (terminal == STATEMENT_IDENTIFIER) {
      value.token = CopyCurrent();
      return terminal;
    }
    // A mnemonic starts a new instruction node, carrying what the decoder found.
    if (InstructionNode* node = MakeNode(instructionPool_)) {
      node->token = current_;
      node->opcode = pendingOpcode_;
      node->resultModifiers = pendingModifiers_;
      node->declaration = pendingDeclaration_;
      node->operandCount = pendingForm_;
      value.instruction = node;
    }
    return terminal;
  }
}

void ShaderAssembler::ReportSyntaxError() {
  failed_ = true;
  ShaderTokenizer::DescribeToken(diagnostics_, DiagnosticMessage::SyntaxError, current_);
  if (current_.kind != TokenKind::Identifier) return;
  if (mnemonicProblem_ == 2023) {
    REPORT_DIAGNOSTIC(diagnostics_, &current_, InstructionNotInVersion, current_.value.text);
  } else if (mnemonicProblem_ == 2024) {
    REPORT_DIAGNOSTIC(diagnostics_, &current_, InvalidInstructionModifiers, current_.value.text);
  }
}

void ShaderAssembler::ReportStackOverflow() {
  failed_ = true;
  REPORT_DIAGNOSTIC(diagnostics_, &current_, ParserStackOverflow);
}

const Token* ShaderAssembler::CopyCurrent() {
  Token* copy = MakeNode(tokenPool_);
  if (copy) *copy = current_;
  return copy;
}

void ShaderAssembler::ProductionFailed() {
  if (!failed_) REPORT_DIAGNOSTIC(diagnostics_, &current_, ProductionFailed);
  failed_ = stopped_ = true;
}

// Grammar actions.

void ShaderAssembler::EntryPoint(const Token* name) {
  if (stopped_ || !name) return;
  if (!entryPoint_) entryPoint_ = name->value.text;
}

void ShaderAssembler::EmitStatement(InstructionNode* instruction) {
  if (stopped_ || !instruction) return;
  if (lastStatement_)
    lastStatement_->next = instruction;
  else
    firstStatement_ = instruction;
  lastStatement_ = instruction;
  if (EmitInstruction(*instruction) == E_OUTOFMEMORY) {
    outOfMemory_ = true;
    failed_ = stopped_ = true;
  }
}

void ShaderAssembler::EmitCoissued(InstructionNode* instruction) {
  if (stopped_ || !instruction) return;
  if (!HasCoissue(version_)) {
    REPORT_DIAGNOSTIC(diagnostics_, &instruction->token, CoissueUnsupported);
    failed_ = true;
    return;
  }
  instruction->coissue = true;
  EmitStatement(instruction);
}

InstructionNode* ShaderAssembler::Predicate(InstructionNode* instruction, RegisterNode* predicate) {
  if (stopped_ || !instruction) return nullptr;
  if (!HasPredication(version_)) {
    REPORT_DIAGNOSTIC(diagnostics_, &instruction->token, PredicationUnsupported);
    failed_ = true;
  } else {
    instruction->predicate = predicate;
  }
  return instruction;
}

InstructionNode* ShaderAssembler::Operands(InstructionNode* instruction, RegisterNode* destination,
                                           std::initializer_list<RegisterNode*> sources) {
  if (stopped_ || !instruction) return nullptr;
  instruction->destination = destination;
  instruction->hasDestination = destination != nullptr;
  for (RegisterNode* source : sources) instruction->sources[instruction->sourceCount++] = source;
  return instruction;
}

InstructionNode* ShaderAssembler::Values(InstructionNode* instruction, RegisterNode* destination,
                                         std::initializer_list<DWORD> values) {
  if (stopped_ || !instruction) return nullptr;
  instruction->destination = destination;
  instruction->hasDestination = destination != nullptr;
  for (DWORD value : values) instruction->values[instruction->valueCount++] = value;
  return instruction;
}

RegisterNode* ShaderAssembler::Masked(RegisterNode* reg, const Token* name) {
  if (stopped_ || !reg || !name) return nullptr;
  if (reg->scalar) {
    REPORT_DIAGNOSTIC(diagnostics_, name, ScalarMasked);
    failed_ = true;
    return reg;
  }
  reg->mask = DecodeMask(*name);
  return reg;
}

RegisterNode* ShaderAssembler::Swizzled(RegisterNode* reg, const Token* name) {
  if (stopped_ || !reg || !name) return nullptr;
  if (reg->scalar) {
    REPORT_DIAGNOSTIC(diagnostics_, name, ScalarSwizzled);
    failed_ = true;
    return reg;
  }
  reg->swizzle = DecodeSwizzle(*name);
  return reg;
}

RegisterNode* ShaderAssembler::Not(RegisterNode* reg) {
  if (stopped_ || !reg) return nullptr;
  if (reg->modifier != D3DSPSM_NONE) {
    REPORT_DIAGNOSTIC(diagnostics_, reg->position, NotWithModifier);
    failed_ = true;
  }
  reg->modifier = D3DSPSM_NOT;
  return reg;
}

RegisterNode* ShaderAssembler::Negate(RegisterNode* reg) {
  if (stopped_ || !reg) return nullptr;
  switch (reg->modifier) {
    case D3DSPSM_NONE: reg->modifier = D3DSPSM_NEG; break;
    case D3DSPSM_BIAS: reg->modifier = D3DSPSM_BIASNEG; break;
    case D3DSPSM_SIGN: reg->modifier = D3DSPSM_SIGNNEG; break;
    case D3DSPSM_X2: reg->modifier = D3DSPSM_X2NEG; break;
    case D3DSPSM_ABS: reg->modifier = D3DSPSM_ABSNEG; break;
    case D3DSPSM_DZ:
    case D3DSPSM_DW:
      REPORT_DIAGNOSTIC(diagnostics_, reg->position, NegateWithDivide);
      failed_ = true;
      break;
    default: break;
  }
  return reg;
}

RegisterNode* ShaderAssembler::Complement(const Token* count, RegisterNode* reg) {
  if (stopped_ || !reg || !count) return nullptr;
  if (count->value.integer != 1) {
    REPORT_DIAGNOSTIC(diagnostics_, count, InvalidComplement);
    failed_ = true;
  } else if (!IsPs1x(version_)) {
    REPORT_DIAGNOSTIC(diagnostics_, count, ComplementUnsupported);
    failed_ = true;
  } else if (reg->modifier != D3DSPSM_NONE) {
    REPORT_DIAGNOSTIC(diagnostics_, count, ComplementWithModifier);
    failed_ = true;
  } else {
    reg->modifier = D3DSPSM_COMP;
  }
  return reg;
}

RegisterNode* ShaderAssembler::Register(const Token* name, IndexNode* index) {
  if (stopped_ || !name) return nullptr;
  return DecodeRegister(*name, index);
}

IndexNode* ShaderAssembler::IndexOfRegister(RegisterNode* addressRegister) {
  IndexNode* index = MakeNode(indexPool_);
  if (!index || !addressRegister) return nullptr;
  index->addressRegister = addressRegister;
  return index;
}

IndexNode* ShaderAssembler::IndexOfOffset(const Token* count) {
  IndexNode* index = MakeNode(indexPool_);
  if (!index || !count) return nullptr;
  index->offset = count->value.integer;
  return index;
}

IndexNode* ShaderAssembler::AddIndices(IndexNode* left, IndexNode* right) {
  if (stopped_ || !left || !right) return nullptr;
  if (left->addressRegister && right->addressRegister) {
    REPORT_DIAGNOSTIC(diagnostics_, right->addressRegister->position, TwoAddressRegistersInIndex);
    failed_ = true;
  } else if (!left->addressRegister) {
    left->addressRegister = right->addressRegister;
  }
  left->offset += right->offset;
  return left;
}

// The debug block: where each instruction came from, for debuggers.
HRESULT ShaderAssembler::InsertDebugBlock() {
  struct FileName {
    const char* text;
    DWORD offset;
  };
  struct Record {
    WORD line;
    std::int16_t file;
    DWORD offset;
  };
  static_assert(sizeof(Record) == 8);

  try {
    DWORD header[10] = {40, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    CommentBlock block(kDebugFourCC);
    if (HRESULT hr = block.AddItem(header, sizeof header, CommentBlock::kByReference, nullptr); FAILED(hr)) return hr;

    std::vector<FileName> files;
    std::size_t statementCount = 0;
    for (const InstructionNode* node = firstStatement_; node; node = node->next) {
      ++statementCount;
      const char* name = node->token.fileName;
      if (!name) continue;
      bool known = false;
      for (const FileName& file : files) known = known || std::strcmp(file.text, name) == 0;
      if (known) continue;
      DWORD offset = 0;
      if (HRESULT hr = block.AddItem(name, CommentBlock::kNulTerminated, CommentBlock::kUnaligned, &offset); FAILED(hr))
        return hr;
      files.push_back({name, offset});
    }

    std::vector<DWORD> fileTable;
    for (const FileName& file : files) fileTable.push_back(file.offset);
    header[3] = static_cast<DWORD>(fileTable.size());
    if (!fileTable.empty()) {
      if (HRESULT hr =
              block.AddItem(fileTable.data(), static_cast<DWORD>(fileTable.size() * sizeof(DWORD)), 0, &header[4]);
          FAILED(hr))
        return hr;
    }

    // Filled from the end: the last statement's record comes first.
    std::vector<Record> records(statementCount);
    std::size_t slot = statementCount;
    for (const InstructionNode* node = firstStatement_; node; node = node->next) {
      Record& record = records[--slot];
      record.line = static_cast<WORD>(node->token.line);
      record.file = -1;
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (node->token.fileName && std::strcmp(files[i].text, node->token.fileName) == 0)
          record.file = static_cast<std::int16_t>(i);
      }
      record.offset = node->byteOffset;
    }
    header[5] = static_cast<DWORD>(records.size());
    if (!records.empty()) {
      if (HRESULT hr = block.AddItem(records.data(), static_cast<DWORD>(records.size() * sizeof(Record)),
                                     CommentBlock::kByReference, &header[6]);
          FAILED(hr))
        return hr;
    }

    if (entryPoint_) {
      if (HRESULT hr = block.AddItem(entryPoint_, CommentBlock::kNulTerminated, CommentBlock::kUnaligned, &header[9]);
          FAILED(hr))
        return hr;
    }
    if (sourceText_) {
      std::string text(sourceText_, sourceLength_);
      if (HRESULT hr =
              block.AddItem(text.c_str(), static_cast<DWORD>(text.size() + 1), CommentBlock::kUnaligned, &header[2]);
          FAILED(hr))
        return hr;
    }
    if (HRESULT hr = block.AddItem(kCreator, CommentBlock::kNulTerminated, CommentBlock::kUnaligned, &header[1]);
        FAILED(hr))
      return hr;

    std::size_t words = block.SizeInWords();
    if (words > kMaxCommentWords) {
      REPORT_DIAGNOSTIC(diagnostics_, &current_, DebugInfoTooLarge);
      return S_OK;
    }
    DWORD blockBytes = static_cast<DWORD>(words * sizeof(DWORD));
    for (Record& record : records) record.offset += blockBytes;
    output_.insert(output_.begin() + 1, words, 0);
    if (HRESULT hr = block.Write(output_.data() + 1, static_cast<DWORD>(words)); FAILED(hr)) return hr;
    SkipValidation();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace rastro
