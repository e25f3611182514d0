// The OpenGL 3.3 renderer: resources mirrored into GL objects on demand, fixed-function state
// turned into generated programs, render targets and depth buffers as framebuffer objects,
// presentation by blit and swap with at most two frames in flight.
#pragma once

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <deque>
#include <memory>
#include <vector>

#include "GlFormats.h"
#include "GlProgram.h"
#include "core/Resource.h"
#include "renderer/Renderer.h"

namespace rastro {

class VertexBuffer;
class GlRenderer;

// GL side of a surface the renderer draws into (or reads, or writes from the CPU).
struct GlSurfaceData final : RendererObject {
  GlRenderer* owner = nullptr;
  GLuint texture = 0;
  bool ownsTexture = false;
  GLenum target = GL_TEXTURE_2D;  // or a cube face
  GLint level = 0;
  GlFormat format;
  UINT width = 0, height = 0;
  bool gpuNewer = false;  // drawn into since memory was last brought up to date
  ~GlSurfaceData() override;
};

// GL side of a texture: one GL texture holding every level.
struct GlTextureData final : RendererObject {
  GlRenderer* owner = nullptr;
  GLuint texture = 0;
  GLenum target = GL_TEXTURE_2D;
  GlFormat format;
  std::uint64_t uploadedVersion = 0;
  bool allocated = false;
  ~GlTextureData() override;
};

struct GlBufferData final : RendererObject {
  GlRenderer* owner = nullptr;
  GLuint buffer = 0;
  std::uint64_t uploadedVersion = 0;
  ~GlBufferData() override;
};

class GlRenderer final : public Renderer {
 public:
  static std::unique_ptr<Renderer> Create(const RendererCreation& creation, HRESULT& result);
  ~GlRenderer() override;

  void WindowClientSize(HWND window, UINT& width, UINT& height) override;
  HRESULT AttachSwapChain(const D3DPRESENT_PARAMETERS& presentation, const SwapChainSurfaces& surfaces) override;
  HRESULT TestCooperativeLevel() override { return D3D_OK; }
  HRESULT BeginScene() override { return D3D_OK; }
  void EndScene() override {}
  void Clear(DeviceState& state, const std::vector<D3DRECT>& rects, bool whole, DWORD flags, D3DCOLOR color, float z,
             DWORD stencil) override;
  void Draw(DeviceState& state, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT Present() override;
  void ReadSurface(Surface& surface) override;
  void SurfaceWritten(Surface& surface) override;
  void GenerateMipSubLevels(TextureCommon& texture) override;

  void MakeCurrent() {
    if (current_ != this) MakeCurrentSlow();
  }
  // Some other context was made current (adapter probing).
  static void ForgetCurrent() { current_ = nullptr; }

 private:
  GlRenderer() = default;
  void MakeCurrentSlow();
  HRESULT Initialise(const RendererCreation& creation);

  GlSurfaceData* SurfaceData(Surface& surface);
  GlTextureData* TextureData(TextureCommon& texture);
  GlBufferData* BufferData(VertexBuffer& buffer);
  void UploadTexture(TextureCommon& texture, GlTextureData& data);
  void UploadBuffer(VertexBuffer& buffer, GlBufferData& data);

  void ApplyState(DeviceState& state);
  void ApplyTargets(DeviceState& state);
  void ApplyRenderStates(const DeviceState& state);
  void ApplyVertexFormat(const DeviceState& state);
  void ApplyStreams(const DeviceState& state);
  void ApplyTexturesAndSamplers(const DeviceState& state, bool samplersChanged, bool bindingsChanged);
  void ApplyProgram(const DeviceState& state);
  void ApplyScissor(const DeviceState& state);

  // GL state setters that skip calls which would change nothing.
  void SetEnabled(GLenum capability, bool& shadow, bool enabled);
  void SetColorMask(DWORD mask);
  void SetDepthMask(bool write);
  void SetStencilWriteMask(GLuint mask);

  static GlRenderer* current_;

  SDL_Window* window_ = nullptr;
  bool ownsWindow_ = false;
  bool fullScreenSet_ = false;
  bool headless_ = false;
  SDL_GLContext context_ = nullptr;
  D3DPRESENT_PARAMETERS presentation_{};
  Surface* backBuffer_ = nullptr;

  GLuint drawFramebuffer_ = 0;
  GLuint readFramebuffer_ = 0;
  GLuint vertexArray_ = 0;
  std::array<GLuint, D3DMAXTEXTURESTAGES> samplers_{};
  std::unique_ptr<GlProgramCache> programs_ = std::make_unique<GlProgramCache>();
  std::deque<GLsync> framesInFlight_;

  // What the last ApplyState left in GL.
  GlSurfaceData* colorTarget_ = nullptr;
  GlSurfaceData* depthTarget_ = nullptr;
  bool framebufferComplete_ = false;
  const GlProgram* program_ = nullptr;
  ProgramKey key_;
  struct Attribute {
    GLuint location;
    UINT stream;
    GLint size;
    GLenum type;
    GLboolean normalized;
    UINT offset;
  };
  std::vector<Attribute> attributes_;
  std::array<bool, kMaxStreams> streamUsed_{};
  std::array<VertexBuffer*, kMaxStreams> streamBuffers_{};
  std::array<GlBufferData*, kMaxStreams> streamData_{};
  std::array<TextureCommon*, D3DMAXTEXTURESTAGES> stageTextures_{};
  std::array<GlTextureData*, D3DMAXTEXTURESTAGES> stageTextureData_{};
  bool shadersUntranslated_ = false;
  bool masksOverridden_ = false;

  struct Shadow {
    bool depthTest = false, blend = false, cull = false, scissor = false, stencil = false, polygonOffset = false;
    DWORD colorMask = 0xF;
    bool depthMask = true;
    GLuint stencilWriteMask = 0xFFFFFFFF;
    GLenum depthFunc = GL_LESS;
    GLenum cullFace = GL_BACK;
    GLenum polygonMode = GL_FILL;
    GLint viewport[4] = {-1, -1, -1, -1};
    float depthRange[2] = {0.0f, 1.0f};
    GLint scissorBox[4] = {-1, -1, -1, -1};
  } shadow_;
};

}  // namespace rastro
