// Lookup of the runtime modules and the functions they export. Stands in for the loader's
// GetModuleHandleA / LoadLibraryA / GetProcAddress: the Direct3D layer is linked into the
// program, so "d3d9.dll" is always loaded, and its exports come typed, with no casts.
#pragma once

#include "ShaderValidator.h"  // Direct3DShaderValidatorCreate9Function

namespace rastro {

// The signature of the "DebugSetMute" export: mutes (1) or unmutes (0) the debug output and
// returns the previous state.
using DebugSetMuteFunction = int (*)(int mute);

// A runtime module and its exports, under their published names; a null export is one the
// module does not have, which callers take as "no validation" or "no muting".
struct RuntimeModule {
  const char* name;
  DebugSetMuteFunction DebugSetMute;
  Direct3DShaderValidatorCreate9Function Direct3DShaderValidatorCreate9;
};

// The module if it is loaded (module names compare without regard to case), else null.
const RuntimeModule* FindLoadedModule(const char* moduleName);
// The module, loading it if the platform has it; null when it does not exist here.
const RuntimeModule* LoadModule(const char* moduleName);

}  // namespace rastro
