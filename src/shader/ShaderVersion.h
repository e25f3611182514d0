// Names of shader versions ("ps_2_0", "vs.1.1", ...) and the version tokens they stand for.
#pragma once

#include <span>

#include "WindowsTypes.h"

namespace rastro {

struct ShaderVersionEntry {
  const char* Name;
  DWORD Version;  // D3DPS_VERSION / D3DVS_VERSION encoding; minor 0xFF is a _sw version
  DWORD Bits;     // capability bits; see below
};

// The names the assembler accepts as a version statement.
inline constexpr DWORD kShaderVersionAssemblerName = 1;

// Finds `name` (exact, case-sensitive) among the version names and checks that its bits
// contain all of `requiredBits`. S_OK and the entry (when `entry` is not null); E_FAIL when
// missing or lacking a bit; D3DERR_INVALIDCALL for a null name.
HRESULT LookupShaderVersion(const char* name, DWORD requiredBits, ShaderVersionEntry* entry);

// The whole table, sorted by name in byte order.
std::span<const ShaderVersionEntry> ShaderVersionTable();

}  // namespace rastro
