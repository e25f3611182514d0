#include "Device.h"

#include <algorithm>

#include "AllocationGuard.h"
#include "DebugOutput.h"
#include "Direct3D.h"
#include "FormatLayout.h"
#include "ProfileQueries.h"
#include "Surface.h"
#include "TextureCommon.h"
#include "VertexBuffer.h"
#include "VertexDeclaration.h"

namespace rastro {

namespace {

constexpr DWORD kVertexProcessingFlags =
    D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING;
constexpr DWORD kKnownCreateFlags = kVertexProcessingFlags | D3DCREATE_FPU_PRESERVE | D3DCREATE_MULTITHREADED |
                                    D3DCREATE_PUREDEVICE | D3DCREATE_DISABLE_DRIVER_MANAGEMENT |
                                    D3DCREATE_ADAPTERGROUP_DEVICE | D3DCREATE_DISABLE_DRIVER_MANAGEMENT_EX |
                                    D3DCREATE_NOWINDOWCHANGES;

bool SingleBit(DWORD value) { return value && !(value & (value - 1)); }

}  // namespace

Device::Device(Direct3D& direct3d, UINT adapter, const DeviceProfile& profile, HWND focusWindow, DWORD behaviorFlags)
    : direct3d_(&direct3d),
      adapter_(adapter),
      profile_(&profile),
      focusWindow_(focusWindow),
      behaviorFlags_(behaviorFlags) {
  direct3d_->AddRef();
  state_.softwareVertexProcessing = (behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
}

Device::~Device() {
  tearingDown_ = true;
  UnbindAll();
  if (userVertices_) userVertices_->ReleasePrivate();
  if (fvfDeclaration_) fvfDeclaration_->ReleasePrivate();
  backBuffer_.reset();
  autoDepthStencil_.reset();
  renderer_.reset();
  direct3d_->Release();
}

HRESULT Device::Create(Direct3D& direct3d, UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* presentation, IDirect3DDevice9** device) {
  constexpr const char* kCall = "IDirect3D9::CreateDevice";
  (void)deviceType;
  if (!presentation) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null presentation parameters");
  if (!SingleBit(behaviorFlags & kVertexProcessingFlags)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall,
                         "exactly one of software, hardware and mixed vertex processing must be asked for");
  }
  if (behaviorFlags & ~kKnownCreateFlags) return ReportFailure(D3DERR_INVALIDCALL, kCall, "unknown behaviour flags");
  const Adapter& adapterInfo = direct3d.AdapterAt(adapter);
  const D3DCAPS9& caps = adapterInfo.profile.caps;
  if (!(behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) && !(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the adapter has no hardware vertex processing");
  }
  if ((behaviorFlags & D3DCREATE_PUREDEVICE) &&
      (!(behaviorFlags & D3DCREATE_HARDWARE_VERTEXPROCESSING) || !(caps.DevCaps & D3DDEVCAPS_PUREDEVICE))) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "a pure device needs hardware vertex processing and the cap");
  }
  if (!adapterInfo.createRenderer) return ReportFailure(D3DERR_NOTAVAILABLE, kCall, "the adapter cannot render");

  // Held by its reference from here on, so that every failure below releases what was made.
  struct Holder {
    Device* device;
    ~Holder() {
      if (device) device->Release();
    }
  } holder{new Device(direct3d, adapter, adapterInfo.profile, focusWindow, behaviorFlags)};
  Device& created = *holder.device;

  D3DPRESENT_PARAMETERS parameters = *presentation;
  if (HRESULT hr = created.ValidatePresentation(parameters, kCall); FAILED(hr)) return hr;

  RendererCreation creation{adapter, focusWindow, behaviorFlags, &parameters, &adapterInfo.profile};
  HRESULT hr = D3D_OK;
  created.renderer_ = adapterInfo.createRenderer(creation, hr);
  if (!created.renderer_)
    return ReportFailure(FAILED(hr) ? hr : D3DERR_NOTAVAILABLE, kCall, "the renderer refused the device");
  if (parameters.Windowed) {
    HWND window = parameters.hDeviceWindow ? parameters.hDeviceWindow : focusWindow;
    if (!parameters.BackBufferWidth || !parameters.BackBufferHeight) {
      created.renderer_->WindowClientSize(window, parameters.BackBufferWidth, parameters.BackBufferHeight);
    }
  }
  if (HRESULT swap = created.CreateSwapChain(parameters); FAILED(swap))
    return ReportFailure(swap, kCall, "no swap chain");
  *presentation = parameters;
  *device = holder.device;
  holder.device = nullptr;
  return D3D_OK;
}

