// Fixed-function state as GLSL programs. A ProgramKey holds exactly the state that changes the
// generated code; programs are generated once per key and kept in a hash map.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "GlProgramKey.h"

namespace rastro {

// Vertex attribute locations shared by every generated program.
constexpr GLuint kPositionLocation = 0;
constexpr GLuint kDiffuseLocation = 1;
constexpr GLuint kSpecularLocation = 2;
constexpr GLuint kTexCoordLocation = 3;  // sets 0-7 at 3-10

// Texture units: the pixel samplers at 0-15 (the fixed-function stages use 0-7), uploads at 16,
// then the vertex shader's four samplers (D3DVERTEXTEXTURESAMPLER0-3).
constexpr UINT kPixelSamplerCount = D3DMAXSAMPLERS;
constexpr UINT kVertexSamplerCount = 4;
constexpr GLuint kFirstVertexSamplerUnit = kPixelSamplerCount + 1;

// A compiled GLSL shader of `kind`, or 0 after a debug-output line with the compiler's log.
GLuint CompileGlsl(GLenum kind, const std::string& source);
// Links a program of the two compiled shaders, or reports the driver's log and gives 0.
GLuint LinkGlsl(GLuint vertex, GLuint fragment);

// A linked program and where its uniforms are.
struct GlProgram {
  GLuint name = 0;
  GLint viewport = -1;       // vec4: x, y, width, height of the viewport
  GLint textureFactor = -1;  // vec4
  GLint alphaReference = -1;
  std::array<GLint, D3DMAXTEXTURESTAGES> stageConstants{};
  // Which stages (pixel samplers) sample a texture, by TextureKind.
  std::array<TextureKind, kPixelSamplerCount> samplers{};
};

class GlProgramCache {
 public:
  GlProgramCache() = default;
  GlProgramCache(const GlProgramCache&) = delete;
  GlProgramCache& operator=(const GlProgramCache&) = delete;
  ~GlProgramCache();

  // The program for a key, generated and linked on first use; null if it does not link.
  const GlProgram* Find(const ProgramKey& key);

  static std::string VertexSource(const ProgramKey& key);
  static std::string FragmentSource(const ProgramKey& key);

 private:
  std::unordered_map<ProgramKey, GlProgram, ProgramKeyHash> programs_;
};

// The texture-stage operations the generated programs carry out (D3DTEXOPCAPS_* bits).
DWORD SupportedTextureOps();

}  // namespace rastro
