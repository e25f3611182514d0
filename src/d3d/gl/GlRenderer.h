// The OpenGL 3.3 renderer: resources mirrored into GL objects on demand, fixed-function state
// turned into generated programs, render targets and depth buffers as framebuffer objects,
// presentation by blit and swap with at most two frames in flight.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <new>
#include <vector>

#include "GlObject.h"
#include "GlPresenter.h"
#include "GlProgram.h"
#include "GlResources.h"
#include "GlShaderProgram.h"
#include "GlStateCache.h"
#include "GlVertexInput.h"
#include "renderer/Renderer.h"

namespace rastro {

class GlRenderer final : public Renderer {
 public:
  static std::unique_ptr<Renderer> Create(const RendererCreation& creation, HRESULT& result);
  ~GlRenderer() override;

  void WindowClientSize(HWND window, UINT& width, UINT& height) override {
    GlPresenter::WindowClientSize(window, width, height);
  }
  HRESULT AttachSwapChain(const D3DPRESENT_PARAMETERS& presentation, const SwapChainSurfaces& surfaces) override;
  HRESULT TestCooperativeLevel() override { return D3D_OK; }
  HRESULT BeginScene() override { return D3D_OK; }
  void EndScene() override {}
  void Clear(DeviceState& state, const std::vector<D3DRECT>& rects, bool whole, DWORD flags, D3DCOLOR color, float z,
             DWORD stencil) override;
  void Draw(DeviceState& state, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
  HRESULT Present() override;
  void ReadSurface(Surface& surface) override { resources_->ReadSurface(surface); }
  void SurfaceWritten(Surface& surface) override { resources_->SurfaceWritten(surface); }
  void GenerateMipSubLevels(TextureCommon& texture) override { resources_->GenerateMipSubLevels(texture); }
  void ShaderCreated(const std::vector<DWORD>& tokens) override {
    MakeCurrent();
    // Preparing is only ahead of time: without memory for it the first draw does the work.
    try {
      shaderPrograms_->Prepare(tokens);
    } catch (const std::bad_alloc&) {
    }
  }

  void MakeCurrent() { presenter_.MakeCurrent(); }
  // Some other context was made current (adapter probing).
  static void ForgetCurrent() { GlPresenter::ForgetCurrent(); }

 private:
  GlRenderer() = default;
  HRESULT Initialise(const RendererCreation& creation);

  void ApplyState(DeviceState& state);
  void ApplyTargets(DeviceState& state);
  void ApplyRenderStates(const DeviceState& state);
  void ApplyTexturesAndSamplers(const DeviceState& state, bool samplersChanged, bool bindingsChanged);
  void ApplySampler(GLuint sampler, const std::array<DWORD, kSamplerStateCount>& ss, const TextureCommon& texture);
  // Picks the program for the state (fixed function, or with the state's shaders) and sets its
  // uniforms; true when a vertex shader's inputs replaced the fixed-function attributes.
  bool ApplyProgram(const DeviceState& state);
  void ApplyShaderConstants(const DeviceState& state);
  void ApplyScissor(const DeviceState& state);
  void ApplyPointSize(const DeviceState& state);
  // Which colour attachments draws and clears write (bit k: attachment k).
  void SetDrawBuffers(UINT mask);
  void MarkTargetsWritten(UINT mask);

  // First, so the context outlives every GL object below.
  GlPresenter presenter_;
  std::unique_ptr<GlResources> resources_;
  GlStateCache cache_;
  GlVertexInput vertexInput_;
  D3DPRESENT_PARAMETERS presentation_{};
  Surface* backBuffer_ = nullptr;

  GlFramebufferName drawFramebuffer_;
  GlVertexArrayName vertexArray_;
  // Texture bindings: the pixel samplers 0-15, then the vertex samplers.
  static constexpr UINT kTextureBindings = kPixelSamplerCount + kVertexSamplerCount;
  std::array<GlSamplerName, kTextureBindings> samplers_{};
  std::unique_ptr<GlProgramCache> programs_ = std::make_unique<GlProgramCache>();
  std::unique_ptr<GlShaderProgramCache> shaderPrograms_ = std::make_unique<GlShaderProgramCache>();

  // What the last ApplyState left in GL.
  GlSurfaceData* colorTarget_ = nullptr;  // = colorTargets_[0]
  std::array<GlSurfaceData*, kMaxRenderTargets> colorTargets_{};
  UINT targetMask_ = 0;   // bit k: render target k is set
  UINT drawBuffers_ = 1;  // what glDrawBuffers last selected
  GlSurfaceData* depthTarget_ = nullptr;
  bool framebufferComplete_ = false;
  const GlProgram* program_ = nullptr;
  ProgramKey key_;
  const GlShaderProgram* shaderProgram_ = nullptr;  // when the draw runs shaders
  ShaderProgramKey shaderKey_;
  std::array<TextureCommon*, kTextureBindings> stageTextures_{};
  std::array<GlTextureData*, kTextureBindings> stageTextureData_{};
  bool masksOverridden_ = false;
  bool mirrorOnce_ = false;  // GL mirrors once and clamps
  float maxLodBias_ = 0.0f;
  float maxPointSize_ = 1.0f;
  bool pointSprites_ = false;  // the draw is of point sprites
};

}  // namespace rastro
