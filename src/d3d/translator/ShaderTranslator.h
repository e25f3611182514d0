// Direct3D 9 shader token streams as GLSL 3.30 shaders, for vs_1_1 ... vs_3_0 and
// ps_1_1 ... ps_3_0, with the semantics of the CPU evaluator (ShaderEvaluator), the tests' reference.
//
// The generated stages meet each other, and the fixed-function programs of the OpenGL renderer,
// through these names: vertex outputs (= pixel inputs) vDiffuse, vSpecular, vTexCoord0 ...
// vTexCoord7, all vec4, the float vFog from vertex shaders, and vUsage<usage>_<index> for the
// other usages a vs_3_0 passes on to a ps_3_0 (IsGenericVarying); vertex inputs at attribute location = input register
// number; uniforms vc/vi/vb (vertex constants) and pc/pi/pb (pixel constants), samplers vs_s# and ps_s#, uViewport (x,
// y, width, height of the viewport), uAlphaReference (0-255), uBumpEnv[8] and uBumpLuminance[8] (stage bump matrices
// m00 m01 m10 m11, luminance scale and offset), uPointSize (the smallest and largest point size, for a vertex shader
// that writes one). The pixel stage writes fragColor (and fragColor1..3 for more targets).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ShaderInstruction.h"
#include "ShaderVaryings.h"

namespace rastro {

enum class ShaderSamplerKind : std::uint8_t { None, Flat, Cube, Volume };

// Device state that changes the generated code.
struct ShaderTranslationOptions {
  // ps 1.x declare no samplers: the kind of texture bound at each stage decides.
  std::array<ShaderSamplerKind, 8> stageTextures{
      ShaderSamplerKind::Flat, ShaderSamplerKind::Flat, ShaderSamplerKind::Flat, ShaderSamplerKind::Flat,
      ShaderSamplerKind::Flat, ShaderSamplerKind::Flat, ShaderSamplerKind::Flat, ShaderSamplerKind::Flat};
  bool flatColors = false;     // D3DSHADE_FLAT: colours are not interpolated
  std::uint8_t alphaFunc = 0;  // 0: no alpha test, else the D3DCMPFUNC against uAlphaReference
  float pixelShader1xMaxValue = kDefaultPixelShader1xMaxValue;
  // Colour inputs may lie outside [0, 1] (float vertex colours with no vertex shader) and are
  // clamped on entry; false when they arrive in range anyway.
  bool clampColorInputs = true;
  // The render target keeps only [0, 1] (a normalised format), which makes the final clamp
  // of a ps 1.x result redundant.
  bool targetClampsColor = false;
  // ps_3_0: what the vertex stage passes on beyond colours 0-1 and texture coordinates 0-7
  // (GlslShader::outputs of the vertex shader; empty for the fixed-function stage). Inputs of
  // other usages read 0.
  std::vector<UINT> vertexOutputs;
  // Points drawn as sprites: texture coordinates 0-7 span each point.
  bool pointSprite = false;
};

struct GlslShader {
  std::string source;
  bool pixel = false;
  // Vertex shaders: the usage each input register declared (attribute location = register).
  std::vector<ShaderInputDeclaration> inputs;
  // Samplers the shader reads, by sampler number, with their kind.
  std::array<ShaderSamplerKind, 16> samplers{};
  // Constant registers the uniform arrays hold (vc/pc); 0 when the shader reads none.
  UINT floatConstants = 0;
  bool intConstants = false;
  bool boolConstants = false;
  bool bumpEnvironment = false;
  bool alphaTest = false;
  // Vertex shaders: ShaderUsageKey of fog and of each generic varying they pass on, and
  // whether they set the point size (gl_PointSize, clamped to uPointSize).
  std::vector<UINT> outputs;
  bool pointSize = false;
  // Pixel shaders: bit k set when the shader writes oCk.
  UINT colorOutputs = 0;
};

// Translates a decoded shader. D3DERR_INVALIDCALL, with the reason in `problem`, for a shader
// this translation cannot express (a register or instruction outside what the version has).
HRESULT TranslateShader(const DecodedShader& shader, const ShaderTranslationOptions& options, GlslShader& out,
                        std::string* problem = nullptr);

// The vertex stage for screen-space vertices drawn with a pixel shader and no vertex shader:
// position, colours and texture coordinates passed on as the fixed-function stage does.
// Attributes: position at 0, diffuse at 1, specular at 2, texture coordinate sets at 3-10.
std::string PretransformedVertexSource(bool flatColors);

}  // namespace rastro
