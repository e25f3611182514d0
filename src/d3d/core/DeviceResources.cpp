// Resource creation: every argument rule of the runtime, then the object.
#include <algorithm>
#include <string>

#include "AllocationGuard.h"
#include "CubeTexture.h"
#include "DebugOutput.h"
#include "Device.h"
#include "FormatLayout.h"
#include "ProfileQueries.h"
#include "Shader.h"
#include "ShaderValidation.h"
#include "Surface.h"
#include "Texture.h"
#include "VertexBuffer.h"
#include "VertexDeclaration.h"
#include "VolumeTexture.h"

namespace rastro {

namespace {

// A creation that failed without throwing has not reported itself yet.
HRESULT ReportedCreation(const char* call, HRESULT hr) {
  return FAILED(hr) ? ReportFailure(hr, call, "not enough memory") : hr;
}

}  // namespace

namespace {

bool IsPowerOfTwo(UINT value) { return value && !(value & (value - 1)); }

constexpr DWORD kTextureUsages = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                                 D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP | D3DUSAGE_SOFTWAREPROCESSING;
constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING |
                                D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS | D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES;

// Rules every texture kind shares; `call` names the creating method in the debug output.
HRESULT CheckTextureUsageAndPool(const char* call, DWORD usage, D3DPOOL pool, DWORD allowedUsages,
                                 const D3DCAPS9& caps) {
  if (static_cast<DWORD>(pool) > D3DPOOL_SCRATCH) return ReportFailure(D3DERR_INVALIDCALL, call, "not a pool");
  if (usage & ~allowedUsages) return ReportFailure(D3DERR_INVALIDCALL, call, "usage not allowed for this resource");
  if ((usage & D3DUSAGE_RENDERTARGET) && (usage & D3DUSAGE_DEPTHSTENCIL)) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "render target and depth-stencil together");
  }
  if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT) {
    return ReportFailure(D3DERR_INVALIDCALL, call,
                         "render targets and depth-stencil textures live in the default pool");
  }
  if (usage & D3DUSAGE_DYNAMIC) {
    if (pool == D3DPOOL_MANAGED) return ReportFailure(D3DERR_INVALIDCALL, call, "a dynamic resource cannot be managed");
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "a render target cannot be dynamic");
    }
    if (pool != D3DPOOL_SCRATCH && !(caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES)) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "the device has no dynamic textures");
    }
  }
  if ((usage & D3DUSAGE_AUTOGENMIPMAP) && pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "automatic mip-maps need the default or managed pool");
  }
  return D3D_OK;
}

// The level count a texture gets: 0 asks for a full chain; a device without mip-maps of the
// kind takes one level. Fails for counts beyond a full chain.
HRESULT ResolveLevels(const char* call, UINT& levels, UINT fullChain, DWORD usage, bool mipmapsOffered) {
  if (usage & D3DUSAGE_AUTOGENMIPMAP) {
    if (levels > 1) return ReportFailure(D3DERR_INVALIDCALL, call, "automatic mip-maps take a level count of 0 or 1");
    levels = 1;
    return D3D_OK;
  }
  if (levels == 0) levels = mipmapsOffered ? fullChain : 1;
  if (levels > fullChain) return ReportFailure(D3DERR_INVALIDCALL, call, "more levels than a full chain has");
  if (levels > 1 && !mipmapsOffered)
    return ReportFailure(D3DERR_INVALIDCALL, call, "the device has no mip-maps of this kind");
  return D3D_OK;
}

HRESULT CheckOutPointers(const char* call, void* out, HANDLE* sharedHandle) {
  if (!out) return ReportFailure(D3DERR_INVALIDCALL, call, "null out pointer");
  if (sharedHandle) return ReportFailure(D3DERR_INVALIDCALL, call, "shared resources are not offered");
  return D3D_OK;
}

}  // namespace

