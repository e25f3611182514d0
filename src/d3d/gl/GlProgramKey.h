// The state that changes a generated fixed-function program, as plain bytes that hash and
// compare: what the vertices carry, and what the render and texture-stage states ask of it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/DeviceState.h"

namespace rastro {

enum class PositionKind : std::uint8_t { None, Transformed, Clip };
enum class TextureKind : std::uint8_t { None, Flat, Cube, Volume };

// What the vertex input offers the program.
struct VertexInputKey {
  PositionKind position = PositionKind::None;
  std::uint8_t hasDiffuse = 0;
  std::uint8_t hasSpecular = 0;
  std::uint8_t texCoordSets = 0;
  std::array<std::uint8_t, 8> texCoordSizes{};
};

struct StageKey {
  std::uint8_t colorOp, colorArg0, colorArg1, colorArg2;
  std::uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
  std::uint8_t texCoordSet, resultTemp, texture;  // texture: TextureKind
  std::uint8_t pad;
};

struct ProgramKey {
  VertexInputKey input;
  std::uint8_t stageCount = 0;
  std::uint8_t lighting = 0;     // untransformed vertices lit (with no lights: black)
  std::uint8_t specularAdd = 0;  // D3DRS_SPECULARENABLE
  std::uint8_t flat = 0;         // D3DSHADE_FLAT
  std::uint8_t alphaFunc = 0;    // 0: no alpha test, else a D3DCMPFUNC
  // Points drawn with D3DRS_POINTSPRITEENABLE: every texture coordinate spans the point, (0, 0)
  // at its top left to (1, 1) at its bottom right.
  std::uint8_t pointSprite = 0;
  std::array<std::uint8_t, 2> pad{};
  std::array<StageKey, D3DMAXTEXTURESTAGES> stages{};

  bool operator==(const ProgramKey& other) const;
};

struct ProgramKeyHash {
  size_t operator()(const ProgramKey& key) const;
};

// The key of the program that draws with `state` from vertices described by `input`.
ProgramKey FixedFunctionKey(const DeviceState& state, const VertexInputKey& input);

}  // namespace rastro
