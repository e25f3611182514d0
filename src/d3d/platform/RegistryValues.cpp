#include "RegistryValues.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace rastro {

namespace {

// A whole decimal or 0x-hexadecimal number within 32 bits.
bool ParseDword(const char* text, DWORD& value) {
  if (!*text) return false;
  int base = 10;
  const char* digits = text;
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    digits = text + 2;
  }
  if (!*digits) return false;
  for (const char* p = digits; *p; ++p) {
    bool ok = base == 16 ? std::strchr("0123456789abcdefABCDEF", *p) != nullptr : (*p >= '0' && *p <= '9');
    if (!ok) return false;
  }
  errno = 0;
  unsigned long long parsed = std::strtoull(digits, nullptr, base);
  if (errno == ERANGE || parsed > 0xFFFFFFFFull) return false;
  value = static_cast<DWORD>(parsed);
  return true;
}

}  // namespace

bool ReadDirect3DRegistryValue(DWORD expectedType, const char* valueName, void* buffer, DWORD bufferSize) {
  if (!valueName || !buffer) return false;
  const char* text = std::getenv(valueName);
  if (!text) return false;

  DWORD number = 0;
  DWORD storedType = ParseDword(text, number) ? REG_DWORD : REG_SZ;
  if (storedType != expectedType) return false;

  if (storedType == REG_DWORD) {
    if (bufferSize < sizeof(DWORD)) return false;
    std::memcpy(buffer, &number, sizeof(DWORD));
    return true;
  }
  size_t length = std::strlen(text) + 1;
  if (length > bufferSize) return false;
  std::memcpy(buffer, text, length);
  return true;
}

}  // namespace rastro