HRESULT Device::CheckTextureFormat(const char* call, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format,
                                   D3DPOOL pool) {
  FormatLayout layout = DescribeFormat(format);
  if (!layout.IsKnown()) return ReportFailure(D3DERR_INVALIDCALL, call, "not a format");
  if (IsBufferOnlyFormat(format))
    return ReportFailure(D3DERR_INVALIDCALL, call, "an index format is not a texture format");
  if (pool == D3DPOOL_SCRATCH) return D3D_OK;  // scratch resources take any format
  DWORD asked = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP);
  if (FAILED(QueryDeviceFormat(*profile_, adapterFormat_, asked, type, format))) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "the device does not support the format for this usage");
  }
  return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateTexture";
  if (HRESULT hr = CheckOutPointers(kCall, texture, sharedHandle); FAILED(hr)) return hr;
  *texture = nullptr;
  const D3DCAPS9& caps = Caps();
  if (!width || !height) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero width or height");
  if (HRESULT hr = CheckTextureUsageAndPool(kCall, usage, pool, kTextureUsages, caps); FAILED(hr)) return hr;
  if (HRESULT hr = CheckTextureFormat(kCall, usage, D3DRTYPE_TEXTURE, format, pool); FAILED(hr)) return hr;
  if (DescribeFormat(format).IsBlockCompressed() && (width % 4 || height % 4)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "a DXT texture's top level must be a multiple of 4 in each direction");
  }
  bool scratch = pool == D3DPOOL_SCRATCH;
  if (HRESULT hr = ResolveLevels(kCall, levels, FullChainLength(width, height), usage,
                                 scratch || (caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP));
      FAILED(hr)) {
    return hr;
  }
  if (!scratch) {
    if (width > caps.MaxTextureWidth || height > caps.MaxTextureHeight) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "larger than MaxTextureWidth or MaxTextureHeight");
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device has square textures only");
    }
    if (caps.MaxTextureAspectRatio && std::max(width, height) / std::min(width, height) > caps.MaxTextureAspectRatio) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "beyond MaxTextureAspectRatio");
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) && (!IsPowerOfTwo(width) || !IsPowerOfTwo(height))) {
      bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && levels == 1;
      if (!conditional) return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device needs power-of-two sizes here");
    }
  }
  Texture* created = nullptr;
  if (HRESULT hr = GuardAllocation(kCall,
                                   [&] {
                                     return ReportedCreation(kCall, Texture::Create(*this, width, height, levels, usage,
                                                                                    format, pool, &created));
                                   });
      FAILED(hr)) {
    return hr;
  }
  if (pool == D3DPOOL_DEFAULT) created->CountInDefaultPool();
  *texture = created;
  return D3D_OK;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9** texture, HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateCubeTexture";
  if (HRESULT hr = CheckOutPointers(kCall, texture, sharedHandle); FAILED(hr)) return hr;
  *texture = nullptr;
  const D3DCAPS9& caps = Caps();
  bool scratch = pool == D3DPOOL_SCRATCH;
  if (!edge) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero edge length");
  if (!scratch && !(caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device has no cube textures");
  }
  if (HRESULT hr = CheckTextureUsageAndPool(kCall, usage, pool, kTextureUsages & ~D3DUSAGE_DMAP, caps); FAILED(hr)) {
    return hr;
  }
  if (HRESULT hr = CheckTextureFormat(kCall, usage, D3DRTYPE_CUBETEXTURE, format, pool); FAILED(hr)) return hr;
  if (DescribeFormat(format).IsBlockCompressed() && edge % 4) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a DXT cube texture's edge must be a multiple of 4");
  }
  if (HRESULT hr = ResolveLevels(kCall, levels, FullChainLength(edge, edge), usage,
                                 scratch || (caps.TextureCaps & D3DPTEXTURECAPS_MIPCUBEMAP));
      FAILED(hr)) {
    return hr;
  }
  if (!scratch) {
    if (edge > caps.MaxTextureWidth) return ReportFailure(D3DERR_INVALIDCALL, kCall, "larger than MaxTextureWidth");
    if ((caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP_POW2) && !IsPowerOfTwo(edge)) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device needs power-of-two cube textures");
    }
  }
  CubeTexture* created = nullptr;
  if (HRESULT hr = GuardAllocation(kCall,
                                   [&] {
                                     return ReportedCreation(kCall, CubeTexture::Create(*this, edge, levels, usage,
                                                                                        format, pool, &created));
                                   });
      FAILED(hr)) {
    return hr;
  }
  if (pool == D3DPOOL_DEFAULT) created->CountInDefaultPool();
  *texture = created;
  return D3D_OK;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool, IDirect3DVolumeTexture9** texture, HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateVolumeTexture";
  if (HRESULT hr = CheckOutPointers(kCall, texture, sharedHandle); FAILED(hr)) return hr;
  *texture = nullptr;
  const D3DCAPS9& caps = Caps();
  bool scratch = pool == D3DPOOL_SCRATCH;
  if (!width || !height || !depth) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero extent");
  if (!scratch && !(caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device has no volume textures");
  }
  if (HRESULT hr = CheckTextureUsageAndPool(kCall, usage, pool, D3DUSAGE_DYNAMIC | D3DUSAGE_SOFTWAREPROCESSING, caps);
      FAILED(hr)) {
    return hr;
  }
  if (HRESULT hr = CheckTextureFormat(kCall, usage, D3DRTYPE_VOLUMETEXTURE, format, pool); FAILED(hr)) return hr;
  if (IsDepthFormat(format)) return ReportFailure(D3DERR_INVALIDCALL, kCall, "volumes cannot hold depth");
  if (DescribeFormat(format).IsBlockCompressed() && (width % 4 || height % 4)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a DXT volume's top level must be a multiple of 4 wide and high");
  }
  if (HRESULT hr = ResolveLevels(kCall, levels, FullChainLength(width, height, depth), usage,
                                 scratch || (caps.TextureCaps & D3DPTEXTURECAPS_MIPVOLUMEMAP));
      FAILED(hr)) {
    return hr;
  }
  if (!scratch) {
    if (width > caps.MaxVolumeExtent || height > caps.MaxVolumeExtent || depth > caps.MaxVolumeExtent) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "larger than MaxVolumeExtent");
    }
    if ((caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP_POW2) &&
        (!IsPowerOfTwo(width) || !IsPowerOfTwo(height) || !IsPowerOfTwo(depth))) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device needs power-of-two volumes");
    }
  }
  VolumeTexture* created = nullptr;
  if (HRESULT hr = GuardAllocation(kCall,
                                   [&] {
                                     return ReportedCreation(
                                         kCall, VolumeTexture::Create(*this, width, height, depth, levels, usage,
                                                                      format, pool, &created));
                                   });
      FAILED(hr)) {
    return hr;
  }
  if (pool == D3DPOOL_DEFAULT) created->CountInDefaultPool();
  *texture = created;
  return D3D_OK;
}

