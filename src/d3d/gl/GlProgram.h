// Fixed-function state as GLSL programs. A ProgramKey holds exactly the state that changes the
// generated code; programs are generated once per key and kept in a hash map.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "core/DeviceState.h"

namespace rastro {

enum class PositionKind : std::uint8_t { None, Transformed, Clip };
enum class TextureKind : std::uint8_t { None, Flat, Cube, Volume };

// Vertex attribute locations shared by every generated program.
constexpr GLuint kPositionLocation = 0;
constexpr GLuint kDiffuseLocation = 1;
constexpr GLuint kSpecularLocation = 2;
constexpr GLuint kTexCoordLocation = 3;  // sets 0-7 at 3-10

struct StageKey {
  std::uint8_t colorOp, colorArg0, colorArg1, colorArg2;
  std::uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
  std::uint8_t texCoordSet, resultTemp, texture;  // texture: TextureKind
  std::uint8_t pad;
};

struct ProgramKey {
  PositionKind position = PositionKind::None;
  std::uint8_t hasDiffuse = 0;
  std::uint8_t hasSpecular = 0;
  std::uint8_t texCoordSets = 0;
  std::array<std::uint8_t, 8> texCoordSizes{};
  std::uint8_t stageCount = 0;
  std::uint8_t lighting = 0;       // untransformed vertices lit (with no lights: black)
  std::uint8_t specularAdd = 0;    // D3DRS_SPECULARENABLE
  std::uint8_t flat = 0;           // D3DSHADE_FLAT
  std::uint8_t alphaFunc = 0;      // 0: no alpha test, else a D3DCMPFUNC
  std::array<std::uint8_t, 3> pad{};
  std::array<StageKey, D3DMAXTEXTURESTAGES> stages{};

  bool operator==(const ProgramKey& other) const;
};

struct ProgramKeyHash {
  size_t operator()(const ProgramKey& key) const;
};

// A linked program and where its uniforms are.
struct GlProgram {
  GLuint name = 0;
  GLint viewport = -1;       // vec4: x, y, width, height of the viewport
  GLint textureFactor = -1;  // vec4
  GLint alphaReference = -1;
  std::array<GLint, D3DMAXTEXTURESTAGES> stageConstants{};
  // Which stages sample a texture, by TextureKind.
  std::array<TextureKind, D3DMAXTEXTURESTAGES> samplers{};
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
