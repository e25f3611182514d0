// Reference counting shared by everything a device creates.
//
// Each object has two counts: the public one, owned by callers through AddRef/Release, and a
// private one that the device takes while the object is bound (as a texture, stream source,
// render target, ...). The object lives while either count is non-zero. While its public count
// is non-zero it holds one reference on its device, so a device outlives every object a caller
// still holds, whatever the order of the releases.
//
// Sub-objects (texture levels, cube faces, volume slices) have no counts of their own: both
// kinds of reference go to their container. The device's implicit surfaces (back buffer, auto
// depth-stencil) hand their references to the device itself.
#pragma once

#include <memory>

#include "d3d9.h"

namespace rastro {

class Device;

// What a renderer keeps for an object (GL names, upload bookkeeping); dropped with the object.
class RendererObject {
 public:
  virtual ~RendererObject() = default;
};

class Resource {
 public:
  enum class Ownership { Standalone, Contained, Implicit };

  Resource(Device& device, Ownership ownership, Resource* container = nullptr);
  Resource(const Resource&) = delete;
  Resource& operator=(const Resource&) = delete;
  virtual ~Resource();

  ULONG AddRefPublic();
  ULONG ReleasePublic();
  void AddRefPrivate();
  void ReleasePrivate();

  // References callers hold on this very object (not its container's).
  ULONG PublicRefs() const { return publicRefs_; }
  Device& OwningDevice() const { return *device_; }
  Resource* Container() const { return container_; }
  HRESULT GetDeviceInterface(IDirect3DDevice9** device);
  // Counts the object among the device's default-pool resources until it is destroyed.
  void CountInDefaultPool();

  // Renderer-side state of this object, created by the renderer when it first needs it.
  RendererObject* RendererData() const { return rendererData_.get(); }
  void SetRendererData(std::unique_ptr<RendererObject> data) { rendererData_ = std::move(data); }
  void DropRendererData() { rendererData_.reset(); }

 private:
  void DestroyIfUnreferenced();

  Device* device_;
  Ownership ownership_;
  Resource* container_;
  ULONG publicRefs_ = 1;
  ULONG privateRefs_ = 0;
  bool inDefaultPool_ = false;
  std::unique_ptr<RendererObject> rendererData_;
};

}  // namespace rastro
