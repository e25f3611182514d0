// State setters, clears and draws. These run many times per frame: each setter stores the
// value and marks its group changed only when the value really changed, and a draw checks
// what the runtime checks and hands over.
#include <algorithm>
#include <cstring>

#include "AllocationGuard.h"
#include "DebugOutput.h"
#include "Device.h"
#include "FormatLayout.h"
#include "Shader.h"
#include "Surface.h"
#include "TextureCommon.h"
#include "VertexBuffer.h"
#include "VertexDeclaration.h"

namespace rastro {

namespace {

void Rebind(Resource* previous, Resource* next) {
  if (next) next->AddRefPrivate();
  if (previous) previous->ReleasePrivate();
}

template <typename Value, size_t N>
HRESULT CopyConstantsIn(std::array<Value, N>& target, UINT start, const void* data, UINT count, UINT limit,
                        const char* call) {
  if (!data || start > limit || count > limit - start) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "null data or registers beyond the last one");
  }
  std::memcpy(target.data() + start, data, count * sizeof(Value));
  return D3D_OK;
}

template <typename Value, size_t N>
HRESULT CopyConstantsOut(const std::array<Value, N>& source, UINT start, void* data, UINT count, UINT limit,
                         const char* call) {
  if (!data || start > limit || count > limit - start) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "null data or registers beyond the last one");
  }
  std::memcpy(data, source.data() + start, count * sizeof(Value));
  return D3D_OK;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Fixed-function and sampler state

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (!IsRenderState(state))
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetRenderState", "not a render state");
  DWORD& slot = state_.renderStates[state];
  if (slot == value) return D3D_OK;
  slot = value;
  state_.dirty |= kDirtyRenderStates;
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (!IsRenderState(state) || !value) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetRenderState", "not a render state or null value");
  }
  *value = state_.renderStates[state];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= D3DMAXTEXTURESTAGES || !IsStageState(type)) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetTextureStageState", "no such stage or state");
  }
  DWORD& slot = state_.stageStates[stage][type];
  if (slot == value) return D3D_OK;
  slot = value;
  state_.dirty |= kDirtyStageStates;
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
  if (stage >= D3DMAXTEXTURESTAGES || !IsStageState(type) || !value) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetTextureStageState",
                         "no such stage or state, or null value");
  }
  *value = state_.stageStates[stage][type];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  int slot = SamplerSlot(sampler);
  if (slot < 0 || type < D3DSAMP_ADDRESSU || type > D3DSAMP_DMAPOFFSET) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetSamplerState", "no such sampler or state");
  }
  DWORD& stored = state_.samplerStates[slot][type];
  if (stored == value) return D3D_OK;
  stored = value;
  state_.dirty |= kDirtySamplerStates;
  return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  int slot = SamplerSlot(sampler);
  if (slot < 0 || type < D3DSAMP_ADDRESSU || type > D3DSAMP_DMAPOFFSET || !value) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetSamplerState",
                         "no such sampler or state, or null value");
  }
  *value = state_.samplerStates[slot][type];
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
  constexpr const char* kCall = "IDirect3DDevice9::SetTexture";
  int slot = SamplerSlot(stage);
  if (slot < 0) return ReportFailure(D3DERR_INVALIDCALL, kCall, "no such stage");
  TextureCommon* next = texture ? dynamic_cast<TextureCommon*>(texture) : nullptr;
  Resource* nextResource = texture ? dynamic_cast<Resource*>(texture) : nullptr;
  if (texture) {
    if (!next || !nextResource || &nextResource->OwningDevice() != this) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a texture of this device");
    }
    if (next->Pool() == D3DPOOL_SCRATCH)
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "scratch textures cannot be bound");
    if (next->Pool() == D3DPOOL_SYSTEMMEM && !(Caps().DevCaps & D3DDEVCAPS_TEXTURESYSTEMMEMORY)) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device cannot texture from system memory");
    }
  }
  TextureCommon*& bound = state_.textures[slot];
  if (bound == next) return D3D_OK;
  Resource* previous = bound ? dynamic_cast<Resource*>(bound) : nullptr;
  bound = next;
  Rebind(previous, nextResource);
  state_.dirty |= kDirtyTextures;
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
  int slot = SamplerSlot(stage);
  if (slot < 0 || !texture)
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetTexture", "no such stage or null out pointer");
  TextureCommon* bound = state_.textures[slot];
  *texture = bound ? dynamic_cast<IDirect3DBaseTexture9*>(bound) : nullptr;
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes) {
  constexpr const char* kCall = "IDirect3DDevice9::ValidateDevice";
  if (!passes) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null pass count");
  const D3DCAPS9& caps = Caps();
  if (!state_.pixelShader) {
    DWORD stages = 0;
    DWORD textures = 0;
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
      DWORD colorOp = state_.stageStates[stage][D3DTSS_COLOROP];
      if (colorOp == D3DTOP_DISABLE) break;
      DWORD alphaOp = state_.stageStates[stage][D3DTSS_ALPHAOP];
      if (colorOp > D3DTOP_LERP || !(caps.TextureOpCaps & (1u << (colorOp - 1)))) {
        return ReportFailure(D3DERR_UNSUPPORTEDCOLOROPERATION, kCall, "a stage's colour operation is not offered");
      }
      if (alphaOp != D3DTOP_DISABLE && (alphaOp > D3DTOP_LERP || !(caps.TextureOpCaps & (1u << (alphaOp - 1))))) {
        return ReportFailure(D3DERR_UNSUPPORTEDALPHAOPERATION, kCall, "a stage's alpha operation is not offered");
      }
      ++stages;
      if (state_.textures[stage]) ++textures;
    }
    if (stages > caps.MaxTextureBlendStages || textures > caps.MaxSimultaneousTextures) {
      return ReportFailure(D3DERR_TOOMANYOPERATIONS, kCall, "more stages or textures than the device blends");
    }
  }
  *passes = 1;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Viewport and scissor

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
  constexpr const char* kCall = "IDirect3DDevice9::SetViewport";
  if (!viewport) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null viewport");
  const D3DSURFACE_DESC& target = state_.renderTargets[0]->Desc();
  if (!viewport->Width || !viewport->Height || viewport->X > target.Width || viewport->Y > target.Height ||
      viewport->Width > target.Width - viewport->X || viewport->Height > target.Height - viewport->Y) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the viewport is empty or reaches outside the render target");
  }
  if (!(viewport->MinZ >= 0.0f && viewport->MinZ <= 1.0f && viewport->MaxZ >= 0.0f && viewport->MaxZ <= 1.0f)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "depth range outside [0, 1]");
  }
  state_.viewport = *viewport;
  state_.dirty |= kDirtyViewport;
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetViewport", "null viewport");
  *viewport = state_.viewport;
  return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
  if (!rect) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetScissorRect", "null rectangle");
  state_.scissor = *rect;
  state_.dirty |= kDirtyScissor;
  return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
  if (!rect) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetScissorRect", "null rectangle");
  *rect = state_.scissor;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Vertex input and shaders

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
  constexpr const char* kCall = "IDirect3DDevice9::SetStreamSource";
  const D3DCAPS9& caps = Caps();
  if (stream >= std::min<DWORD>(caps.MaxStreams ? caps.MaxStreams : 1, kMaxStreams)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "stream number beyond MaxStreams");
  }
  auto* next = static_cast<VertexBuffer*>(buffer);
  if (next && &next->OwningDevice() != this)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "buffer of another device");
  if (stride > caps.MaxStreamStride) return ReportFailure(D3DERR_INVALIDCALL, kCall, "stride beyond MaxStreamStride");
  if (offset % 4) return ReportFailure(D3DERR_INVALIDCALL, kCall, "offset not a multiple of 4");
  if (offset && !(caps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device has no stream offsets");
  }
  StreamBinding& binding = state_.streams[stream];
  if (binding.buffer == next && binding.offset == offset && binding.stride == stride) return D3D_OK;
  VertexBuffer* previous = binding.buffer;
  binding = {next, offset, stride};
  if (previous != next) Rebind(previous, next);
  state_.dirty |= kDirtyStreams;
  return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
  if (stream >= kMaxStreams || !buffer || !offset || !stride) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetStreamSource", "no such stream or null out pointer");
  }
  const StreamBinding& binding = state_.streams[stream];
  *buffer = binding.buffer;
  if (binding.buffer) binding.buffer->AddRef();
  *offset = binding.offset;
  *stride = binding.stride;
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  VertexLayout layout;
  if (!VertexLayout::FromFvf(fvf, layout)) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetFVF", "not a valid vertex format");
  }
  if (state_.fvf == fvf && !state_.declaration) return D3D_OK;
  state_.vertexLayout = std::move(layout);
  // A vertex format replaces the declaration.
  VertexDeclaration* previous = state_.declaration;
  state_.declaration = nullptr;
  Rebind(previous, nullptr);
  state_.fvf = fvf;
  state_.dirty |= kDirtyVertexFormat;
  return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
  if (!fvf) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetFVF", "null out pointer");
  *fvf = state_.fvf;
  return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  auto* next = static_cast<VertexDeclaration*>(declaration);
  if (next && &next->OwningDevice() != this) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetVertexDeclaration", "declaration of another device");
  }
  if (state_.declaration == next && (next || !state_.fvf)) return D3D_OK;
  VertexDeclaration* previous = state_.declaration;
  state_.declaration = next;
  state_.fvf = 0;
  state_.vertexLayout = next ? next->Layout() : VertexLayout{};
  Rebind(previous, next);
  state_.dirty |= kDirtyVertexFormat;
  return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) {
  if (!declaration)
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetVertexDeclaration", "null out pointer");
  *declaration = state_.declaration;
  if (state_.declaration) {
    state_.declaration->AddRef();
  } else if (state_.fvf) {
    // A vertex format reads back as the declaration that says the same.
    return GuardAllocation("IDirect3DDevice9::GetVertexDeclaration", [&] { return DeclarationFromFvf(declaration); });
  }
  return D3D_OK;
}

