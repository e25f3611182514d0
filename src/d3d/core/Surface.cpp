#include "Surface.h"

#include "AllocationGuard.h"
#include "DebugOutput.h"
#include "Device.h"
#include "TextureCommon.h"

namespace rastro {

Surface::Surface(Device& device, Ownership ownership, Resource* containerResource, IUnknown* container,
                 TextureCommon* texture, const D3DSURFACE_DESC& desc, bool lockable)
    : Resource(device, ownership, containerResource),
      desc_(desc),
      container_(container),
      texture_(texture),
      lockable_(lockable) {}

HRESULT Surface::Initialise() { return storage_.Describe(DescribeFormat(desc_.Format), desc_.Width, desc_.Height, 1); }

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
    AddRef();
    *object = static_cast<IDirect3DSurface9*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

DWORD Surface::SetPriority(DWORD priority) {
  if (texture_) return texture_->SetPriorityValue(priority);
  DWORD previous = priority_;
  priority_ = priority;
  return previous;
}

DWORD Surface::GetPriority() { return texture_ ? texture_->Priority() : priority_; }

HRESULT Surface::GetContainer(REFIID riid, void** container) {
  if (!container) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DSurface9::GetContainer", "null out pointer");
  // A level answers for its texture; every other surface belongs to the device.
  const HRESULT hr =
      container_ ? container_->QueryInterface(riid, container) : OwningDevice().QueryInterface(riid, container);
  if (FAILED(hr)) return ReportFailure(hr, "IDirect3DSurface9::GetContainer", "the container has no such interface");
  return hr;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
  if (!desc) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DSurface9::GetDesc", "null description");
  *desc = desc_;
  return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
  return Lock(locked, rect, flags, "IDirect3DSurface9::LockRect");
}

HRESULT Surface::Lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags, const char* call) {
  if (!locked) return ReportFailure(D3DERR_INVALIDCALL, call, "null locked-rectangle pointer");
  if (!lockable_) {
    return ReportFailure(
        D3DERR_INVALIDCALL, call,
        "the surface is not lockable (default pool without D3DUSAGE_DYNAMIC, or not created lockable)");
  }
  if (locked_) return ReportFailure(D3DERR_INVALIDCALL, call, "the surface is already locked");
  if (flags & ~kSurfaceLockFlags) return ReportFailure(D3DERR_INVALIDCALL, call, "unknown or buffer-only lock flags");
  if ((flags & D3DLOCK_DISCARD) && !(desc_.Usage & D3DUSAGE_DYNAMIC)) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "D3DLOCK_DISCARD needs a D3DUSAGE_DYNAMIC resource");
  }
  if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY)) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "D3DLOCK_DISCARD and D3DLOCK_READONLY together");
  }
  UINT left = 0, top = 0;
  if (rect) {
    if (rect->left >= rect->right || rect->top >= rect->bottom) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "the rectangle is empty");
    }
    if (rect->left < 0 || rect->top < 0 || rect->right < 0 || rect->bottom < 0 ||
        !RegionFits(storage_.Layout(), desc_.Width, desc_.Height, static_cast<UINT>(rect->left),
                    static_cast<UINT>(rect->top), static_cast<UINT>(rect->right), static_cast<UINT>(rect->bottom))) {
      return ReportFailure(D3DERR_INVALIDCALL, call,
                           "the rectangle is not inside the surface or not aligned to the format's blocks");
    }
    left = static_cast<UINT>(rect->left);
    top = static_cast<UINT>(rect->top);
  }
  if (HRESULT hr = GuardAllocation(call,
                                   [&] {
                                     const BYTE* bytes = (flags & D3DLOCK_DISCARD) ? storage_.Bytes() : ReadableBytes();
                                     return bytes ? D3D_OK
                                                  : ReportFailure(E_OUTOFMEMORY, call, "no memory for the surface");
                                   });
      FAILED(hr)) {
    return hr;
  }
  locked->pBits = storage_.Address(left, top, 0);
  locked->Pitch = static_cast<INT>(storage_.RowPitch());
  locked_ = true;
  lockFlags_ = flags;
  return D3D_OK;
}

HRESULT Surface::UnlockRect() { return Unlock("IDirect3DSurface9::UnlockRect"); }

HRESULT Surface::Unlock(const char* call) {
  if (!locked_) return ReportFailure(D3DERR_INVALIDCALL, call, "the surface is not locked");
  locked_ = false;
  if (lockFlags_ & D3DLOCK_READONLY) return D3D_OK;
  return GuardAllocation(call, [&] {
    ContentWritten(!(lockFlags_ & D3DLOCK_NO_DIRTY_UPDATE));
    return D3D_OK;
  });
}

BYTE* Surface::ReadableBytes() {
  BYTE* bytes = storage_.Bytes();
  if (bytes && RendererBacked()) OwningDevice().GetRenderer().ReadSurface(*this);
  return bytes;
}

void Surface::ContentWritten(bool markDirty) {
  ++version_;
  if (texture_) {
    texture_->ContentChanged();
    if (markDirty) texture_->MarkDirty();
  }
  if (RendererBacked()) OwningDevice().GetRenderer().SurfaceWritten(*this);
}

}  // namespace rastro
