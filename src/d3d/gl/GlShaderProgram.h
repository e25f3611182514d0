// Programs for draws with Direct3D shaders: the translated vertex and pixel shaders, or one of
// them joined to the fixed-function stage the other side needs. Programs are cached by the
// token streams and the device state that changes the generated code; the compiled stages by
// their GLSL, so that a stage compiled when its shader was created, or for another program,
// is not compiled again.
#pragma once

#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "GlProgram.h"
#include "ShaderTranslator.h"

namespace rastro {

struct ShaderProgramKey {
  std::vector<DWORD> vertexTokens;  // empty: no vertex shader runs
  std::vector<DWORD> pixelTokens;   // empty: the fixed-function pixel stage
  ProgramKey fixedFunction;         // the fixed-function side, and flat shading and alpha test
  std::array<TextureKind, D3DMAXTEXTURESTAGES> stageTextures{};  // ps 1.x: what each stage holds
  bool colorsInRange = false;                                    // the colour inputs cannot leave [0, 1]
  bool normalisedTarget = false;                                 // the render target keeps only [0, 1]

  bool operator==(const ShaderProgramKey& other) const = default;
};

struct ShaderProgramKeyHash {
  size_t operator()(const ShaderProgramKey& key) const;
};

// A linked shader program: the fixed-function uniforms it may share, the constant arrays and
// the vertex inputs the vertex shader declared.
struct GlShaderProgram {
  GlProgram base;  // name, viewport, fixed-function uniforms, samplers read by stage
  GLint vertexFloats = -1, vertexInts = -1, vertexBools = -1;
  GLint pixelFloats = -1, pixelInts = -1, pixelBools = -1;
  UINT vertexFloatCount = 0, pixelFloatCount = 0;
  GLint bumpEnvironment = -1, bumpLuminance = -1;
  std::vector<ShaderInputDeclaration> vertexInputs;
  // The vertex shader's samplers, by TextureKind (vs_3_0 texldl).
  std::array<TextureKind, kVertexSamplerCount> vertexSamplers{};
  GLint pointSize = -1;   // the vertex shader sets the point size, clamped to this range
  UINT colorOutputs = 1;  // bit k: the program writes render target k
};

class GlShaderProgramCache {
 public:
  GlShaderProgramCache() = default;
  GlShaderProgramCache(const GlShaderProgramCache&) = delete;
  GlShaderProgramCache& operator=(const GlShaderProgramCache&) = delete;
  ~GlShaderProgramCache();

  // The program for a key, translated, compiled and linked on first use; null when the shaders
  // cannot be translated or the program does not link.
  const GlShaderProgram* Find(const ShaderProgramKey& key);

  // Translates and compiles a new shader's stage for the state its first draw most likely has
  // (smooth colours in [0, 1], no alpha test, an 8-bit target, 2D textures), leaving only
  // linking, and compiling for any other state, to the draw.
  void Prepare(const std::vector<DWORD>& tokens);

  // The sources a key compiles to; false when a shader cannot be translated.
  static bool Sources(const ShaderProgramKey& key, std::string& vertex, std::string& fragment, GlslShader& vertexShader,
                      GlslShader& pixelShader);

 private:
  // The compiled stage for a source, compiled on first use; 0 when it does not compile.
  GLuint Stage(GLenum kind, const std::string& source);

  std::unordered_map<ShaderProgramKey, std::unique_ptr<GlShaderProgram>, ShaderProgramKeyHash> programs_;
  std::unordered_map<std::string, GLuint> vertexStages_, fragmentStages_;
};

}  // namespace rastro