HRESULT Device::DeclarationFromFvf(IDirect3DVertexDeclaration9** declaration) {
  if (!fvfDeclaration_ || fvfDeclarationFvf_ != state_.fvf) {
    std::vector<D3DVERTEXELEMENT9> elements = state_.vertexLayout.Elements();
    elements.push_back(D3DVERTEXELEMENT9 D3DDECL_END());
    VertexDeclaration* created = nullptr;
    HRESULT hr = VertexDeclaration::Create(*this, elements.data(), kMaxStreams, 0xFFFFFFFFu, &created);
    if (FAILED(hr)) return hr;
    // Kept by a private reference, so that it does not keep the device alive.
    created->AddRefPrivate();
    created->ReleasePublic();
    if (fvfDeclaration_) fvfDeclaration_->ReleasePrivate();
    fvfDeclaration_ = created;
    fvfDeclarationFvf_ = state_.fvf;
  }
  fvfDeclaration_->AddRef();
  *declaration = fvfDeclaration_;
  return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
  auto* next = static_cast<VertexShader*>(shader);
  if (next && &next->OwningDevice() != this) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetVertexShader", "shader of another device");
  }
  if (state_.vertexShader == next) return D3D_OK;
  VertexShader* previous = state_.vertexShader;
  state_.vertexShader = next;
  Rebind(previous, next);
  state_.dirty |= kDirtyShaders;
  return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) {
  if (!shader) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetVertexShader", "null out pointer");
  *shader = state_.vertexShader;
  if (state_.vertexShader) state_.vertexShader->AddRef();
  return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
  auto* next = static_cast<PixelShader*>(shader);
  if (next && &next->OwningDevice() != this) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetPixelShader", "shader of another device");
  }
  if (state_.pixelShader == next) return D3D_OK;
  PixelShader* previous = state_.pixelShader;
  state_.pixelShader = next;
  Rebind(previous, next);
  state_.dirty |= kDirtyShaders;
  return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
  if (!shader) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetPixelShader", "null out pointer");
  *shader = state_.pixelShader;
  if (state_.pixelShader) state_.pixelShader->AddRef();
  return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count) {
  UINT limit = state_.softwareVertexProcessing ? kVertexFloatConstants
                                               : std::min<UINT>(Caps().MaxVertexShaderConst, kVertexFloatConstants);
  HRESULT hr = CopyConstantsIn(state_.vertexFloatConstants, start, data, count, limit,
                               "IDirect3DDevice9::SetVertexShaderConstantF");
  if (SUCCEEDED(hr)) state_.dirty |= kDirtyConstants;
  return hr;
}

