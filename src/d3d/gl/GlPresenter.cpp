#include "GlPresenter.h"

#include "DebugOutput.h"
#include "GlxDrawable.h"
#include "SdlVideo.h"

namespace rastro {

GlPresenter* GlPresenter::current_ = nullptr;

namespace {
// Frames Present lets the GPU work on before it waits, as a real device's queue does.
constexpr size_t kFramesInFlight = 2;
// How long Present waits for the oldest frame before it stops waiting for it.
constexpr GLuint64 kFenceWaitNanoseconds = 5'000'000'000ull;
}  // namespace

HRESULT GlPresenter::Open(const RendererCreation& creation) {
  const D3DPRESENT_PARAMETERS& presentation = *creation.presentation;
  HWND window = presentation.hDeviceWindow ? presentation.hDeviceWindow : creation.focusWindow;
  if (window) {
    window_ = static_cast<SDL_Window*>(window);
    if (!(SDL_GetWindowFlags(window_) & SDL_WINDOW_OPENGL)) {
      return ReportFailure(D3DERR_NOTAVAILABLE, "IDirect3D9::CreateDevice", "the window was not made for OpenGL");
    }
  } else {
    // No window: the device renders into its framebuffer objects only.
    RequestCoreContext();
    window_ = SDL_CreateWindow("Rastrometer", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) return ReportFailure(D3DERR_NOTAVAILABLE, "IDirect3D9::CreateDevice", SDL_GetError());
    ownsWindow_ = true;
  }
  RequestCoreContext();
  context_ = SDL_GL_CreateContext(window_);
  if (!context_) return ReportFailure(D3DERR_NOTAVAILABLE, "IDirect3D9::CreateDevice", SDL_GetError());
  current_ = nullptr;
  MakeCurrent();
  headless_ = SdlVideoHeadless();

  if (!presentation.Windowed && !ownsWindow_) {
    SDL_DisplayMode mode{};
    mode.w = static_cast<int>(presentation.BackBufferWidth);
    mode.h = static_cast<int>(presentation.BackBufferHeight);
    mode.refresh_rate = static_cast<int>(presentation.FullScreen_RefreshRateInHz);
    // Without a window manager nobody but us moves or sizes the window for full screen: it is
    // placed on its display's origin at the mode's size first, then made full screen.
    SDL_GetWindowPosition(window_, &windowedBox_.x, &windowedBox_.y);
    SDL_GetWindowSize(window_, &windowedBox_.w, &windowedBox_.h);
    SDL_Rect bounds{};
    int display = SDL_GetWindowDisplayIndex(window_);
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) bounds = {};
    SDL_SetWindowPosition(window_, bounds.x, bounds.y);
    SDL_SetWindowSize(window_, mode.w, mode.h);
    if (SDL_SetWindowDisplayMode(window_, &mode) != 0 || SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) != 0) {
      return ReportFailure(D3DERR_NOTAVAILABLE, "IDirect3D9::CreateDevice", SDL_GetError());
    }
    fullScreenSet_ = true;
  }
  return D3D_OK;
}

void GlPresenter::DrawableSize(int& width, int& height) {
  int sdlWidth = 0, sdlHeight = 0;
  SDL_GL_GetDrawableSize(window_, &sdlWidth, &sdlHeight);
  // SDL's idea of the size is what it last heard from the window system or assumed when going
  // full screen; the X server is asked again whenever that idea changes, and on the first
  // frame, so a window manager that did not do what SDL assumed is noticed.
  if (!drawableKnown_ || sdlWidth != sdlSize_[0] || sdlHeight != sdlSize_[1]) {
    sdlSize_[0] = sdlWidth;
    sdlSize_[1] = sdlHeight;
    drawableSize_[0] = sdlWidth;
    drawableSize_[1] = sdlHeight;
    CurrentGlxDrawableSize(drawableSize_[0], drawableSize_[1]);
    drawableKnown_ = true;
  }
  width = drawableSize_[0];
  height = drawableSize_[1];
}

GlPresenter::~GlPresenter() {
  if (context_) {
    MakeCurrent();
    for (GLsync fence : framesInFlight_) glDeleteSync(fence);
    if (fullScreenSet_) {
      SDL_SetWindowFullscreen(window_, 0);
      SDL_SetWindowSize(window_, windowedBox_.w, windowedBox_.h);
      SDL_SetWindowPosition(window_, windowedBox_.x, windowedBox_.y);
    }
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    current_ = nullptr;
  }
  if (ownsWindow_ && window_) SDL_DestroyWindow(window_);
}

void GlPresenter::MakeCurrentSlow() {
  SDL_GL_MakeCurrent(window_, context_);
  current_ = this;
}

void GlPresenter::WindowClientSize(HWND window, UINT& width, UINT& height) {
  int w = 0, h = 0;
  if (window) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window), &w, &h);
  if (!width) width = w > 0 ? static_cast<UINT>(w) : 1;
  if (!height) height = h > 0 ? static_cast<UINT>(h) : 1;
}

void GlPresenter::SetSwapInterval(UINT presentationInterval) {
  MakeCurrent();
  SDL_GL_SetSwapInterval(presentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
}

bool GlPresenter::Visible() const {
  return !ownsWindow_ && !headless_ && !(SDL_GetWindowFlags(window_) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

void GlPresenter::Show(GLuint readFramebuffer, UINT width, UINT height) {
  int drawableWidth = 0, drawableHeight = 0;
  DrawableSize(drawableWidth, drawableHeight);
  if (drawableWidth <= 0 || drawableHeight <= 0) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  auto w = static_cast<GLint>(width), h = static_cast<GLint>(height);
  // Rows are stored top-down; the window's go bottom-up.
  glBlitFramebuffer(0, 0, w, h, 0, drawableHeight, drawableWidth, 0, GL_COLOR_BUFFER_BIT,
                    w == drawableWidth && h == drawableHeight ? GL_NEAREST : GL_LINEAR);
  SDL_GL_SwapWindow(window_);
}

void GlPresenter::EndFrame() {
  framesInFlight_.push_back(glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0));
  glFlush();
  while (framesInFlight_.size() > kFramesInFlight) {
    GLsync oldest = framesInFlight_.front();
    framesInFlight_.pop_front();
    if (glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, kFenceWaitNanoseconds) == GL_TIMEOUT_EXPIRED) {
      ReportFailure(D3DERR_DRIVERINTERNALERROR, "IDirect3DDevice9::Present", "a frame did not finish in 5 seconds");
    }
    glDeleteSync(oldest);
  }
}

}  // namespace rastro
