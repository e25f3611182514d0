// What a shader stage hands the next: the values a vertex leaves for the rasteriser to
// interpolate, the usages vertex inputs are declared with, and the range ps 1.x values keep to.
// The GLSL translation, the OpenGL vertex input and the CPU evaluator all read these.
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "d3d9types.h"

namespace rastro {

using ShaderVector = std::array<float, 4>;

// What the rasteriser carries from a vertex to the pixels: vertex shader outputs, pixel shader
// inputs, by meaning. Colours and texture-coordinate sets are what vs 1.x/2.x write to oD# and
// oT# and what ps 1.x/2.x read from v# and t#; a vs_3_0/ps_3_0 pair meets by the usages its
// registers declare.
struct ShaderVaryings {
  ShaderVector position{0, 0, 0, 1};  // clip space (vertex output)
  std::array<ShaderVector, 2> color{};
  std::array<ShaderVector, 8> texcoord{};
  float fog = 0.0f;
  float pointSize = 1.0f;
  // What a vs_3_0 passes on beyond position 0, colours 0-1, texture coordinates 0-7, fog and
  // point size: by ShaderUsageKey, in the order the shader declares them.
  std::vector<std::pair<UINT, ShaderVector>> other;
};

// Whether a usage travels between the stages as one of the generic varyings of
// ShaderVaryings::other, and its key there.
bool IsGenericVarying(UINT usage, UINT index);
constexpr UINT ShaderUsageKey(UINT usage, UINT index) { return usage * 16 + index; }

// The usage a vertex shader declared for one of its input registers.
struct ShaderInputDeclaration {
  UINT registerNumber = 0;
  BYTE usage = 0;
  BYTE usageIndex = 0;
};

// Colour inputs and results of ps 1.x keep to [-max, max], the device's PixelShader1xMaxValue.
constexpr float kDefaultPixelShader1xMaxValue = 8.0f;

}  // namespace rastro
