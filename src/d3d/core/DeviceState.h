// Everything the device remembers between calls that affects drawing, in the form renderers
// read it. Setters record changes in `dirty` so a renderer re-examines only what changed.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "VertexLayout.h"
#include "d3d9.h"

namespace rastro {

class Surface;
class TextureCommon;
class VertexBuffer;
class VertexDeclaration;
template <typename Interface, const IID& kInterfaceId>
class ShaderObject;

// Sampler slots: the 16 pixel samplers, the displacement-map sampler and the 4 vertex samplers.
constexpr UINT kSamplerSlots = 21;
constexpr UINT kMaxStreams = 16;
constexpr UINT kMaxRenderTargets = 4;
constexpr UINT kRenderStateCount = D3DRS_MAX_VALUE + 1;
constexpr UINT kStageStateCount = D3DTSS_MAX_VALUE + 1;
constexpr UINT kSamplerStateCount = D3DSAMP_MAX_VALUE + 1;
constexpr UINT kVertexFloatConstants = 256;
constexpr UINT kPixelFloatConstants = 224;
constexpr UINT kIntConstants = 16;
constexpr UINT kBoolConstants = 16;

// The slot of a sampler or texture stage number, or -1 for a number that names none.
int SamplerSlot(DWORD sampler);

enum DirtyFlag : std::uint32_t {
  kDirtyRenderStates = 1u << 0,
  kDirtyStageStates = 1u << 1,
  kDirtySamplerStates = 1u << 2,
  kDirtyTextures = 1u << 3,
  kDirtyStreams = 1u << 4,
  kDirtyVertexFormat = 1u << 5,  // FVF or declaration
  kDirtyShaders = 1u << 6,
  kDirtyTargets = 1u << 7,
  kDirtyViewport = 1u << 8,
  kDirtyScissor = 1u << 9,
  kDirtyConstants = 1u << 10,
  kDirtyAll = 0xFFFFFFFFu,
};

struct StreamBinding {
  VertexBuffer* buffer = nullptr;
  UINT offset = 0;
  UINT stride = 0;
};

struct DeviceState {
  std::array<DWORD, kRenderStateCount> renderStates{};
  std::array<std::array<DWORD, kStageStateCount>, D3DMAXTEXTURESTAGES> stageStates{};
  std::array<std::array<DWORD, kSamplerStateCount>, kSamplerSlots> samplerStates{};
  std::array<TextureCommon*, kSamplerSlots> textures{};
  std::array<StreamBinding, kMaxStreams> streams{};
  VertexDeclaration* declaration = nullptr;
  DWORD fvf = 0;
  // The decoded declaration or FVF, whichever was set last.
  VertexLayout vertexLayout;
  ShaderObject<IDirect3DVertexShader9, IID_IDirect3DVertexShader9>* vertexShader = nullptr;
  ShaderObject<IDirect3DPixelShader9, IID_IDirect3DPixelShader9>* pixelShader = nullptr;
  std::array<Surface*, kMaxRenderTargets> renderTargets{};
  Surface* depthStencil = nullptr;
  D3DVIEWPORT9 viewport{};
  RECT scissor{};
  std::array<std::array<float, 4>, kVertexFloatConstants> vertexFloatConstants{};
  std::array<std::array<int, 4>, kIntConstants> vertexIntConstants{};
  std::array<BOOL, kBoolConstants> vertexBoolConstants{};
  std::array<std::array<float, 4>, kPixelFloatConstants> pixelFloatConstants{};
  std::array<std::array<int, 4>, kIntConstants> pixelIntConstants{};
  std::array<BOOL, kBoolConstants> pixelBoolConstants{};
  bool softwareVertexProcessing = false;
  std::uint32_t dirty = kDirtyAll;
};

// The published default values of every render, texture-stage and sampler state.
// `autoDepthStencil` selects the default of D3DRS_ZENABLE.
void ResetStateValues(DeviceState& state, bool autoDepthStencil);

// Whether a render-state or texture-stage-state number is one the runtime defines.
bool IsRenderState(DWORD state);
bool IsStageState(DWORD type);

constexpr DWORD FloatBits(float value) { return std::bit_cast<DWORD>(value); }
inline float BitsFloat(DWORD bits) { return std::bit_cast<float>(bits); }

}  // namespace rastro
