// The OpenGL adapter on a real X display with no window manager (CTest runs this program under
// xvfb-run): display formats follow the display's depth, and a full-screen device's window
// covers its mode and shows the whole frame. What the X server really did is asked of the X
// server itself, not of SDL.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ComPtr.h"
#include "d3d9.h"

// Xlib's macros (None, Bool, Status, ...) come last, after every header that uses those names.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace rastro::testing {
namespace {

class X11Display : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display; CTest runs these under xvfb-run";
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr) << "DISPLAY is set but cannot be opened";
    direct3d_ = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
    ASSERT_TRUE(direct3d_);
    ASSERT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
  }
  void TearDown() override {
    direct3d_.Reset();
    if (display_) XCloseDisplay(display_);
  }

  int Depth() const { return DefaultDepth(display_, DefaultScreen(display_)); }

  Display* display_ = nullptr;
  ComPtr<IDirect3D9> direct3d_;
};

TEST_F(X11Display, DisplayFormatsAreTheDisplaysOwn) {
  // The one display format a display of this depth has.
  D3DFORMAT own = Depth() == 16   ? D3DFMT_R5G6B5
                  : Depth() == 15 ? D3DFMT_X1R5G5B5
                  : Depth() == 30 ? D3DFMT_A2R10G10B10
                                  : D3DFMT_X8R8G8B8;
  for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A2R10G10B10}) {
    SCOPED_TRACE(format);
    if (format == own) {
      EXPECT_GT(direct3d_->GetAdapterModeCount(0, format), 0u);
    } else {
      EXPECT_EQ(direct3d_->GetAdapterModeCount(0, format), 0u);
      EXPECT_NE(direct3d_->CheckDeviceType(0, D3DDEVTYPE_HAL, format, format, FALSE), D3D_OK);
    }
  }
  D3DDISPLAYMODE desktop{};
  ASSERT_EQ(direct3d_->GetAdapterDisplayMode(0, &desktop), D3D_OK);
  // A2R10G10B10 is a display format for full screen only: windows see a 30-bit desktop as X8R8G8B8.
  EXPECT_EQ(desktop.Format, own == D3DFMT_A2R10G10B10 ? D3DFMT_X8R8G8B8 : own);
  EXPECT_EQ(static_cast<int>(desktop.Width), DisplayWidth(display_, DefaultScreen(display_)));
}

TEST_F(X11Display, FullScreenWindowCoversItsModeAndShowsTheWholeFrame) {
  // As the program makes it: a small window, placed by nobody.
  SDL_Window* window = SDL_CreateWindow("Rastrometer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 400, 400,
                                        SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  ASSERT_NE(window, nullptr);
  SDL_ShowWindow(window);
  D3DFORMAT format = Depth() == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
  UINT modes = direct3d_->GetAdapterModeCount(0, format);
  ASSERT_GT(modes, 0u);
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(direct3d_->EnumAdapterModes(0, format, modes - 1, &mode), D3D_OK);  // the largest

  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = mode.Width;
  parameters.BackBufferHeight = mode.Height;
  parameters.BackBufferFormat = format;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
  parameters.hDeviceWindow = window;
  parameters.Windowed = FALSE;
  parameters.FullScreen_RefreshRateInHz = mode.RefreshRate;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  {
    ComPtr<IDirect3DDevice9> device;
    ASSERT_EQ(direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                      device.ReleaseAndGetAddressOf()),
              D3D_OK);
    // Left half red, right half blue.
    const LONG half = static_cast<LONG>(mode.Width / 2);
    D3DRECT left{0, 0, half, static_cast<LONG>(mode.Height)};
    D3DRECT right{half, 0, static_cast<LONG>(mode.Width), static_cast<LONG>(mode.Height)};
    ASSERT_EQ(device->Clear(1, &left, D3DCLEAR_TARGET, 0x00FF0000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Clear(1, &right, D3DCLEAR_TARGET, 0x000000FF, 1.0f, 0), D3D_OK);
    for (int frame = 0; frame < 3; ++frame) {
      ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
      SDL_PumpEvents();
    }

    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info));
    ::Window x11Window = info.info.x11.window;
    XSync(display_, False);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display_, x11Window, &attributes));
    int rootX = -1, rootY = -1;
    ::Window child;
    XTranslateCoordinates(display_, x11Window, DefaultRootWindow(display_), 0, 0, &rootX, &rootY, &child);
    EXPECT_EQ(attributes.width, static_cast<int>(mode.Width));
    EXPECT_EQ(attributes.height, static_cast<int>(mode.Height));
    EXPECT_EQ(rootX, 0);
    EXPECT_EQ(rootY, 0);

    // What the window shows: the frame's halves across its whole real size.
    const int w = attributes.width, h = attributes.height;
    XImage* image =
        XGetImage(display_, x11Window, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    auto isRed = [&](int x, int y) {
      unsigned long pixel = XGetPixel(image, x, y);
      return (pixel & image->red_mask) == image->red_mask && (pixel & image->blue_mask) == 0;
    };
    auto isBlue = [&](int x, int y) {
      unsigned long pixel = XGetPixel(image, x, y);
      return (pixel & image->blue_mask) == image->blue_mask && (pixel & image->red_mask) == 0;
    };
    EXPECT_TRUE(isRed(0, 0));
    EXPECT_TRUE(isRed(w / 2 - 2, h - 1));
    EXPECT_TRUE(isBlue(w / 2 + 2, 0));
    EXPECT_TRUE(isBlue(w - 1, h - 1));
    XDestroyImage(image);
  }
  SDL_DestroyWindow(window);
}

}  // namespace
}  // namespace rastro::testing
