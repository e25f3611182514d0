#include "FormatName.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace rastro {

namespace {

struct NamedFormat {
  D3DFORMAT format;
  const char* name;
};

constexpr std::array<NamedFormat, 15> kFormatNames{{
    {D3DFMT_A8R8G8B8, "A8R8G8B8"},
    {D3DFMT_X8R8G8B8, "X8R8G8B8"},
    {D3DFMT_R5G6B5, "R5G6B5"},
    {D3DFMT_X1R5G5B5, "X1R5G5B5"},
    {D3DFMT_A1R5G5B5, "A1R5G5B5"},
    {D3DFMT_A2R10G10B10, "A2R10G10B10"},
    {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE"},
    {D3DFMT_D32, "D32"},
    {D3DFMT_D15S1, "D15S1"},
    {D3DFMT_D24S8, "D24S8"},
    {D3DFMT_D24X8, "D24X8"},
    {D3DFMT_D24X4S4, "D24X4S4"},
    {D3DFMT_D16, "D16"},
    {D3DFMT_D32F_LOCKABLE, "D32F_LOCKABLE"},
    {D3DFMT_D24FS8, "D24FS8"},
}};

}  // namespace

const char* FormatName(D3DFORMAT format) {
  for (const NamedFormat& entry : kFormatNames) {
    if (entry.format == format) return entry.name;
  }
  return "Unknown";
}

std::optional<D3DFORMAT> FormatFromName(std::string_view name) {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  for (const NamedFormat& entry : kFormatNames) {
    const std::string_view known = entry.name;
    if (std::ranges::equal(name, known, {}, lower, lower)) return entry.format;
  }
  return std::nullopt;
}

}  // namespace rastro