HRESULT Device::CreateSurface(UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool, bool lockable,
                              Surface** surface) {
  D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, width, height};
  // Callers run this through GuardAllocation.
  auto* created = new Surface(*this, Resource::Ownership::Standalone, nullptr, nullptr, nullptr, desc, lockable);
  if (HRESULT hr = created->Initialise(); FAILED(hr)) {
    created->Release();
    return hr;
  }
  if (pool == D3DPOOL_DEFAULT) created->CountInDefaultPool();
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                                   HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateRenderTarget";
  if (HRESULT hr = CheckOutPointers(kCall, surface, sharedHandle); FAILED(hr)) return hr;
  *surface = nullptr;
  if (!width || !height) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero width or height");
  if (multiSample != D3DMULTISAMPLE_NONE || multisampleQuality) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "multisampled render targets are not offered");
  }
  if (FAILED(QueryDeviceFormat(*profile_, adapterFormat_, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format))) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the format is not a render-target format of the device");
  }
  Surface* created = nullptr;
  if (HRESULT hr = GuardAllocation(kCall,
                                   [&] {
                                     return ReportedCreation(
                                         kCall, CreateSurface(width, height, format, D3DUSAGE_RENDERTARGET,
                                                              D3DPOOL_DEFAULT, lockable != FALSE, &created));
                                   });
      FAILED(hr)) {
    return hr;
  }
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                          HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateDepthStencilSurface";
  if (HRESULT hr = CheckOutPointers(kCall, surface, sharedHandle); FAILED(hr)) return hr;
  *surface = nullptr;
  if (!width || !height) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero width or height");
  if (multiSample != D3DMULTISAMPLE_NONE || multisampleQuality) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "multisampled depth buffers are not offered");
  }
  if (!IsDepthFormat(format) ||
      FAILED(QueryDeviceFormat(*profile_, adapterFormat_, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format))) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the format is not a depth-stencil format of the device");
  }
  Surface* created = nullptr;
  if (HRESULT hr = GuardAllocation(
          kCall,
          [&] {
            return ReportedCreation(kCall, CreateSurface(width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                                                         IsLockableDepthFormat(format), &created));
          });
      FAILED(hr)) {
    return hr;
  }
  if (discard) created->MarkDiscardable();
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateOffscreenPlainSurface";
  if (HRESULT hr = CheckOutPointers(kCall, surface, sharedHandle); FAILED(hr)) return hr;
  *surface = nullptr;
  if (!width || !height) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero width or height");
  if (pool == D3DPOOL_MANAGED || static_cast<DWORD>(pool) > D3DPOOL_SCRATCH) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "offscreen plain surfaces live in the default, system or scratch pool");
  }
  FormatLayout layout = DescribeFormat(format);
  if (!layout.IsKnown()) return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a format");
  if (IsBufferOnlyFormat(format))
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "an index format is not a surface format");
  if (pool != D3DPOOL_SCRATCH && FAILED(QueryDeviceFormat(*profile_, adapterFormat_, 0, D3DRTYPE_SURFACE, format))) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the device does not support the format for surfaces");
  }
  if (layout.IsBlockCompressed() && (width % 4 || height % 4)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a DXT surface must be a multiple of 4 in each direction");
  }
  Surface* created = nullptr;
  if (HRESULT hr = GuardAllocation(
          kCall,
          [&] { return ReportedCreation(kCall, CreateSurface(width, height, format, 0, pool, true, &created)); });
      FAILED(hr)) {
    return hr;
  }
  *surface = created;
  return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   HANDLE* sharedHandle) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateVertexBuffer";
  if (HRESULT hr = CheckOutPointers(kCall, buffer, sharedHandle); FAILED(hr)) return hr;
  *buffer = nullptr;
  if (!length) return ReportFailure(D3DERR_INVALIDCALL, kCall, "zero length");
  if (static_cast<DWORD>(pool) >= D3DPOOL_SCRATCH) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "vertex buffers live in the default, managed or system pool");
  }
  if (usage & ~kBufferUsages) return ReportFailure(D3DERR_INVALIDCALL, kCall, "usage not allowed for a vertex buffer");
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a dynamic buffer cannot be managed");
  }
  if (fvf) {
    UINT vertexSize = FvfVertexSize(fvf);
    if (!vertexSize) return ReportFailure(D3DERR_INVALIDCALL, kCall, "not a valid vertex format");
    if (length < vertexSize) return ReportFailure(D3DERR_INVALIDCALL, kCall, "shorter than one vertex of its format");
  }
  if (length > kMaxResourceBytes) return ReportFailure(E_OUTOFMEMORY, kCall, "too large");
  VertexBuffer* created = nullptr;
  if (HRESULT hr = GuardAllocation(
          kCall,
          [&] { return ReportedCreation(kCall, VertexBuffer::Create(*this, length, usage, fvf, pool, &created)); });
      FAILED(hr)) {
    return hr;
  }
  if (pool == D3DPOOL_DEFAULT) created->CountInDefaultPool();
  *buffer = created;
  return D3D_OK;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateVertexDeclaration";
  if (!elements || !declaration) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null elements or out pointer");
  *declaration = nullptr;
  VertexDeclaration* created = nullptr;
  const DWORD streams = std::min<DWORD>(Caps().MaxStreams ? Caps().MaxStreams : 1, kMaxStreams);
  if (HRESULT hr = GuardAllocation(
          kCall, [&] { return VertexDeclaration::Create(*this, elements, streams, Caps().DeclTypes, &created); });
      FAILED(hr)) {
    return hr;
  }
  *declaration = created;
  return D3D_OK;
}