HRESULT Device::GetVertexShaderConstantF(UINT start, float* data, UINT count) {
  return CopyConstantsOut(state_.vertexFloatConstants, start, data, count, kVertexFloatConstants,
                          "IDirect3DDevice9::GetVertexShaderConstantF");
}

HRESULT Device::SetVertexShaderConstantI(UINT start, const int* data, UINT count) {
  HRESULT hr = CopyConstantsIn(state_.vertexIntConstants, start, data, count, kIntConstants,
                               "IDirect3DDevice9::SetVertexShaderConstantI");
  if (SUCCEEDED(hr)) state_.dirty |= kDirtyConstants;
  return hr;
}

HRESULT Device::GetVertexShaderConstantI(UINT start, int* data, UINT count) {
  return CopyConstantsOut(state_.vertexIntConstants, start, data, count, kIntConstants,
                          "IDirect3DDevice9::GetVertexShaderConstantI");
}

HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) {
  HRESULT hr = CopyConstantsIn(state_.vertexBoolConstants, start, data, count, kBoolConstants,
                               "IDirect3DDevice9::SetVertexShaderConstantB");
  if (SUCCEEDED(hr)) state_.dirty |= kDirtyConstants;
  return hr;
}

HRESULT Device::GetVertexShaderConstantB(UINT start, BOOL* data, UINT count) {
  return CopyConstantsOut(state_.vertexBoolConstants, start, data, count, kBoolConstants,
                          "IDirect3DDevice9::GetVertexShaderConstantB");
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count) {
  HRESULT hr = CopyConstantsIn(state_.pixelFloatConstants, start, data, count, kPixelFloatConstants,
                               "IDirect3DDevice9::SetPixelShaderConstantF");
  if (SUCCEEDED(hr)) state_.dirty |= kDirtyConstants;
  return hr;
}

