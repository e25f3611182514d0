#include "Volume.h"

#include "DebugOutput.h"
#include "TextureCommon.h"

namespace rastro {

Volume::Volume(Device& device, Resource* containerResource, IUnknown* container, TextureCommon* texture,
               const D3DVOLUME_DESC& desc, bool lockable)
    : Resource(device, Ownership::Contained, containerResource),
      desc_(desc),
      container_(container),
      texture_(texture),
      lockable_(lockable) {}

HRESULT Volume::Initialise() {
  return storage_.Describe(DescribeFormat(desc_.Format), desc_.Width, desc_.Height, desc_.Depth);
}

HRESULT Volume::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3DVolume9) {
    AddRef();
    *object = static_cast<IDirect3DVolume9*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT Volume::GetContainer(REFIID riid, void** container) {
  if (!container) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolume9::GetContainer", "null out pointer");
  const HRESULT hr = container_->QueryInterface(riid, container);
  if (FAILED(hr)) return ReportFailure(hr, "IDirect3DVolume9::GetContainer", "the container has no such interface");
  return hr;
}

HRESULT Volume::GetDesc(D3DVOLUME_DESC* desc) {
  if (!desc) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVolume9::GetDesc", "null description");
  *desc = desc_;
  return D3D_OK;
}

HRESULT Volume::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
  return Lock(locked, box, flags, "IDirect3DVolume9::LockBox");
}

HRESULT Volume::Lock(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags, const char* call) {
  if (!locked) return ReportFailure(D3DERR_INVALIDCALL, call, "null locked-box pointer");
  if (!lockable_) {
    return ReportFailure(D3DERR_INVALIDCALL, call,
                         "the volume is not lockable (default pool without D3DUSAGE_DYNAMIC)");
  }
  if (locked_) return ReportFailure(D3DERR_INVALIDCALL, call, "the volume is already locked");
  if (flags & ~kSurfaceLockFlags) return ReportFailure(D3DERR_INVALIDCALL, call, "unknown or buffer-only lock flags");
  if ((flags & D3DLOCK_DISCARD) && !(desc_.Usage & D3DUSAGE_DYNAMIC)) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "D3DLOCK_DISCARD needs a D3DUSAGE_DYNAMIC resource");
  }
  if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY)) {
    return ReportFailure(D3DERR_INVALIDCALL, call, "D3DLOCK_DISCARD and D3DLOCK_READONLY together");
  }
  UINT left = 0, top = 0, front = 0;
  if (box) {
    if (box->Left >= box->Right || box->Top >= box->Bottom || box->Front >= box->Back) {
      return ReportFailure(D3DERR_INVALIDCALL, call, "the box is empty");
    }
    if (!RegionFits(storage_.Layout(), desc_.Width, desc_.Height, box->Left, box->Top, box->Right, box->Bottom) ||
        box->Front > box->Back || box->Back > desc_.Depth) {
      return ReportFailure(D3DERR_INVALIDCALL, call,
                           "the box is not inside the volume or not aligned to the format's blocks");
    }
    left = box->Left;
    top = box->Top;
    front = box->Front;
  }
  if (!storage_.Bytes()) return ReportFailure(E_OUTOFMEMORY, call, "no memory for the volume");
  locked->pBits = storage_.Address(left, top, front);
  locked->RowPitch = static_cast<INT>(storage_.RowPitch());
  locked->SlicePitch = static_cast<INT>(storage_.SlicePitch());
  locked_ = true;
  lockFlags_ = flags;
  return D3D_OK;
}

HRESULT Volume::UnlockBox() { return Unlock("IDirect3DVolume9::UnlockBox"); }

HRESULT Volume::Unlock(const char* call) {
  if (!locked_) return ReportFailure(D3DERR_INVALIDCALL, call, "the volume is not locked");
  locked_ = false;
  if (!(lockFlags_ & D3DLOCK_READONLY)) ContentWritten(!(lockFlags_ & D3DLOCK_NO_DIRTY_UPDATE));
  return D3D_OK;
}

void Volume::ContentWritten(bool markDirty) {
  ++version_;
  texture_->ContentChanged();
  if (markDirty) texture_->MarkDirty();
}

}  // namespace rastro
