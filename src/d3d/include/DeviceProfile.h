// What an adapter can do, as data. The Direct3D object answers every adapter query (modes,
// capabilities, the Check* family) from its adapters' profiles, and devices enforce them.
// Tests build profiles freely to reach every capability branch of their callers; the OpenGL
// renderer fills one from what the GL implementation offers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "d3d9.h"

namespace rastro {

class Renderer;
struct RendererCreation;

// One format that a resource type accepts, with every usage bit (creation and query bits
// alike) it accepts it for. A format may be listed once per resource type.
struct FormatSupport {
  D3DRESOURCETYPE resourceType;
  D3DFORMAT format;
  DWORD usage;
};

// A display format and a back-buffer format a device may be created with.
struct DeviceTypeMatch {
  D3DFORMAT displayFormat;
  D3DFORMAT backBufferFormat;
  bool windowed;    // offered for windowed devices
  bool fullScreen;  // offered for full-screen devices
};

// A depth-stencil format usable with a render-target format.
struct DepthStencilMatch {
  D3DFORMAT renderTargetFormat;
  D3DFORMAT depthStencilFormat;
};

struct DeviceProfile {
  std::string description;
  std::string driver = "rastrometer";
  ULONGLONG driverVersion = 0;  // product.version.subversion.build, 16 bits each
  DWORD vendorId = 0;
  DWORD deviceId = 0;
  // Display modes of every display format; within a format, in enumeration order.
  std::vector<D3DDISPLAYMODE> displayModes;
  D3DDISPLAYMODE desktopMode{};  // the adapter's current mode
  D3DCAPS9 caps{};
  std::vector<FormatSupport> formats;
  std::vector<DeviceTypeMatch> deviceTypes;
  std::vector<DepthStencilMatch> depthStencilMatches;
  UINT availableTextureMemory = 256u << 20;

  // Editing helpers for tests: add (or widen) support of a format for a resource type, and
  // take a format out of every list it appears in.
  void Support(D3DRESOURCETYPE resourceType, D3DFORMAT format, DWORD usage);
  void Withdraw(D3DFORMAT format);
  const FormatSupport* FindFormat(D3DRESOURCETYPE resourceType, D3DFORMAT format) const;
};

// Builds the renderer behind a device being created; a failure code (and null) refuses it.
using RendererFactory = std::function<std::unique_ptr<Renderer>(const RendererCreation&, HRESULT& result)>;

struct Adapter {
  DeviceProfile profile;
  RendererFactory createRenderer;
};

// A Direct3D 9 class adapter of 2004: pixel and vertex shaders 2.0, eight texture stages,
// 4096 x 4096 textures without power-of-two limits, every format of the loader's catalogue a
// card of that time supports, X8R8G8B8/R5G6B5/X1R5G5B5 display modes from 640x480 to 1600x1200
// (with A8R8G8B8 and A1R5G5B5 back buffers on the 32- and 15-bit ones), D16, D24S8, D24X8 and
// D32 depth buffers.
DeviceProfile CapableProfile();

// A Direct3D object over the given adapters (ordinal = position). One reference, the caller's.
IDirect3D9* CreateDirect3D(std::vector<Adapter> adapters);

// Test hooks of the resource-only renderer: it keeps every resource in memory, draws nothing and
// counts what it is asked to do. A test keeps the probe and reads or steers it between calls.
struct ResourceOnlyProbe {
  unsigned devicesCreated = 0;
  unsigned beginScenes = 0;  // successful ones
  unsigned endScenes = 0;
  unsigned clears = 0;
  unsigned draws = 0;
  unsigned presents = 0;
  unsigned primitives = 0;  // primitives of every draw
  DWORD lastClearFlags = 0;
  D3DCOLOR lastClearColor = 0;
  float lastClearZ = 0.0f;
  DWORD lastClearStencil = 0;
  D3DPRIMITIVETYPE lastPrimitiveType = D3DPT_FORCE_DWORD;
  // The next this many BeginScene calls fail with `beginSceneFailure`.
  unsigned failingBeginScenes = 0;
  HRESULT beginSceneFailure = D3DERR_DEVICELOST;
  // While set, TestCooperativeLevel reports the device lost.
  bool lost = false;
  // While set, every renderer call that could allocate (scene, clear, draw, present, surface
  // transfers, swap chains) throws std::bad_alloc, as a renderer out of memory would.
  bool outOfMemory = false;
};

// An adapter with the given profile whose devices use the resource-only renderer. It is only
// ever offered to tests; Direct3DCreate9 never lists it.
Adapter ResourceOnlyAdapter(DeviceProfile profile, std::shared_ptr<ResourceOnlyProbe> probe = nullptr);

}  // namespace rastro
