#include "InstructionSet.h"

#include <array>
#include <cstring>

#include "d3d9types.h"

namespace rastro {

namespace {

// Reads a row of register limits: per version a count n, "r" n (with relative addressing),
// "0" (a single register written without a number) or "-" (not available).
consteval std::array<RegisterLimit, kShaderVersionCount> Limits(const char* text) {
  std::array<RegisterLimit, kShaderVersionCount> limits{};
  const char* p = text;
  for (int version = 0; version < kShaderVersionCount; ++version) {
    while (*p == ' ') ++p;
    RegisterLimit limit{-1, false, false};
    if (*p == '-') {
      ++p;
    } else {
      if (*p == 'r') {
        limit.relative = true;
        ++p;
      }
      int count = 0;
      while (*p >= '0' && *p <= '9') count = count * 10 + (*p++ - '0');
      limit.count = static_cast<short>(count);
      limit.single = count == 0;
      if (limit.single) limit.count = 1;
    }
    limits[static_cast<std::size_t>(version)] = limit;
  }
  while (*p == ' ') ++p;
  if (*p != '\0') throw "a register row needs one entry per version";
  return limits;
}

struct RegisterRow {
  const char* name;
  DWORD type;
  DWORD number;
  bool fixedNumber;
  bool scalar;
  std::array<RegisterLimit, kShaderVersionCount> limits;
};

// Per version, in index order (vs_1_1 ... vs_3_sw, ps_1_1 ... ps_3_sw).
constexpr RegisterRow kRegisterRows[] = {
    {"v", D3DSPR_INPUT, 0, false, false, Limits("16 16 16 16 r16 r16  2 2 2 2 2 2 2 r10 r14")},
    {"r", D3DSPR_TEMP, 0, false, false, Limits("12 12 32 32 32 32  2 2 2 6 12 32 32 32 32")},
    {"c", D3DSPR_CONST, 0, false, false, Limits("r8192 r8192 r8192 r8192 r8192 r8192  8 8 8 8 32 32 8192 224 8192")},
    {"a", D3DSPR_ADDR, 0, false, false, Limits("1 1 1 1 1 1  - - - - - - - - -")},
    {"t", D3DSPR_TEXTURE, 0, false, false, Limits("- - - - - -  4 4 4 6 8 8 8 - -")},
    {"oPos", D3DSPR_RASTOUT, D3DSRO_POSITION, true, false, Limits("0 0 0 0 - -  - - - - - - - - -")},
    {"oPts", D3DSPR_RASTOUT, D3DSRO_POINT_SIZE, true, true, Limits("0 0 0 0 - -  - - - - - - - - -")},
    {"oFog", D3DSPR_RASTOUT, D3DSRO_FOG, true, true, Limits("0 0 0 0 - -  - - - - - - - - -")},
    {"oD", D3DSPR_ATTROUT, 0, false, false, Limits("2 2 2 2 - -  - - - - - - - - -")},
    {"oT", D3DSPR_TEXCRDOUT, 0, false, false, Limits("8 8 8 8 - -  - - - - - - - - -")},
    {"i", D3DSPR_CONSTINT, 0, false, false, Limits("- 16 16 2048 16 2048  - - - - - 16 2048 16 2048")},
    {"oC", D3DSPR_COLOROUT, 0, false, false, Limits("- - - - - -  - - - - 4 4 4 4 4")},
    {"oDepth", D3DSPR_DEPTHOUT, 0, false, true, Limits("- - - - - -  - - - - 0 0 0 0 0")},
    {"s", D3DSPR_SAMPLER, 0, false, false, Limits("- - - - 4 4  - - - - 16 16 16 16 16")},
    {"b", D3DSPR_CONSTBOOL, 0, false, true, Limits("- 16 16 2048 16 2048  - - - - 16 16 2048 16 2048")},
    {"aL", D3DSPR_LOOP, 0, false, true, Limits("- 0 0 0 0 0  - - - - - - - 0 0")},
    {"vPos", D3DSPR_MISCTYPE, D3DSMO_POSITION, true, false, Limits("- - - - - -  - - - - - - - 0 0")},
    {"vFace", D3DSPR_MISCTYPE, D3DSMO_FACE, true, true, Limits("- - - - - -  - - - - - - - 0 0")},
    {"l", D3DSPR_LABEL, 0, false, true, Limits("- 16 16 2048 2048 2048  - - - - - 16 2048 2048 2048")},
    {"p", D3DSPR_PREDICATE, 0, false, false, Limits("- - 1 1 1 1  - - - - - 1 1 1 1")},
    {"o", D3DSPR_OUTPUT, 0, false, false, Limits("- - - - r12 r16  - - - - - - - - -")},
};
static_assert(std::size(kRegisterRows) == 21);

constexpr std::array<RegisterEntry, std::size(kRegisterRows)> MakeRegisterTable() {
  std::array<RegisterEntry, std::size(kRegisterRows)> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const RegisterRow& row = kRegisterRows[i];
    table[i].name = row.name;
    table[i].type = row.type;
    table[i].number = row.number;
    table[i].fixedNumber = row.fixedNumber;
    table[i].scalar = row.scalar;
    for (std::size_t v = 0; v < row.limits.size(); ++v) table[i].limits[v] = row.limits[v];
  }
  return table;
}

constexpr auto kRegisters = MakeRegisterTable();

}  // namespace

int VersionIndexOf(DWORD versionToken) {
  if ((versionToken & 0xFFFFu) == 0x0100u) return kNoShaderVersion;
  return ShaderVersionIndexOf(versionToken);
}

std::span<const RegisterEntry> RegisterTable() { return kRegisters; }

const RegisterEntry* FindRegister(std::string_view letters) {
  for (const RegisterEntry& entry : kRegisters) {
    if (letters == entry.name) return &entry;
  }
  return nullptr;
}

}  // namespace rastro
