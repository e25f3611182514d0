// Registers by the names the assembly language gives them, for messages and disassembly.
#pragma once

#include <string>

#include "WindowsTypes.h"

namespace rastro {

// Source-level register name: "r3", "c2100", "oPos", "vFace", "t0" or "a0" by version (they
// share a register type). Constants of the upper banks count on from 2048; register types the
// language has no name for read "reg<type>_<number>".
std::string RegisterName(DWORD registerType, UINT number, int versionIndex);

}  // namespace rastro
