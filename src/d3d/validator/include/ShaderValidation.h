// The shader validator as the rest of the layer reaches it: the "d3d9.dll" export that creates
// one for a caller's own token stream, and a check of a whole stream for the device's shader
// creation.
#pragma once

#include <string>

#include "ShaderValidator.h"  // IDirect3DShaderValidator9
#include "WindowsTypes.h"

namespace rastro {

// Checks a whole token stream (version token to end token) and gives the number of errors
// and the first error's text.
UINT ValidateShaderTokens(const DWORD* tokens, UINT count, std::string* firstError);

}  // namespace rastro

// The runtime's export, found by name through the module-export lookup: a new validator with one
// reference, or null when out of memory.
extern "C" IDirect3DShaderValidator9* Direct3DShaderValidatorCreate9();