HRESULT Device::GetPixelShaderConstantF(UINT start, float* data, UINT count) {
  return CopyConstantsOut(state_.pixelFloatConstants, start, data, count, kPixelFloatConstants,
                          "IDirect3DDevice9::GetPixelShaderConstantF");
}

HRESULT Device::SetPixelShaderConstantI(UINT start, const int* data, UINT count) {
  HRESULT hr = CopyConstantsIn(state_.pixelIntConstants, start, data, count, kIntConstants,
                               "IDirect3DDevice9::SetPixelShaderConstantI");
  if (SUCCEEDED(hr)) state_.dirty |= kDirtyConstants;
  return hr;
}

HRESULT Device::GetPixelShaderConstantI(UINT start, int* data, UINT count) {
  return CopyConstantsOut(state_.pixelIntConstants, start, data, count, kIntConstants,
                          "IDirect3DDevice9::GetPixelShaderConstantI");
}

HRESULT Device::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) {
  HRESULT hr = CopyConstantsIn(state_.pixelBoolConstants, start, data, count, kBoolConstants,
                               "IDirect3DDevice9::SetPixelShaderConstantB");
  if (SUCCEEDED(hr)) state_.dirty |= kDirtyConstants;
  return hr;
}

HRESULT Device::GetPixelShaderConstantB(UINT start, BOOL* data, UINT count) {
  return CopyConstantsOut(state_.pixelBoolConstants, start, data, count, kBoolConstants,
                          "IDirect3DDevice9::GetPixelShaderConstantB");
}

// ---------------------------------------------------------------------------------------------
// Clearing and drawing

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  constexpr const char* kCall = "IDirect3DDevice9::Clear";
  if (!flags || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL))) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "no or unknown clear flags");
  }
  if (count && !rects) return ReportFailure(D3DERR_INVALIDCALL, kCall, "a rectangle count without rectangles");
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !state_.depthStencil) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "no depth-stencil surface to clear");
  }
  if ((flags & D3DCLEAR_STENCIL) && !HasStencil(state_.depthStencil->Desc().Format)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the depth buffer has no stencil");
  }
  if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "depth value outside [0, 1]");
  }
  // The area is the viewport, narrowed by the scissor rectangle when the test is on, and by
  // each given rectangle. Colour and depth write masks do not apply to clears.
  const D3DSURFACE_DESC& target = state_.renderTargets[0]->Desc();
  LONG left = static_cast<LONG>(state_.viewport.X);
  LONG top = static_cast<LONG>(state_.viewport.Y);
  LONG right = static_cast<LONG>(state_.viewport.X + state_.viewport.Width);
  LONG bottom = static_cast<LONG>(state_.viewport.Y + state_.viewport.Height);
  if (state_.renderStates[D3DRS_SCISSORTESTENABLE]) {
    left = std::max(left, state_.scissor.left);
    top = std::max(top, state_.scissor.top);
    right = std::min(right, state_.scissor.right);
    bottom = std::min(bottom, state_.scissor.bottom);
  }
  return GuardAllocation(kCall, [&] {
    clearRects_.clear();
    bool whole = false;
    if (!count) {
      if (left < right && top < bottom) clearRects_.push_back({left, top, right, bottom});
      whole = left == 0 && top == 0 && right == static_cast<LONG>(target.Width) &&
              bottom == static_cast<LONG>(target.Height);
    } else {
      for (DWORD i = 0; i < count; ++i) {
        D3DRECT clipped{std::max(left, rects[i].x1), std::max(top, rects[i].y1), std::min(right, rects[i].x2),
                        std::min(bottom, rects[i].y2)};
        if (clipped.x1 < clipped.x2 && clipped.y1 < clipped.y2) clearRects_.push_back(clipped);
      }
    }
    if (clearRects_.empty()) return D3D_OK;
    renderer_->Clear(state_, clearRects_, whole, flags, color, z, stencil);
    return D3D_OK;
  });
}

