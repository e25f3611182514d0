// Turns a shader token stream back into assembly source.
#pragma once

#include <cstddef>
#include <string>

#include "WindowsTypes.h"

namespace rastro {

// Writes source for a token stream (version token to end token), one statement per line, that
// the assembler turns back into the same version, instruction and end tokens. Comment blocks,
// the debug block among them, appear as // comments (the assembler writes a debug block only
// when asked to). Reads at most `count` tokens. D3D_OK; D3DERR_INVALIDCALL for a null stream;
// D3DXERR_INVALIDDATA when the stream cannot be read: the text then holds what was read and a
// comment saying where and why it stopped.
HRESULT DisassembleShader(const DWORD* tokens, size_t count, std::string& text);

}  // namespace rastro
