// The window and OpenGL context a renderer draws with, and what Present does with them: the
// back buffer blitted across the window, the swap, and the pacing that keeps at most two
// frames in flight.
#pragma once

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <deque>

#include "renderer/Renderer.h"

namespace rastro {

class GlPresenter {
 public:
  GlPresenter() = default;
  GlPresenter(const GlPresenter&) = delete;
  GlPresenter& operator=(const GlPresenter&) = delete;
  ~GlPresenter();

  // Takes the device's window (or makes a hidden one when there is none), creates the context
  // and makes it current, and switches a full-screen device's window to its mode.
  HRESULT Open(const RendererCreation& creation);

  // Whether Open made a context.
  bool Opened() const { return context_ != nullptr; }

  void MakeCurrent() {
    if (current_ != this) MakeCurrentSlow();
  }
  // Some other context was made current (adapter probing).
  static void ForgetCurrent() { current_ = nullptr; }

  // The size of the window's drawable for parameters that leave it at 0.
  static void WindowClientSize(HWND window, UINT& width, UINT& height);
  void SetSwapInterval(UINT presentationInterval);

  // Whether a presented frame can be seen: a window of its own would be hidden, the offscreen
  // driver shows nothing, and a hidden or minimised window has nothing to show it in.
  bool Visible() const;
  // Blits a top-down image (colour attachment 0 of `readFramebuffer`, width × height) across
  // the window's whole real drawable, whatever size the window manager gave it, and swaps. Leaves the default
  // framebuffer bound for drawing.
  void Show(GLuint readFramebuffer, UINT width, UINT height);
  // Ends a frame: at most two frames stay in flight, so the time of a frame includes the work
  // it asked for. The wait for the oldest is bounded, so a hung GPU cannot hang the caller.
  void EndFrame();

 private:
  void MakeCurrentSlow();
  // The window's real drawable size.
  void DrawableSize(int& width, int& height);

  static GlPresenter* current_;

  SDL_Window* window_ = nullptr;
  bool ownsWindow_ = false;
  bool fullScreenSet_ = false;
  bool headless_ = false;
  SDL_GLContext context_ = nullptr;
  std::deque<GLsync> framesInFlight_;
  SDL_Rect windowedBox_{};  // where the window was before full screen
  bool drawableKnown_ = false;
  int sdlSize_[2] = {0, 0};
  int drawableSize_[2] = {0, 0};
};

}  // namespace rastro