// Several render targets draw together only when they are the same size and, unless the
// device offers independent bit depths, of the same pixel size.
HRESULT Device::CheckRenderTargets(const char* call) const {
  const D3DSURFACE_DESC& first = state_.renderTargets[0]->Desc();
  const bool anyDepth = (Caps().PrimitiveMiscCaps & D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS) != 0;
  for (UINT index = 1; index < kMaxRenderTargets; ++index) {
    const Surface* target = state_.renderTargets[index];
    if (!target) continue;
    const D3DSURFACE_DESC& desc = target->Desc();
    if (desc.Width != first.Width || desc.Height != first.Height) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "the render targets set differ in size");
    }
    if (!anyDepth && DescribeFormat(desc.Format).bytesPerBlock != DescribeFormat(first.Format).bytesPerBlock) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "the render targets set differ in bit depth");
    }
  }
  return D3D_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  constexpr const char* kCall = "IDirect3DDevice9::DrawPrimitive";
  if (!inScene_) return ReportFailure(D3DERR_INVALIDCALL, kCall, "outside BeginScene/EndScene");
  UINT vertices = PrimitiveVertexCount(type, primitiveCount);
  if (!primitiveCount) return D3D_OK;
  if (!vertices) return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a primitive type");
  if (primitiveCount > Caps().MaxPrimitiveCount)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "beyond MaxPrimitiveCount");
  if (HRESULT hr = CheckRenderTargets(kCall); FAILED(hr)) return hr;

  // Every stream the vertex format reads must hold the whole range of vertices drawn.
  const std::array<UINT, kMaxStreams>& needed = state_.vertexLayout.streamBytes;  // bytes per vertex and stream
  if (!state_.declaration && !state_.fvf) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "neither a vertex format nor a declaration is set");
  }
  for (UINT stream = 0; stream < kMaxStreams; ++stream) {
    if (!needed[stream]) continue;
    const StreamBinding& binding = state_.streams[stream];
    if (!binding.buffer) return ReportFailure(D3DERR_INVALIDCALL, kCall, "a stream the vertex format reads is not set");
    std::uint64_t end =
        binding.offset + std::uint64_t{startVertex + std::uint64_t{vertices} - 1} * binding.stride + needed[stream];
    if (end > binding.buffer->Size()) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the vertices drawn reach past the end of the vertex buffer");
    }
  }
  return GuardAllocation(kCall, [&] {
    renderer_->Draw(state_, type, startVertex, primitiveCount);
    return D3D_OK;
  });
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) {
  constexpr const char* kCall = "IDirect3DDevice9::DrawPrimitiveUP";
  if (!vertexData || !stride) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null vertex data or zero stride");
  if (!inScene_) return ReportFailure(D3DERR_INVALIDCALL, kCall, "outside BeginScene/EndScene");
  UINT vertices = PrimitiveVertexCount(type, primitiveCount);
  if (!primitiveCount) return D3D_OK;
  if (!vertices) return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a primitive type");
  if (primitiveCount > Caps().MaxPrimitiveCount)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "beyond MaxPrimitiveCount");
  // The vertices given are stream 0; whatever is bound to the others is not drawn from.
  for (UINT stream = 1; stream < kMaxStreams; ++stream) {
    if (state_.vertexLayout.streamBytes[stream]) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the vertex declaration reads a stream other than 0");
    }
  }
  std::uint64_t bytes = std::uint64_t{vertices} * stride;
  if (bytes > kMaxResourceBytes) return ReportFailure(E_OUTOFMEMORY, kCall, "too much vertex data");
  const HRESULT hr = GuardAllocation(kCall, [&] {
    if (!userVertices_) {
      VertexBuffer* created = nullptr;
      if (FAILED(VertexBuffer::Create(*this, static_cast<UINT>(bytes), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                      D3DPOOL_DEFAULT, &created)) ||
          !created) {
        return ReportFailure(E_OUTOFMEMORY, kCall, "no buffer for the vertices");
      }
      // The device keeps it by a private reference only, so it does not keep the device alive.
      created->AddRefPrivate();
      created->ReleasePublic();
      userVertices_ = created;
    }
    userVertices_->Fill(vertexData, static_cast<UINT>(bytes));
    HRESULT drawn = SetStreamSource(0, userVertices_, 0, stride);
    if (SUCCEEDED(drawn)) drawn = DrawPrimitive(type, 0, primitiveCount);
    return drawn;
  });
  // As in the runtime, stream 0 is left unset afterwards, whatever happened.
  SetStreamSource(0, nullptr, 0, 0);
  return hr;
}

}  // namespace rastro
