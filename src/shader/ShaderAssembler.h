// The assembler proper: reads the version statement, parses the statements that follow with
// the LALR(1) grammar of StatementGrammar.y, encodes each instruction into shader tokens as
// soon as it is parsed, streams the tokens through the shader validator and finally returns
// the token stream. One object per assembly, run once.
#pragma once

#include <deque>
#include <new>
#include <vector>

#include "ComPtr.h"
#include "Preprocessor.h"
#include "ShaderValidator.h"
#include "StatementNodes.h"
#include "Token.h"
#include "d3dx9shader.h"

namespace rastro {

// The semantic value of a grammar symbol. Trivial, so the parser's value stack is cheap.
union StatementValue {
  const Token* token;  // identifiers and numbers: a copy of the token in the node pool
  InstructionNode* instruction;
  RegisterNode* reg;
  IndexNode* index;
  DWORD integer;
  double number;
};

class ShaderAssembler {
 public:
  // `createValidator` stands in for the "Direct3DShaderValidatorCreate9" export of "d3d9.dll",
  // which is looked up when it is null.
  explicit ShaderAssembler(Preprocessor& preprocessor,
                           Direct3DShaderValidatorCreate9Function createValidator = nullptr);
  ~ShaderAssembler() = default;
  ShaderAssembler(const ShaderAssembler&) = delete;
  ShaderAssembler& operator=(const ShaderAssembler&) = delete;

  // Assembles everything the preprocessor delivers. `flags`: D3DXSHADER_DEBUG and
  // D3DXSHADER_SKIPVALIDATION only. On success `*shader` holds the token stream.
  HRESULT Run(DWORD flags, ID3DXBuffer** shader);

  // For the generated parser: the next terminal and its value; messages of the parser.
  int NextTerminal(StatementValue& value);
  void ReportSyntaxError();
  void ReportStackOverflow();

  // Grammar actions. Each does nothing (and yields null) once the run is stopped.
  void EntryPoint(const Token* name);
  void EmitStatement(InstructionNode* instruction);
  void EmitCoissued(InstructionNode* instruction);
  InstructionNode* Predicate(InstructionNode* instruction, RegisterNode* predicate);
  InstructionNode* Operands(InstructionNode* instruction, RegisterNode* destination,
                            std::initializer_list<RegisterNode*> sources);
  InstructionNode* Values(InstructionNode* instruction, RegisterNode* destination, std::initializer_list<DWORD> values);
  RegisterNode* Masked(RegisterNode* reg, const Token* name);
  RegisterNode* Swizzled(RegisterNode* reg, const Token* name);
  RegisterNode* Not(RegisterNode* reg);
  RegisterNode* Negate(RegisterNode* reg);
  RegisterNode* Complement(const Token* count, RegisterNode* reg);
  RegisterNode* Register(const Token* name, IndexNode* index);
  IndexNode* IndexOfRegister(RegisterNode* addressRegister);
  IndexNode* IndexOfOffset(const Token* count);
  IndexNode* AddIndices(IndexNode* left, IndexNode* right);

  // Instruction encoding.
  int DecodeOpcode(const Token& identifier);
  RegisterNode* DecodeRegister(const Token& name, IndexNode* index);
  DWORD DecodeMask(const Token& name);
  DWORD DecodeSwizzle(const Token& name);
  HRESULT EmitInstruction(InstructionNode& instruction);
  HRESULT AppendToken(DWORD value);

  // Sends the tokens appended since the last call to the validator, with `position` as the
  // statement they came from.
  HRESULT ValidateNew(const Token* position);

  // The output so far (for tests of the encoder).
  const std::vector<DWORD>& Output() const { return output_; }
  int Version() const { return version_; }

 private:
  HRESULT Parse();
  HRESULT ReadVersion();
  HRESULT OpenValidator();
  HRESULT InsertDebugBlock();
  void SkipValidation() { sent_ = output_.size(); }
  static HRESULT ValidatorReport(const char* sourceFile, UINT line, DWORD kind, DWORD code, const char* text,
                                 void* context);

  template <class Node>
  Node* MakeNode(std::deque<Node>& pool);
  void ProductionFailed();
  // A value node: a copy of the current token that lives as long as the assembler.
  const Token* CopyCurrent();
  bool SubtractSource(RegisterNode& source, const Token& position);
  void CheckAddressRegister(const RegisterNode& reg, const Token& position);
  DWORD SourceToken(const RegisterNode& reg) const;

  DiagnosticList& diagnostics_;
  Preprocessor& preprocessor_;
  Direct3DShaderValidatorCreate9Function createValidator_;
  ComPtr<IDirect3DShaderValidator9> validator_;
  Token current_{};
  int version_ = -1;
  DWORD flags_ = 0;
  DWORD pendingOpcode_ = 0;
  DWORD pendingModifiers_ = 0;
  DWORD pendingDeclaration_ = 0;
  int pendingForm_ = 0;
  DWORD mnemonicProblem_ = 0;
  bool failed_ = false;
  bool stopped_ = false;
  bool outOfMemory_ = false;

  std::deque<Token> tokenPool_;
  std::deque<RegisterNode> registerPool_;
  std::deque<IndexNode> indexPool_;
  std::deque<InstructionNode> instructionPool_;
  InstructionNode* firstStatement_ = nullptr;
  InstructionNode* lastStatement_ = nullptr;

  std::vector<DWORD> output_;
  std::size_t sent_ = 0;
  // Where the validator's messages point: the statement last sent. The version and end tokens
  // keep positions of their own, so that a report at any time finds a live token.
  const Token* validatorPosition_ = nullptr;
  Token versionPosition_{};
  Token endPosition_{};
  const char* entryPoint_ = nullptr;
  const char* sourceText_ = nullptr;
  DWORD sourceLength_ = 0;
};

// Nodes live in pools until the assembler is destroyed. Once the run has stopped, nothing new
// is built.
template <class Node>
inline Node* ShaderAssembler::MakeNode(std::deque<Node>& pool) {
  if (stopped_) return nullptr;
  try {
    return &pool.emplace_back();
  } catch (const std::bad_alloc&) {
    ProductionFailed();
    return nullptr;
  }
}

// Runs a ShaderAssembler over a source the preprocessor has opened (with `openResult`, the
// result of opening it), then fills `errors` (may be null) with the messages. What both
// published entry points and the command-line tool share.
HRESULT AssembleOpenedSource(Preprocessor& preprocessor, HRESULT openResult, DWORD flags, ID3DXBuffer** shader,
                             ID3DXBuffer** errors);

}  // namespace rastro
