// What a device asks of the thing that puts pixels somewhere. The device core decides what is
// legal and keeps every resource in memory; a renderer only mirrors resources and draws.
#pragma once

#include <vector>

#include "DeviceProfile.h"
#include "d3d9.h"

namespace rastro {

struct DeviceState;
class Surface;
class TextureCommon;

struct RendererCreation {
  UINT adapter;
  HWND focusWindow;
  DWORD behaviorFlags;
  const D3DPRESENT_PARAMETERS* presentation;  // already checked and completed
  const DeviceProfile* profile;
};

// The implicit surfaces a renderer presents from, handed over once the device made them.
struct SwapChainSurfaces {
  Surface* backBuffer;
  Surface* depthStencil;  // null without an auto depth-stencil
};

class Renderer {
 public:
  virtual ~Renderer() = default;

  // The size a windowed device's back buffer takes when the parameters leave it at 0.
  virtual void WindowClientSize(HWND window, UINT& width, UINT& height) {
    (void)window;
    width = width ? width : 1;
    height = height ? height : 1;
  }
  virtual HRESULT AttachSwapChain(const D3DPRESENT_PARAMETERS& presentation, const SwapChainSurfaces& surfaces) = 0;
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT BeginScene() = 0;
  virtual void EndScene() = 0;
  // Fills the rectangles (already clipped to viewport and scissor, in render-target pixels) of
  // the current targets; `whole` says they cover the targets entirely.
  virtual void Clear(DeviceState& state, const std::vector<D3DRECT>& rects, bool whole, DWORD flags, D3DCOLOR color,
                     float z, DWORD stencil) = 0;
  // Draws with the current state; the device checked the call and the vertex range.
  virtual void Draw(DeviceState& state, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
  virtual HRESULT Present() = 0;
  // Brings a renderer-backed surface's memory up to date with what was drawn into it.
  virtual void ReadSurface(Surface& surface) = 0;
  // The CPU changed a renderer-backed surface's memory.
  virtual void SurfaceWritten(Surface& surface) = 0;
  virtual void GenerateMipSubLevels(TextureCommon& texture) = 0;
  // A shader was created: a renderer may prepare what does not depend on the state it will be
  // drawn with, so that its first draw has less to do.
  virtual void ShaderCreated(const std::vector<DWORD>& tokens) { (void)tokens; }
};

}  // namespace rastro