HRESULT Device::ValidatePresentation(D3DPRESENT_PARAMETERS& parameters, const char* call) {
  const DeviceProfile& profile = *profile_;
  if (parameters.BackBufferCount == 0) parameters.BackBufferCount = 1;
  if (parameters.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "more than three back buffers");
  }
  if (parameters.SwapEffect < D3DSWAPEFFECT_DISCARD || parameters.SwapEffect > D3DSWAPEFFECT_COPY) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "not a swap effect");
  }
  if (parameters.SwapEffect == D3DSWAPEFFECT_COPY && parameters.BackBufferCount != 1) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "D3DSWAPEFFECT_COPY takes exactly one back buffer");
  }
  if (parameters.MultiSampleType != D3DMULTISAMPLE_NONE || parameters.MultiSampleQuality != 0) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "multisampled back buffers are not offered");
  }
  constexpr DWORD kKnownPresentFlags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER | D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL | 0xC;
  if (parameters.Flags & ~kKnownPresentFlags)
    return ReportFailure(D3DERR_INVALIDCALL, call, "unknown presentation flags");

  D3DFORMAT displayFormat;
  if (parameters.Windowed) {
    displayFormat = profile.desktopMode.Format;
    if (parameters.BackBufferFormat == D3DFMT_UNKNOWN) parameters.BackBufferFormat = displayFormat;
    if (parameters.FullScreen_RefreshRateInHz != 0) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "a windowed device has no refresh rate of its own");
    }
    if (parameters.PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT &&
        parameters.PresentationInterval != D3DPRESENT_INTERVAL_ONE &&
        parameters.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "not a presentation interval for a windowed device");
    }
  } else {
    displayFormat = DisplayFormatFor(parameters.BackBufferFormat);
    if (!parameters.BackBufferWidth || !parameters.BackBufferHeight) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "a full-screen back buffer needs a size");
    }
    bool modeFound =
        std::any_of(profile.displayModes.begin(), profile.displayModes.end(), [&](const D3DDISPLAYMODE& m) {
          return m.Format == displayFormat && m.Width == parameters.BackBufferWidth &&
                 m.Height == parameters.BackBufferHeight &&
                 (parameters.FullScreen_RefreshRateInHz == 0 || m.RefreshRate == parameters.FullScreen_RefreshRateInHz);
        });
    if (!modeFound) return ReportFailure(D3DERR_INVALIDCALL, call, "the adapter has no such display mode");
    switch (parameters.PresentationInterval) {
      case D3DPRESENT_INTERVAL_DEFAULT:
      case D3DPRESENT_INTERVAL_ONE: break;
      case D3DPRESENT_INTERVAL_IMMEDIATE:
      case D3DPRESENT_INTERVAL_TWO:
      case D3DPRESENT_INTERVAL_THREE:
      case D3DPRESENT_INTERVAL_FOUR:
        if (!(profile.caps.PresentationIntervals & parameters.PresentationInterval)) {
          return ReportFailure(D3DERR_INVALIDCALL, call, "the adapter does not offer that presentation interval");
        }
        break;
      default: return ReportFailure(D3DERR_INVALIDCALL, call, "not a presentation interval");
    }
  }
  if (FAILED(QueryDeviceType(profile, displayFormat, parameters.BackBufferFormat, parameters.Windowed))) {
    return ReportFailure(D3DERR_NOTAVAILABLE, call, "the adapter offers no such display/back-buffer format pair");
  }
  if (parameters.EnableAutoDepthStencil) {
    D3DFORMAT depth = parameters.AutoDepthStencilFormat;
    if (!IsDepthFormat(depth) ||
        FAILED(QueryDeviceFormat(profile, displayFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depth)) ||
        FAILED(QueryDepthStencilMatch(profile, displayFormat, parameters.BackBufferFormat, depth))) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "the depth-stencil format is not usable with that back buffer");
    }
  }
  adapterFormat_ = displayFormat;
  return D3D_OK;
}