namespace {

enum class ShaderKind { Pixel, Vertex };

// Checks a token stream's version and length; gives its token count, or 0 with the failure
// reported.
UINT CheckShaderFunction(const char* call, const DWORD* function, ShaderKind kind, DWORD highestVersion) {
  if (!function) {
    ReportFailure(D3DERR_INVALIDCALL, call, "null function");
    return 0;
  }
  DWORD version = function[0];
  DWORD expectedType = kind == ShaderKind::Pixel ? 0xFFFF0000u : 0xFFFE0000u;
  DWORD number = version & 0xFFFF;
  bool known;
  if (kind == ShaderKind::Pixel) {
    known = (number >= 0x0100 && number <= 0x0104) || number == 0x0200 || number == 0x0201 || number == 0x0300;
  } else {
    known = number == 0x0100 || number == 0x0101 || number == 0x0200 || number == 0x0201 || number == 0x0300;
  }
  if ((version & 0xFFFF0000u) != expectedType || !known) {
    ReportFailure(D3DERR_INVALIDCALL, call, "not a version token of this kind of shader");
    return 0;
  }
  if (number > (highestVersion & 0xFFFF) || (highestVersion & 0xFFFF0000u) != expectedType) {
    ReportFailure(D3DERR_INVALIDCALL, call, "the device does not offer this shader version");
    return 0;
  }
  UINT length = MeasureShaderTokens(function);
  if (!length) {
    ReportFailure(D3DERR_INVALIDCALL, call, "no end token within 65536 tokens");
    return 0;
  }
  // The same rules the assembler's validator applies: a shader it rejects never reaches a renderer.
  std::string firstError;
  if (UINT errors = ValidateShaderTokens(function, length, &firstError)) {
    std::string why =
        "the shader breaks " + std::to_string(errors) + (errors == 1 ? " rule: " : " rules, the first: ") + firstError;
    ReportFailure(D3DERR_INVALIDCALL, call, why.c_str());
    return 0;
  }
  return length;
}

}  // namespace

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
  constexpr const char* kCall = "IDirect3DDevice9::CreatePixelShader";
  if (!shader) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null out pointer");
  *shader = nullptr;
  return GuardAllocation(kCall, [&] {  // the checks build messages too
    const UINT length = CheckShaderFunction(kCall, function, ShaderKind::Pixel, Caps().PixelShaderVersion);
    if (!length) return D3DERR_INVALIDCALL;
    auto* created = new PixelShader(*this, std::vector<DWORD>(function, function + length));
    *shader = created;
    renderer_->ShaderCreated(created->Tokens());
    return D3D_OK;
  });
}

HRESULT Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateVertexShader";
  if (!shader) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null out pointer");
  *shader = nullptr;
  // Software vertex processing runs every vertex shader version, whatever the hardware offers.
  DWORD highest = state_.softwareVertexProcessing ? D3DVS_VERSION(3, 0) : Caps().VertexShaderVersion;
  return GuardAllocation(kCall, [&] {
    const UINT length = CheckShaderFunction(kCall, function, ShaderKind::Vertex, highest);
    if (!length) return D3DERR_INVALIDCALL;
    auto* created = new VertexShader(*this, std::vector<DWORD>(function, function + length));
    *shader = created;
    renderer_->ShaderCreated(created->Tokens());
    return D3D_OK;
  });
}

}  // namespace rastro
