// A fill-rate test: one rendering configuration, drawn as a screen-covering quadrilateral
// `PixelFactor` times per frame.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ComPtr.h"
#include "d3d9.h"

namespace rastro {

// The back buffer's size, which every test covers.
struct ScreenSize {
  UINT width = 0;
  UINT height = 0;
};

class FillTest {
 public:
  explicit FillTest(ScreenSize screen) : screen_(screen) {}
  virtual ~FillTest() = default;
  FillTest(const FillTest&) = delete;
  FillTest& operator=(const FillTest&) = delete;

  // The test's name as written to the results file.
  virtual const char* Name() const = 0;
  // Quadrilaterals drawn per frame.
  virtual unsigned PixelFactor() const = 0;
  // Creates the test's resources on `device` (borrowed, not referenced) and sets its state;
  // false when the test cannot run. Whatever was created stays held until Destroy.
  virtual bool Init(IDirect3DDevice9* device) = 0;
  // Issues one frame's draws; the caller brackets them with BeginScene and EndScene.
  virtual bool Render();
  // Releases every resource the test holds, in slot order. Safe after an Init that failed at
  // any step, and again after itself.
  virtual bool Destroy() = 0;

  // Why the last Init returned false: the call and its result, or the file and what became of
  // it. Empty after an Init that succeeded.
  const std::string& FailureReason() const { return failure_; }

 protected:
  // Starts an Init: the device is kept (borrowed) and no failure is known yet.
  void BeginInit(IDirect3DDevice9* device) {
    device_ = device;
    failure_.clear();
  }
  // Ends an Init that failed, for `reason`.
  bool Fail(std::string reason) {
    failure_ = std::move(reason);
    return false;
  }

  IDirect3DDevice9* device_ = nullptr;
  ScreenSize screen_;
  std::string failure_;
};

// "CreateVertexBuffer returned E_OUTOFMEMORY (0x8007000E)", for a call that left its out
// pointer null.
std::string CallFailure(const char* call, HRESULT result);

// Vertex of the coloured screen-space layout.
struct ColouredVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
};
static_assert(sizeof(ColouredVertex) == 20);

inline constexpr DWORD kColouredFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

inline constexpr std::array<D3DCOLOR, 4> kColourRamp{0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
inline constexpr std::array<D3DCOLOR, 4> kOpaqueRamp{0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};

// The four corners of the screen in strip order: (0, 0), (W, 0), (0, H), (W, H).
std::array<ColouredVertex, 4> ScreenQuad(ScreenSize screen, const std::array<D3DCOLOR, 4>& colours);

// Creates a managed, write-only vertex buffer of `bytes` bytes with `fvf` and copies `data`
// into it. The buffer lands in `slot`; false, with the reason in `failure`, when it is null
// afterwards.
bool MakeVertexBuffer(IDirect3DDevice9& device, const void* data, UINT bytes, DWORD fvf,
                      ComPtr<IDirect3DVertexBuffer9>& slot, std::string& failure);

// Creates a vertex declaration into `slot`; false, with the reason in `failure`, when it is null
// afterwards.
bool MakeDeclaration(IDirect3DDevice9& device, const D3DVERTEXELEMENT9* elements,
                     ComPtr<IDirect3DVertexDeclaration9>& slot, std::string& failure);

// Sets the colour-write mask, where the device offers one.
void SetColourWrites(IDirect3DDevice9& device, DWORD mask);

// Turns depth writes and the depth test off.
void SetDepthOff(IDirect3DDevice9& device);

}  // namespace rastro
