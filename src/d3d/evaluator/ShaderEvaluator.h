// A CPU evaluator of Direct3D 9 shader token streams: one vertex or one pixel at a time, in
// IEEE single precision, with the instruction semantics the GLSL translation follows. Tests use
// it as the oracle for what the GPU draws; a CPU renderer can run shaders through it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ShaderInstruction.h"
#include "ShaderVaryings.h"

namespace rastro {

struct PixelResult {
  std::array<ShaderVector, 4> color{};
  bool depthWritten = false;
  float depth = 0.0f;
  bool killed = false;
};

// One stage's bump-environment matrix and luminance controls (texbem, texbeml, bem).
struct ShaderBumpEnvironment {
  float m00 = 0, m01 = 0, m10 = 0, m11 = 0;
  float luminanceScale = 0, luminanceOffset = 0;
};

// What the device supplies to a shader: its constant registers and stage bump matrices.
// Constants the shader defines itself (def, defi, defb) take precedence over these.
struct ShaderConstants {
  std::vector<ShaderVector> floats;
  std::vector<std::array<int, 4>> ints;
  std::vector<bool> bools;
  std::array<ShaderBumpEnvironment, 8> bump{};
};

// Where texture samples come from. Coordinates arrive as the instruction computed them (after
// projection); `lod` is a bias (texldb) or an explicit level (texldl), 0 otherwise.
class ShaderTextureSampler {
 public:
  virtual ~ShaderTextureSampler() = default;
  virtual ShaderVector Sample(UINT sampler, const ShaderVector& coordinates, float lod) const = 0;
};

class ShaderEvaluator {
 public:
  // Decodes the stream and prepares its control flow; D3DERR_INVALIDCALL with the reason for a
  // stream it cannot run.
  HRESULT Load(const DWORD* tokens, size_t available, std::string* problem = nullptr);

  const ShaderVersion& Version() const { return shader_.version; }
  const DecodedShader& Shader() const { return shader_; }
  const std::vector<ShaderInputDeclaration>& Inputs() const { return inputs_; }
  void SetPixelShader1xMaxValue(float value) { pixel1xMax_ = value; }

  // Runs a vertex shader on input registers v0-v15.
  ShaderVaryings RunVertex(const std::array<ShaderVector, 16>& inputs, const ShaderConstants& constants,
                           const ShaderTextureSampler* textures) const;
  // Runs a pixel shader. `pixel` is the pixel's position in the render target (its centre on
  // integer coordinates), read by vPos; `frontFacing` decides vFace.
  PixelResult RunPixel(const ShaderVaryings& inputs, const ShaderConstants& constants,
                       const ShaderTextureSampler* textures, ShaderVector pixel = {0, 0, 0, 0},
                       bool frontFacing = true) const;

 private:
  struct Machine;
  void Execute(Machine& machine) const;

  DecodedShader shader_;
  std::vector<ShaderInputDeclaration> inputs_;
  // For if/else/loop/rep: the index of the matching else/end; for label: the index it starts at.
  std::vector<size_t> partner_;
  std::array<size_t, 2048> labels_{};
  float pixel1xMax_ = kDefaultPixelShader1xMaxValue;
};

}  // namespace rastro
