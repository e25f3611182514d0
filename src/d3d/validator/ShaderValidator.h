// The layer's shader validator: checks a token stream against the rules of its version as the
// tokens arrive (the version token, one instruction at a time, the end token) and reports each
// broken rule through the caller's callback. The same object serves the "Direct3DShaderValidatorCreate9"
// export and the device's shader creation.
#pragma once

#include <string>
#include <vector>

#include "RegisterName.h"
#include "ShaderInstruction.h"
#include "ShaderRules.h"
#include "ShaderValidation.h"
#include "ValidatorMessages.h"

namespace rastro {

class ShaderValidator final : public IDirect3DShaderValidator9 {
 public:
  ShaderValidator();

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // Rule violations arrive through the callback and do not fail these calls; a call fails only
  // when it is made out of order, or when the tokens cannot be read as instructions at all
  // (then nothing later can be checked either).
  HRESULT Begin(ShaderValidatorReport report, void* context, DWORD reserved) override;
  HRESULT Instruction(const char* sourceFile, UINT line, const DWORD* tokens, UINT tokenCount) override;
  HRESULT End() override;

  UINT ErrorCount() const { return errorCount_; }

 private:
  struct Operand {
    DWORD token = 0;
    DWORD type = 0;
    UINT number = 0;
    bool relative = false;
    ShaderRelativeAddress address;  // a0.x in vs_1_1, where no address token is written
  };
  struct Decoded {
    DWORD token = 0;
    DWORD key = 0;
    const InstructionInfo* rule = nullptr;
    char form = '-';
    bool hasDeclaration = false;
    DWORD declaration = 0;
    bool hasDestination = false;
    Operand destination;
    bool hasPredicate = false;
    Operand predicate;
    int sourceCount = 0;
    Operand sources[4];
  };
  enum class Block : BYTE { If, IfElse, Loop, Rep };

  void Reset();
  // Raises a message of the table with its format's arguments (REPORT_VALIDATOR_MESSAGE passes
  // the table's format, so that the compiler checks them).
  void Report(ValidatorMessage message, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Reads one instruction at `at`; false when the stream cannot be read further.
  bool ReadInstruction(const DWORD* tokens, UINT count, UINT& at);
  // Takes the decoder's record into the form the checks read; false when the version's operand
  // form and the record disagree.
  bool TakeOperands(const ShaderInstruction& instruction, Decoded& decoded);
  void Check(const Decoded& d);
  void CheckOrdering(const Decoded& d);
  void CheckCoissueAndPredicate(const Decoded& d);
  void CheckDeclaration(const Decoded& d);
  void CheckDefinition(const Decoded& d);
  void CheckDestination(const Decoded& d);
  void CheckSources(const Decoded& d);
  void CheckOperandTypes(const Decoded& d);
  void CheckFlowControl(const Decoded& d);
  void CheckTextureStage(const Decoded& d);
  void CountSlots(const Decoded& d);
  void RecordWrite(const Decoded& d);
  bool CheckRegisterExists(const Decoded& d, const Operand& operand);
  void CheckRelative(const Decoded& d, const Operand& operand);
  void CheckRead(const Decoded& d, const Operand& operand, UINT components);
  UINT ComponentsRead(const Decoded& d, int sourceIndex) const;
  void CheckSlotLimits(const char* phaseText);
  std::string Name(const Operand& operand) const;
  const char* OpName(const Decoded& d) const;
  bool InLoop() const;
  void PushBlock(Block block);
  void PopBlock();

  ULONG references_ = 1;
  ShaderValidatorReport report_ = nullptr;
  void* context_ = nullptr;
  bool begun_ = false;
  const char* file_ = nullptr;
  UINT line_ = 0;
  UINT errorCount_ = 0;

  // Per shader.
  int version_ = -1;
  ShaderVersion decoderVersion_;
  bool versionSeen_ = false;
  bool ended_ = false;
  bool failed_ = false;  // stream unreadable: later calls are ignored
  bool sawInstruction_ = false;
  bool sawArithmeticInPhase_ = false;
  bool sawPhase_ = false;
  bool previousPairable_ = false;  // the instruction before may be coissued with
  DWORD previousMask_ = 0;
  bool inSubroutine_ = false;
  BYTE tempWritten_[32] = {};
  BYTE textureWritten_[8] = {};  // ps_1_1-1_3 t registers, written by texture instructions or arithmetic
  bool textureLoaded_[8] = {};   // written by a texture instruction
  BYTE addressWritten_ = 0;
  BYTE predicateWritten_ = 0;
  bool colorWritten_ = false;
  bool positionWritten_ = false;  // oPos, or the output declared as position0
  int positionOutput_ = -1;
  bool outputDeclared_[16] = {};
  DWORD outputUsage_[16] = {};
  bool inputDeclared_[16] = {};
  DWORD inputUsage_[16] = {};
  bool textureDeclared_[8] = {};
  DWORD samplerType_[16] = {};  // 0: not declared
  bool miscDeclared_[2] = {};
  std::vector<Block> blocks_;
  UINT loopDepth_ = 0;    // loop blocks open (aL is defined inside them)
  UINT repeatDepth_ = 0;  // loop and rep blocks open
  UINT ifDepth_ = 0;
  std::vector<bool> labelsDefined_;
  std::vector<UINT> labelsCalled_;
  UINT arithmeticSlots_ = 0;
  UINT textureSlots_ = 0;
  UINT totalSlots_ = 0;
  // ps_1_1-1_3 matrix sequences: how many pads of which kind came last, and their register.
  DWORD padOpcode_ = 0;
  UINT padCount_ = 0;
  UINT padRegister_ = 0;
};

}  // namespace rastro
