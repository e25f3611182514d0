#include "ShaderVersion.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "d3d9types.h"

namespace rastro {

namespace {

// Bit 0: accepted by the assembler. Bits 1 and 2 are carried for other users of the table.
constexpr ShaderVersionEntry kVersions[] = {
    {"ps", 0xFFFF0000, 0},      {"ps.1.0", 0xFFFF0100, 3},  {"ps.1.1", 0xFFFF0101, 3},  {"ps.1.2", 0xFFFF0102, 3},
    {"ps.1.3", 0xFFFF0103, 3},  {"ps.1.4", 0xFFFF0104, 3},  {"ps.2.0", 0xFFFF0200, 3},  {"ps.2.a", 0xFFFF0202, 2},
    {"ps.2.sw", 0xFFFF02FF, 3}, {"ps.2.x", 0xFFFF0201, 3},  {"ps.3.0", 0xFFFF0300, 1},  {"ps.3.sw", 0xFFFF03FF, 1},
    {"ps_1_0", 0xFFFF0100, 3},  {"ps_1_1", 0xFFFF0101, 3},  {"ps_1_2", 0xFFFF0102, 3},  {"ps_1_3", 0xFFFF0103, 3},
    {"ps_1_4", 0xFFFF0104, 3},  {"ps_2_0", 0xFFFF0200, 3},  {"ps_2_a", 0xFFFF0202, 2},  {"ps_2_sw", 0xFFFF02FF, 3},
    {"ps_2_x", 0xFFFF0201, 1},  {"ps_3_0", 0xFFFF0300, 1},  {"ps_3_sw", 0xFFFF03FF, 1}, {"tx", 0x54580000, 0},
    {"tx_1_0", 0x54580100, 6},  {"vs", 0xFFFE0000, 0},      {"vs.1.0", 0xFFFE0100, 3},  {"vs.1.1", 0xFFFE0101, 3},
    {"vs.2.0", 0xFFFE0200, 3},  {"vs.2.a", 0xFFFE0202, 2},  {"vs.2.sw", 0xFFFE02FF, 3}, {"vs.2.x", 0xFFFE0201, 3},
    {"vs.3.0", 0xFFFE0300, 1},  {"vs.3.sw", 0xFFFE03FF, 1}, {"vs_1_0", 0xFFFE0100, 3},  {"vs_1_1", 0xFFFE0101, 3},
    {"vs_2_0", 0xFFFE0200, 3},  {"vs_2_a", 0xFFFE0202, 2},  {"vs_2_sw", 0xFFFE02FF, 3}, {"vs_2_x", 0xFFFE0201, 1},
    {"vs_3_0", 0xFFFE0300, 1},  {"vs_3_sw", 0xFFFE03FF, 1},
};
static_assert(std::size(kVersions) == 42);

constexpr bool NamesAreSorted() {
  for (std::size_t i = 1; i < std::size(kVersions); ++i) {
    std::string_view previous = kVersions[i - 1].Name, current = kVersions[i].Name;
    if (!(previous < current)) return false;
  }
  return true;
}
static_assert(NamesAreSorted(), "the version table is binary-searched");

}  // namespace

HRESULT LookupShaderVersion(const char* name, DWORD requiredBits, ShaderVersionEntry* entry) {
  if (!name) return D3DERR_INVALIDCALL;
  // strcmp compares as unsigned char, which is the table's order.
  const auto* found =
      std::lower_bound(std::begin(kVersions), std::end(kVersions), name,
                       [](const ShaderVersionEntry& e, const char* n) { return std::strcmp(e.Name, n) < 0; });
  if (found == std::end(kVersions) || std::strcmp(found->Name, name) != 0) return E_FAIL;
  if ((found->Bits & requiredBits) != requiredBits) return E_FAIL;
  if (entry) *entry = *found;
  return S_OK;
}

std::span<const ShaderVersionEntry> ShaderVersionTable() { return kVersions; }

}  // namespace rastro
