// Every message the shader validator reports, with its code and text, in one table. The codes
// are the validator's own; the assembler shows them as 5000 + code.
#pragma once

#include "WindowsTypes.h"

namespace rastro {

enum class ValidatorMessage : DWORD {
  // The stream itself.
  BadVersion = 101,
  AfterEnd = 102,
  Malformed = 103,
  NotInVersion = 106,
  NoEnd = 108,
  Coissue = 109,
  Predication = 110,
  PredicateRegister = 111,
  // Registers and operands.
  RegisterUnavailable = 201,
  NotWritable = 202,
  NotReadable = 203,
  IndexRange = 204,
  RelativeNotAllowed = 205,
  RelativeRegister = 206,
  ReadBeforeWrite = 207,
  ReadPorts = 208,
  LoopCounterOutsideLoop = 209,
  SourceModifier = 210,
  ResultModifier = 211,
  WriteMask = 212,
  Swizzle = 213,
  ReplicateSwizzle = 214,
  OperandType = 215,
  // Declarations.
  NotDeclared = 301,
  DeclaredTwice = 302,
  DeclarationOrder = 303,
  DeclarationTarget = 304,
  SamplerType = 305,
  UsageTwice = 306,
  // Limits and structure.
  ArithmeticSlots = 401,
  TextureSlots = 402,
  TotalSlots = 403,
  Phase = 404,
  Unbalanced = 405,
  Unclosed = 406,
  NestingDepth = 407,
  LabelTwice = 408,
  LabelMissing = 409,
  // Results.
  OutputNotWritten = 501,
  // ps_1_x texture stage.
  TextureAfterArithmetic = 601,
  MatrixSequence = 602,
  TextureWrittenTwice = 603,
  PhaseOneSource = 604,
};

struct ValidatorMessageEntry {
  ValidatorMessage message;
  const char* name;
  const char* format;  // printf format; its arguments are listed where the message is raised
};

// The entry of a message (every enumerator has one).
const ValidatorMessageEntry& ValidatorMessageInfo(ValidatorMessage message);
// The whole table, in code order.
const ValidatorMessageEntry* ValidatorMessageTable(size_t* count);

}  // namespace rastro
