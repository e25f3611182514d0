// Values that the Direct3D runtime keeps under its registry key. On this platform each value
// is the environment variable of the same name: a decimal or 0x-hexadecimal number is a
// REG_DWORD, any other text a REG_SZ.
#pragma once

#include "WindowsTypes.h"

namespace rastro {

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

// True when the value exists, has the expected type and fits the buffer, which then holds it
// (a DWORD in host order, or the text with its terminating zero).
bool ReadDirect3DRegistryValue(DWORD expectedType, const char* valueName, void* buffer, DWORD bufferSize);

}  // namespace rastro
