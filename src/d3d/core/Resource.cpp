#include "Resource.h"

#include "Device.h"

namespace rastro {

Resource::Resource(Device& device, Ownership ownership, Resource* container)
    : device_(&device), ownership_(ownership), container_(container) {
  if (ownership_ == Ownership::Standalone) {
    device_->AddRef();
  } else {
    publicRefs_ = 0;
  }
}

Resource::~Resource() {
  if (inDefaultPool_) device_->DefaultPoolResourceDestroyed();
}

void Resource::CountInDefaultPool() {
  if (inDefaultPool_ || ownership_ != Ownership::Standalone) return;
  inDefaultPool_ = true;
  device_->DefaultPoolResourceCreated();
}

ULONG Resource::AddRefPublic() {
  switch (ownership_) {
    case Ownership::Contained: return container_->AddRefPublic();
    case Ownership::Implicit: ++publicRefs_; return device_->AddRef();
    case Ownership::Standalone: break;
  }
  // An object kept alive only by a binding comes back to life: it holds its device again.
  if (publicRefs_++ == 0) device_->AddRef();
  return publicRefs_;
}

ULONG Resource::ReleasePublic() {
  switch (ownership_) {
    case Ownership::Contained: return container_->ReleasePublic();
    case Ownership::Implicit:
      if (publicRefs_ == 0) return 0;
      --publicRefs_;
      return device_->Release();
    case Ownership::Standalone: break;
  }
  if (publicRefs_ == 0) return 0;  // released once too often; nothing left to give back
  ULONG left = --publicRefs_;
  if (left == 0) {
    // The device may go with this release and unbind (and so destroy) this object: touch
    // nothing of it afterwards.
    Device* device = device_;
    if (privateRefs_ == 0) delete this;
    device->Release();
  }
  return left;
}

void Resource::AddRefPrivate() {
  switch (ownership_) {
    case Ownership::Contained: container_->AddRefPrivate(); return;
    case Ownership::Implicit: return;
    case Ownership::Standalone: ++privateRefs_; return;
  }
}

void Resource::ReleasePrivate() {
  switch (ownership_) {
    case Ownership::Contained: container_->ReleasePrivate(); return;
    case Ownership::Implicit: return;
    case Ownership::Standalone: break;
  }
  if (privateRefs_ == 0) return;
  if (--privateRefs_ == 0 && publicRefs_ == 0) delete this;
}

HRESULT Resource::GetDeviceInterface(IDirect3DDevice9** device) {
  if (!device) return D3DERR_INVALIDCALL;
  device_->AddRef();
  *device = device_;
  return D3D_OK;
}

}  // namespace rastro
