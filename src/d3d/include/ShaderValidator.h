// The shader validator that "d3d9.dll" exports as "Direct3DShaderValidatorCreate9": an object fed
// a shader's tokens as they are written (the version token, then one instruction at a time,
// then the end token) that reports every rule the shader breaks through a callback.
#pragma once

#include "WindowsTypes.h"

// Message kinds passed to the report callback (only the low 16 bits are meaningful).
enum ShaderValidatorMessageKind : DWORD {
  kShaderValidatorWarning = 1,
  kShaderValidatorError = 2,
};

// Called for each message: the source file name (may be null) and line the caller passed with
// the tokens, the message kind, the validator's own message code, the text and the caller's
// context. The validator ignores the result.
using ShaderValidatorReport = HRESULT (*)(const char* sourceFile, UINT line, DWORD kind, DWORD code, const char* text,
                                          void* context);

struct IDirect3DShaderValidator9 : IUnknown {
  // Starts a shader. A failure ends the caller's assembly with that result.
  virtual HRESULT Begin(ShaderValidatorReport report, void* context, DWORD reserved) = 0;
  // The tokens written since the previous call, with the position of the statement they came
  // from. A failure means the shader cannot be valid and nothing further need be sent.
  virtual HRESULT Instruction(const char* sourceFile, UINT line, const DWORD* tokens, UINT tokenCount) = 0;
  // Ends the shader: rules that need the whole shader are checked here.
  virtual HRESULT End() = 0;

 protected:
  ~IDirect3DShaderValidator9() = default;
};

// The signature of the "Direct3DShaderValidatorCreate9" export: a new validator, or null.
using Direct3DShaderValidatorCreate9Function = IDirect3DShaderValidator9* (*)();