HRESULT Device::CreateSwapChain(const D3DPRESENT_PARAMETERS& parameters) {
  D3DSURFACE_DESC desc{parameters.BackBufferFormat, D3DRTYPE_SURFACE,
                       D3DUSAGE_RENDERTARGET,       D3DPOOL_DEFAULT,
                       D3DMULTISAMPLE_NONE,         0,
                       parameters.BackBufferWidth,  parameters.BackBufferHeight};
  bool lockable = (parameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
  auto backBuffer =
      std::make_unique<Surface>(*this, Resource::Ownership::Implicit, nullptr, nullptr, nullptr, desc, lockable);
  if (HRESULT hr = backBuffer->Initialise(); FAILED(hr)) return hr;
  std::unique_ptr<Surface> depthStencil;
  if (parameters.EnableAutoDepthStencil) {
    desc.Format = parameters.AutoDepthStencilFormat;
    desc.Usage = D3DUSAGE_DEPTHSTENCIL;
    depthStencil = std::make_unique<Surface>(*this, Resource::Ownership::Implicit, nullptr, nullptr, nullptr, desc,
                                             IsLockableDepthFormat(desc.Format));
    if (HRESULT hr = depthStencil->Initialise(); FAILED(hr)) return hr;
    if (parameters.Flags & D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL) depthStencil->MarkDiscardable();
  }
  if (HRESULT hr = renderer_->AttachSwapChain(parameters, {backBuffer.get(), depthStencil.get()}); FAILED(hr))
    return hr;

  presentation_ = parameters;
  backBuffer_ = std::move(backBuffer);
  autoDepthStencil_ = std::move(depthStencil);
  ResetStateValues(state_, parameters.EnableAutoDepthStencil);
  state_.renderTargets[0] = backBuffer_.get();
  state_.depthStencil = autoDepthStencil_.get();
  ResetViewportAndScissor(*backBuffer_);
  return D3D_OK;
}

void Device::ResetViewportAndScissor(const Surface& target) {
  state_.viewport = {0, 0, target.Desc().Width, target.Desc().Height, 0.0f, 1.0f};
  state_.scissor = {0, 0, static_cast<LONG>(target.Desc().Width), static_cast<LONG>(target.Desc().Height)};
  state_.dirty |= kDirtyViewport | kDirtyScissor;
}

namespace {

void Rebind(Resource* previous, Resource* next) {
  if (next) next->AddRefPrivate();
  if (previous) previous->ReleasePrivate();
}

Resource* ResourceOfTexture(TextureCommon* texture) { return dynamic_cast<Resource*>(texture); }

}  // namespace

void Device::UnbindAll() {
  for (TextureCommon*& texture : state_.textures) {
    Resource* previous = ResourceOfTexture(texture);
    texture = nullptr;
    Rebind(previous, nullptr);
  }
  for (StreamBinding& stream : state_.streams) {
    VertexBuffer* previous = stream.buffer;
    stream = {};
    Rebind(previous, nullptr);
  }
  SetVertexDeclaration(nullptr);
  SetVertexShader(nullptr);
  SetPixelShader(nullptr);
  for (Surface*& target : state_.renderTargets) {
    Surface* previous = target;
    target = nullptr;
    Rebind(previous, nullptr);
  }
  Surface* depth = state_.depthStencil;
  state_.depthStencil = nullptr;
  Rebind(depth, nullptr);
  state_.dirty = kDirtyAll;
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
    AddRef();
    *object = static_cast<IDirect3DDevice9*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++refs_; }

ULONG Device::Release() {
  if (refs_ == 0) return 0;
  ULONG left = --refs_;
  if (left == 0 && !tearingDown_) delete this;
  return left;
}

HRESULT Device::TestCooperativeLevel() { return renderer_->TestCooperativeLevel(); }

UINT Device::GetAvailableTextureMem() { return profile_->availableTextureMemory; }

HRESULT Device::EvictManagedResources() { return D3D_OK; }

HRESULT Device::GetDirect3D(IDirect3D9** direct3d) {
  if (!direct3d) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetDirect3D", "null out pointer");
  direct3d_->AddRef();
  *direct3d = direct3d_;
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetDeviceCaps", "null caps");
  *caps = profile_->caps;
  return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
  if (swapChain != 0 || !mode) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetDisplayMode", "no such swap chain or null mode");
  }
  if (presentation_.Windowed) {
    *mode = profile_->desktopMode;
  } else {
    *mode = {presentation_.BackBufferWidth, presentation_.BackBufferHeight, presentation_.FullScreen_RefreshRateInHz,
             adapterFormat_};
  }
  return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
  if (!parameters)
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetCreationParameters", "null out pointer");
  *parameters = {adapter_, D3DDEVTYPE_HAL, focusWindow_, behaviorFlags_};
  return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* presentation) {
  constexpr const char* kCall = "IDirect3DDevice9::Reset";
  if (!presentation) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null presentation parameters");
  inScene_ = false;
  UnbindAll();
  if (defaultPoolResources_ > 0) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "resources of the default pool still exist");
  }
  if ((backBuffer_ && backBuffer_->PublicRefs()) || (autoDepthStencil_ && autoDepthStencil_->PublicRefs())) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the back buffer or depth-stencil surface is still referenced");
  }
  D3DPRESENT_PARAMETERS parameters = *presentation;
  if (HRESULT hr = ValidatePresentation(parameters, kCall); FAILED(hr)) return hr;
  if (parameters.Windowed && (!parameters.BackBufferWidth || !parameters.BackBufferHeight)) {
    HWND window = parameters.hDeviceWindow ? parameters.hDeviceWindow : focusWindow_;
    renderer_->WindowClientSize(window, parameters.BackBufferWidth, parameters.BackBufferHeight);
  }
  if (HRESULT hr = GuardAllocation(kCall, [&] { return CreateSwapChain(parameters); }); FAILED(hr)) {
    return ReportFailure(hr, kCall, "no swap chain");
  }
  state_.softwareVertexProcessing = (behaviorFlags_ & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
  *presentation = parameters;
  return D3D_OK;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND, const RGNDATA*) {
  // A frame is shown once its scene has ended.
  if (inScene_) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::Present", "inside BeginScene/EndScene");
  if ((sourceRect || destRect) && presentation_.SwapEffect != D3DSWAPEFFECT_COPY) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::Present",
                         "source and destination rectangles need D3DSWAPEFFECT_COPY");
  }
  return GuardAllocation("IDirect3DDevice9::Present", [&] { return renderer_->Present(); });
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  constexpr const char* kCall = "IDirect3DDevice9::GetBackBuffer";
  if (!surface) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null out pointer");
  *surface = nullptr;
  if (swapChain != 0 || backBuffer >= presentation_.BackBufferCount || type != D3DBACKBUFFER_TYPE_MONO) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "no such swap chain or back buffer");
  }
  // Further back buffers of a flip chain are shown through the first: the device draws into
  // one and presents it.
  backBuffer_->AddRef();
  *surface = backBuffer_.get();
  return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) {
  constexpr const char* kCall = "IDirect3DDevice9::SetRenderTarget";
  if (index >=
      std::min<DWORD>(profile_->caps.NumSimultaneousRTs ? profile_->caps.NumSimultaneousRTs : 1, kMaxRenderTargets)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "index beyond NumSimultaneousRTs");
  }
  auto* surface = static_cast<Surface*>(renderTarget);
  if (!surface && index == 0) return ReportFailure(D3DERR_INVALIDCALL, kCall, "render target 0 cannot be unset");
  if (surface) {
    if (&surface->OwningDevice() != this) return ReportFailure(D3DERR_INVALIDCALL, kCall, "surface of another device");
    if (!(surface->Desc().Usage & D3DUSAGE_RENDERTARGET)) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the surface was not created as a render target");
    }
  }
  Surface* previous = state_.renderTargets[index];
  state_.renderTargets[index] = surface;
  Rebind(previous, surface);
  state_.dirty |= kDirtyTargets;
  if (index == 0) ResetViewportAndScissor(*surface);
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) {
  constexpr const char* kCall = "IDirect3DDevice9::GetRenderTarget";
  if (!renderTarget || index >= kMaxRenderTargets)
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "bad index or null out pointer");
  *renderTarget = nullptr;
  Surface* surface = state_.renderTargets[index];
  if (!surface) return D3DERR_NOTFOUND;
  surface->AddRef();
  *renderTarget = surface;
  return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* depthStencil) {
  constexpr const char* kCall = "IDirect3DDevice9::SetDepthStencilSurface";
  auto* surface = static_cast<Surface*>(depthStencil);
  if (surface) {
    if (&surface->OwningDevice() != this) return ReportFailure(D3DERR_INVALIDCALL, kCall, "surface of another device");
    if (!(surface->Desc().Usage & D3DUSAGE_DEPTHSTENCIL)) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "the surface is not a depth-stencil surface");
    }
  }
  Surface* previous = state_.depthStencil;
  state_.depthStencil = surface;
  Rebind(previous, surface);
  state_.dirty |= kDirtyTargets;
  return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** depthStencil) {
  if (!depthStencil)
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::GetDepthStencilSurface", "null out pointer");
  *depthStencil = nullptr;
  if (!state_.depthStencil) return D3DERR_NOTFOUND;
  state_.depthStencil->AddRef();
  *depthStencil = state_.depthStencil;
  return D3D_OK;
}

HRESULT Device::BeginScene() {
  if (inScene_) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::BeginScene", "already inside a scene");
  HRESULT hr = GuardAllocation("IDirect3DDevice9::BeginScene", [&] { return renderer_->BeginScene(); });
  if (FAILED(hr)) return ReportFailure(hr, "IDirect3DDevice9::BeginScene", "the device cannot render now");
  inScene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::EndScene", "not inside a scene");
  inScene_ = false;
  return GuardAllocation("IDirect3DDevice9::EndScene", [&] {
    renderer_->EndScene();
    return D3D_OK;
  });
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL software) {
  if (!(behaviorFlags_ & D3DCREATE_MIXED_VERTEXPROCESSING)) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DDevice9::SetSoftwareVertexProcessing",
                         "only a mixed vertex processing device can switch");
  }
  state_.softwareVertexProcessing = software != FALSE;
  state_.dirty |= kDirtyShaders;
  return D3D_OK;
}

BOOL Device::GetSoftwareVertexProcessing() { return state_.softwareVertexProcessing ? TRUE : FALSE; }

}  // namespace rastro
