#include "GlRenderer.h"

#include <algorithm>
#include <cstring>

#include "CubeTexture.h"
#include "DebugOutput.h"
#include "SdlVideo.h"
#include "Surface.h"
#include "Texture.h"
#include "VertexBuffer.h"
#include "VertexDeclaration.h"
#include "VolumeTexture.h"
#include "core/Shader.h"

namespace rastro {

GlRenderer* GlRenderer::current_ = nullptr;

namespace {
// Frames Present lets the GPU work on before it waits, as a real device's queue does.
constexpr size_t kFramesInFlight = 2;
}  // namespace

GlSurfaceData::~GlSurfaceData() {
  if (ownsTexture && texture) {
    owner->MakeCurrent();
    glDeleteTextures(1, &texture);
  }
}

GlTextureData::~GlTextureData() {
  if (texture) {
    owner->MakeCurrent();
    glDeleteTextures(1, &texture);
  }
}

GlBufferData::~GlBufferData() {
  if (buffer) {
    owner->MakeCurrent();
    glDeleteBuffers(1, &buffer);
  }
}

namespace {

void ColorFloats(D3DCOLOR color, float out[4]) {
  out[0] = static_cast<float>((color >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((color >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(color & 0xFF) / 255.0f;
  out[3] = static_cast<float>(color >> 24) / 255.0f;
}

GLenum CompareFunction(DWORD func) {
  switch (func) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum BlendFactor(DWORD blend) {
  switch (blend) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
  }
}

GLenum BlendEquation(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLenum StencilOperation(DWORD op) {
  switch (op) {
    case D3DSTENCILOP_ZERO: return GL_ZERO;
    case D3DSTENCILOP_REPLACE: return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT: return GL_INCR;
    case D3DSTENCILOP_DECRSAT: return GL_DECR;
    case D3DSTENCILOP_INVERT: return GL_INVERT;
    case D3DSTENCILOP_INCR: return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR: return GL_DECR_WRAP;
    default: return GL_KEEP;
  }
}

GLenum AddressMode(DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
  }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLE_STRIP;
  }
}

UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    default: return primitives + 2;
  }
}

struct DeclarationType {
  GLint size;
  GLenum type;
  GLboolean normalized;
};

bool DeclarationAttribute(BYTE type, DeclarationType& out) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1: out = {1, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT2: out = {2, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT3: out = {3, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT4: out = {4, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_D3DCOLOR: out = {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE}; return true;
    case D3DDECLTYPE_UBYTE4: out = {4, GL_UNSIGNED_BYTE, GL_FALSE}; return true;
    case D3DDECLTYPE_SHORT2: out = {2, GL_SHORT, GL_FALSE}; return true;
    case D3DDECLTYPE_SHORT4: out = {4, GL_SHORT, GL_FALSE}; return true;
    case D3DDECLTYPE_UBYTE4N: out = {4, GL_UNSIGNED_BYTE, GL_TRUE}; return true;
    case D3DDECLTYPE_SHORT2N: out = {2, GL_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_SHORT4N: out = {4, GL_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_USHORT2N: out = {2, GL_UNSIGNED_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_USHORT4N: out = {4, GL_UNSIGNED_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_FLOAT16_2: out = {2, GL_HALF_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT16_4: out = {4, GL_HALF_FLOAT, GL_FALSE}; return true;
    default: return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and the swap chain

std::unique_ptr<Renderer> GlRenderer::Create(const RendererCreation& creation, HRESULT& result) {
  std::unique_ptr<GlRenderer> renderer(new GlRenderer());
  result = renderer->Initialise(creation);
  if (FAILED(result)) return nullptr;
  return renderer;
}

HRESULT GlRenderer::Initialise(const RendererCreation& creation) {
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
    if (SDL_SetWindowDisplayMode(window_, &mode) != 0 || SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN) != 0) {
      return ReportFailure(D3DERR_NOTAVAILABLE, "IDirect3D9::CreateDevice", SDL_GetError());
    }
    fullScreenSet_ = true;
  }

  glGenFramebuffers(1, &drawFramebuffer_);
  glGenFramebuffers(1, &readFramebuffer_);
  glGenVertexArrays(1, &vertexArray_);
  glGenSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_);
  glBindVertexArray(vertexArray_);
  for (GLuint stage = 0; stage < samplers_.size(); ++stage) glBindSampler(stage, samplers_[stage]);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // Direct3D's flat shading takes the first vertex of a primitive.
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  glFrontFace(GL_CCW);
  return D3D_OK;
}

GlRenderer::~GlRenderer() {
  if (!context_) {
    if (ownsWindow_ && window_) SDL_DestroyWindow(window_);
    return;
  }
  MakeCurrent();
  for (GLsync fence : framesInFlight_) glDeleteSync(fence);
  glDeleteSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
  glDeleteVertexArrays(1, &vertexArray_);
  glDeleteFramebuffers(1, &drawFramebuffer_);
  glDeleteFramebuffers(1, &readFramebuffer_);
  programs_.reset();
  if (fullScreenSet_) SDL_SetWindowFullscreen(window_, 0);
  SDL_GL_MakeCurrent(window_, nullptr);
  SDL_GL_DeleteContext(context_);
  current_ = nullptr;
  if (ownsWindow_) SDL_DestroyWindow(window_);
}

void GlRenderer::MakeCurrentSlow() {
  SDL_GL_MakeCurrent(window_, context_);
  current_ = this;
}

void GlRenderer::WindowClientSize(HWND window, UINT& width, UINT& height) {
  int w = 0, h = 0;
  if (window) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window), &w, &h);
  if (!width) width = w > 0 ? static_cast<UINT>(w) : 1;
  if (!height) height = h > 0 ? static_cast<UINT>(h) : 1;
}

HRESULT GlRenderer::AttachSwapChain(const D3DPRESENT_PARAMETERS& presentation, const SwapChainSurfaces& surfaces) {
  MakeCurrent();
  presentation_ = presentation;
  backBuffer_ = surfaces.backBuffer;
  GlFormat format;
  if (!LookupGlFormat(presentation.BackBufferFormat, format) || !format.renderable) return D3DERR_NOTAVAILABLE;
  SDL_GL_SetSwapInterval(presentation.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  colorTarget_ = depthTarget_ = nullptr;
  program_ = nullptr;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// Surfaces, textures and buffers

GlSurfaceData* GlRenderer::SurfaceData(Surface& surface) {
  if (auto* data = static_cast<GlSurfaceData*>(surface.RendererData())) return data;
  auto data = std::make_unique<GlSurfaceData>();
  data->owner = this;
  const D3DSURFACE_DESC& desc = surface.Desc();
  data->width = desc.Width;
  data->height = desc.Height;
  if (!LookupGlFormat(desc.Format, data->format)) return nullptr;
  MakeCurrent();
  if (TextureCommon* container = surface.Texture()) {
    // A level of a texture: draw into the texture's own GL object.
    GlTextureData* texture = TextureData(*container);
    if (!texture) return nullptr;
    if (!texture->allocated) UploadTexture(*container, *texture);
    data->texture = texture->texture;
    data->target = texture->target;
    data->level = 0;
    if (auto* flat = dynamic_cast<Texture*>(container)) {
      for (UINT level = 0; level < flat->Levels(); ++level) {
        if (&flat->Level(level) == &surface) data->level = static_cast<GLint>(level);
      }
    } else if (auto* cube = dynamic_cast<CubeTexture*>(container)) {
      for (UINT face = 0; face < 6; ++face) {
        for (UINT level = 0; level < cube->Levels(); ++level) {
          if (&cube->Face(face, level) != &surface) continue;
          data->target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
          data->level = static_cast<GLint>(level);
        }
      }
    }
  } else {
    glGenTextures(1, &data->texture);
    data->ownsTexture = true;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, data->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // Starts with what the memory holds, so both sides agree from the beginning.
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(data->format.internalFormat), static_cast<GLsizei>(desc.Width),
                 static_cast<GLsizei>(desc.Height), 0, data->format.format, data->format.type,
                 surface.Storage().Bytes());
    stageTextures_[0] = nullptr;  // texture unit 0 no longer holds what the state says
  }
  GlSurfaceData* raw = data.get();
  surface.SetRendererData(std::move(data));
  return raw;
}

GlTextureData* GlRenderer::TextureData(TextureCommon& texture) {
  auto* resource = dynamic_cast<Resource*>(&texture);
  if (auto* data = static_cast<GlTextureData*>(resource->RendererData())) return data;
  auto data = std::make_unique<GlTextureData>();
  data->owner = this;
  if (!LookupGlFormat(texture.Format(), data->format)) return nullptr;
  data->target = texture.Type() == D3DRTYPE_CUBETEXTURE     ? GL_TEXTURE_CUBE_MAP
                 : texture.Type() == D3DRTYPE_VOLUMETEXTURE ? GL_TEXTURE_3D
                                                            : GL_TEXTURE_2D;
  MakeCurrent();
  glGenTextures(1, &data->texture);
  GlTextureData* raw = data.get();
  resource->SetRendererData(std::move(data));
  return raw;
}

void GlRenderer::UploadTexture(TextureCommon& texture, GlTextureData& data) {
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(data.target, data.texture);
  stageTextures_[0] = nullptr;
  const GlFormat& format = data.format;
  bool autoGen = texture.Usage() & D3DUSAGE_AUTOGENMIPMAP;
  if (!data.allocated) {
    glTexParameteri(data.target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(data.target, GL_TEXTURE_MAX_LEVEL, autoGen ? 1000 : static_cast<GLint>(texture.Levels()) - 1);
    glTexParameteriv(data.target, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle);
  }
  auto upload = [&](GLenum target, GLint level, Surface& surface) {
    const D3DSURFACE_DESC& desc = surface.Desc();
    // Levels drawn into on the GPU are kept there; the CPU side reaches them through
    // SurfaceWritten.
    if (surface.RendererBacked() && data.allocated) return;
    const BYTE* bytes = surface.Storage().Bytes();
    auto w = static_cast<GLsizei>(desc.Width), h = static_cast<GLsizei>(desc.Height);
    if (format.compressed) {
      glCompressedTexImage2D(target, level, format.internalFormat, w, h, 0,
                             static_cast<GLsizei>(surface.Storage().Size()), bytes);
    } else {
      glTexImage2D(target, level, static_cast<GLint>(format.internalFormat), w, h, 0, format.format, format.type, bytes);
    }
  };
  if (auto* flat = dynamic_cast<Texture*>(&texture)) {
    for (UINT level = 0; level < flat->Levels(); ++level) upload(GL_TEXTURE_2D, static_cast<GLint>(level), flat->Level(level));
  } else if (auto* cube = dynamic_cast<CubeTexture*>(&texture)) {
    for (UINT face = 0; face < 6; ++face) {
      for (UINT level = 0; level < cube->Levels(); ++level) {
        upload(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, static_cast<GLint>(level), cube->Face(face, level));
      }
    }
  } else if (auto* volume = dynamic_cast<VolumeTexture*>(&texture)) {
    for (UINT level = 0; level < volume->Levels(); ++level) {
      Volume& slice = volume->Level(level);
      const D3DVOLUME_DESC& desc = slice.Desc();
      glTexImage3D(GL_TEXTURE_3D, static_cast<GLint>(level), static_cast<GLint>(format.internalFormat),
                   static_cast<GLsizei>(desc.Width), static_cast<GLsizei>(desc.Height),
                   static_cast<GLsizei>(desc.Depth), 0, format.format, format.type, slice.Storage().Bytes());
    }
  }
  if (autoGen) glGenerateMipmap(data.target);
  data.allocated = true;
  data.uploadedVersion = texture.ContentVersion();
}

GlBufferData* GlRenderer::BufferData(VertexBuffer& buffer) {
  if (auto* data = static_cast<GlBufferData*>(buffer.RendererData())) return data;
  auto data = std::make_unique<GlBufferData>();
  data->owner = this;
  glGenBuffers(1, &data->buffer);
  GlBufferData* raw = data.get();
  buffer.SetRendererData(std::move(data));
  UploadBuffer(buffer, *raw);
  return raw;
}

void GlRenderer::UploadBuffer(VertexBuffer& buffer, GlBufferData& data) {
  glBindBuffer(GL_ARRAY_BUFFER, data.buffer);
  // A fresh store each time: a draw still reading the old contents keeps them.
  glBufferData(GL_ARRAY_BUFFER, buffer.Size(), buffer.Bytes(),
               (buffer.Desc().Usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW);
  data.uploadedVersion = buffer.ContentVersion();
}

void GlRenderer::ReadSurface(Surface& surface) {
  MakeCurrent();
  GlSurfaceData* data = SurfaceData(surface);
  if (!data || !data->gpuNewer) return;
  BYTE* bytes = surface.Storage().Bytes();
  if (!bytes) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
  GLenum attachment = data->format.stencil ? GL_DEPTH_STENCIL_ATTACHMENT
                      : data->format.depth ? GL_DEPTH_ATTACHMENT
                                           : GL_COLOR_ATTACHMENT0;
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, attachment, data->target, data->texture, data->level);
  glReadBuffer(data->format.depth ? GL_NONE : GL_COLOR_ATTACHMENT0);
  glReadPixels(0, 0, static_cast<GLsizei>(data->width), static_cast<GLsizei>(data->height), data->format.format,
               data->format.type, bytes);
  data->gpuNewer = false;
}

void GlRenderer::SurfaceWritten(Surface& surface) {
  MakeCurrent();
  GlSurfaceData* data = SurfaceData(surface);
  if (!data) return;
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(data->target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && data->target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z
                    ? GL_TEXTURE_CUBE_MAP
                    : GL_TEXTURE_2D,
                data->texture);
  stageTextures_[0] = nullptr;
  glTexSubImage2D(data->target, data->level, 0, 0, static_cast<GLsizei>(data->width),
                  static_cast<GLsizei>(data->height), data->format.format, data->format.type, surface.Storage().Bytes());
  data->gpuNewer = false;
}

void GlRenderer::GenerateMipSubLevels(TextureCommon& texture) {
  MakeCurrent();
  GlTextureData* data = TextureData(texture);
  if (!data) return;
  if (!data->allocated || data->uploadedVersion != texture.ContentVersion()) UploadTexture(texture, *data);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(data->target, data->texture);
  stageTextures_[0] = nullptr;
  glGenerateMipmap(data->target);
}

// ---------------------------------------------------------------------------------------------
// State

void GlRenderer::SetEnabled(GLenum capability, bool& shadow, bool enabled) {
  if (shadow == enabled) return;
  shadow = enabled;
  if (enabled) {
    glEnable(capability);
  } else {
    glDisable(capability);
  }
}

void GlRenderer::SetColorMask(DWORD mask) {
  if (shadow_.colorMask == mask) return;
  shadow_.colorMask = mask;
  glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
}

void GlRenderer::SetDepthMask(bool write) {
  if (shadow_.depthMask == write) return;
  shadow_.depthMask = write;
  glDepthMask(write ? GL_TRUE : GL_FALSE);
}

void GlRenderer::SetStencilWriteMask(GLuint mask) {
  if (shadow_.stencilWriteMask == mask) return;
  shadow_.stencilWriteMask = mask;
  glStencilMask(mask);
}

void GlRenderer::ApplyTargets(DeviceState& state) {
  colorTarget_ = state.renderTargets[0] ? SurfaceData(*state.renderTargets[0]) : nullptr;
  depthTarget_ = state.depthStencil ? SurfaceData(*state.depthStencil) : nullptr;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_);
  if (colorTarget_) {
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, colorTarget_->target, colorTarget_->texture,
                           colorTarget_->level);
  } else {
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  }
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  if (depthTarget_) {
    GLenum attachment = depthTarget_->format.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, attachment, depthTarget_->target, depthTarget_->texture,
                           depthTarget_->level);
  }
  framebufferComplete_ = colorTarget_ && glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (colorTarget_ && !framebufferComplete_) {
    ReportFailure(D3DERR_DRIVERINTERNALERROR, "OpenGL framebuffer", "the render target and depth buffer do not combine");
  }
}

void GlRenderer::ApplyScissor(const DeviceState& state) {
  bool enabled = state.renderStates[D3DRS_SCISSORTESTENABLE] != 0;
  SetEnabled(GL_SCISSOR_TEST, shadow_.scissor, enabled);
  if (!enabled) return;
  const RECT& r = state.scissor;
  GLint box[4] = {r.left, r.top, std::max<LONG>(r.right - r.left, 0), std::max<LONG>(r.bottom - r.top, 0)};
  if (std::memcmp(box, shadow_.scissorBox, sizeof box) != 0) {
    std::memcpy(shadow_.scissorBox, box, sizeof box);
    glScissor(box[0], box[1], box[2], box[3]);
  }
}

void GlRenderer::ApplyRenderStates(const DeviceState& state) {
  const auto& rs = state.renderStates;
  bool depthOn = rs[D3DRS_ZENABLE] != D3DZB_FALSE && depthTarget_;
  SetEnabled(GL_DEPTH_TEST, shadow_.depthTest, depthOn);
  SetDepthMask(rs[D3DRS_ZWRITEENABLE] != 0);
  GLenum depthFunc = CompareFunction(rs[D3DRS_ZFUNC]);
  if (shadow_.depthFunc != depthFunc) {
    shadow_.depthFunc = depthFunc;
    glDepthFunc(depthFunc);
  }
  SetColorMask(rs[D3DRS_COLORWRITEENABLE] & 0xF);

  // Culling: rows are stored top-down, so a face Direct3D sees clockwise is counter-clockwise
  // to OpenGL. With GL_CCW as front, D3DCULL_CCW culls GL's back faces.
  DWORD cull = rs[D3DRS_CULLMODE];
  SetEnabled(GL_CULL_FACE, shadow_.cull, cull == D3DCULL_CW || cull == D3DCULL_CCW);
  GLenum face = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
  if (shadow_.cull && shadow_.cullFace != face) {
    shadow_.cullFace = face;
    glCullFace(face);
  }
  GLenum polygonMode = rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                       : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                               : GL_FILL;
  if (shadow_.polygonMode != polygonMode) {
    shadow_.polygonMode = polygonMode;
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
  }

  bool blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
  SetEnabled(GL_BLEND, shadow_.blend, blend);
  if (blend) {
    bool separate = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
    glBlendFuncSeparate(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND]),
                        BlendFactor(separate ? rs[D3DRS_SRCBLENDALPHA] : rs[D3DRS_SRCBLEND]),
                        BlendFactor(separate ? rs[D3DRS_DESTBLENDALPHA] : rs[D3DRS_DESTBLEND]));
    glBlendEquationSeparate(BlendEquation(rs[D3DRS_BLENDOP]),
                            BlendEquation(separate ? rs[D3DRS_BLENDOPALPHA] : rs[D3DRS_BLENDOP]));
    float factor[4];
    ColorFloats(rs[D3DRS_BLENDFACTOR], factor);
    glBlendColor(factor[0], factor[1], factor[2], factor[3]);
  }

  bool stencil = rs[D3DRS_STENCILENABLE] != 0 && depthTarget_ && depthTarget_->format.stencil;
  SetEnabled(GL_STENCIL_TEST, shadow_.stencil, stencil);
  if (stencil) {
    auto ref = static_cast<GLint>(rs[D3DRS_STENCILREF]);
    glStencilFuncSeparate(GL_FRONT, CompareFunction(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
    glStencilOpSeparate(GL_FRONT, StencilOperation(rs[D3DRS_STENCILFAIL]), StencilOperation(rs[D3DRS_STENCILZFAIL]),
                        StencilOperation(rs[D3DRS_STENCILPASS]));
    bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
    glStencilFuncSeparate(GL_BACK, CompareFunction(rs[twoSided ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC]), ref,
                          rs[D3DRS_STENCILMASK]);
    glStencilOpSeparate(GL_BACK, StencilOperation(rs[twoSided ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL]),
                        StencilOperation(rs[twoSided ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL]),
                        StencilOperation(rs[twoSided ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS]));
  }
  SetStencilWriteMask(rs[D3DRS_STENCILWRITEMASK]);

  float bias = BitsFloat(rs[D3DRS_DEPTHBIAS]);
  float slope = BitsFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
  SetEnabled(GL_POLYGON_OFFSET_FILL, shadow_.polygonOffset, bias != 0.0f || slope != 0.0f);
  if (shadow_.polygonOffset) glPolygonOffset(slope, bias * 16777216.0f);
}

void GlRenderer::ApplyVertexFormat(const DeviceState& state) {
  attributes_.clear();
  streamUsed_.fill(false);
  ProgramKey& key = key_;
  key.position = PositionKind::None;
  key.hasDiffuse = key.hasSpecular = 0;
  key.texCoordSets = 0;
  key.texCoordSizes.fill(0);
  if (state.declaration) {
    for (const D3DVERTEXELEMENT9& element : state.declaration->Elements()) {
      DeclarationType type;
      if (!DeclarationAttribute(element.Type, type)) continue;
      GLuint location;
      if (element.Usage == D3DDECLUSAGE_POSITIONT && element.UsageIndex == 0) {
        location = kPositionLocation;
        key.position = PositionKind::Transformed;
      } else if (element.Usage == D3DDECLUSAGE_POSITION && element.UsageIndex == 0) {
        location = kPositionLocation;
        key.position = PositionKind::Clip;
      } else if (element.Usage == D3DDECLUSAGE_COLOR && element.UsageIndex < 2) {
        location = element.UsageIndex == 0 ? kDiffuseLocation : kSpecularLocation;
        (element.UsageIndex == 0 ? key.hasDiffuse : key.hasSpecular) = 1;
      } else if (element.Usage == D3DDECLUSAGE_TEXCOORD && element.UsageIndex < 8) {
        location = kTexCoordLocation + element.UsageIndex;
        key.texCoordSets = std::max<std::uint8_t>(key.texCoordSets, element.UsageIndex + 1);
        key.texCoordSizes[element.UsageIndex] = static_cast<std::uint8_t>(type.size == GL_BGRA ? 4 : type.size);
      } else {
        continue;
      }
      attributes_.push_back({location, element.Stream, type.size, type.type, type.normalized, element.Offset});
      streamUsed_[element.Stream] = true;
    }
    // Sets below the highest one given read as absent.
    return;
  }
  DWORD fvf = state.fvf;
  if (!fvf) return;
  UINT offset = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZRHW:
      attributes_.push_back({kPositionLocation, 0, 4, GL_FLOAT, GL_FALSE, 0});
      key.position = PositionKind::Transformed;
      offset = 16;
      break;
    case D3DFVF_XYZW:
      attributes_.push_back({kPositionLocation, 0, 4, GL_FLOAT, GL_FALSE, 0});
      key.position = PositionKind::Clip;
      offset = 16;
      break;
    case 0:
      break;
    default: {
      attributes_.push_back({kPositionLocation, 0, 3, GL_FLOAT, GL_FALSE, 0});
      key.position = PositionKind::Clip;
      // Blend weights follow the position; the fixed pipeline here has no use for them.
      static constexpr UINT kPositionBytes[] = {0, 0, 12, 0, 16, 0, 20, 0, 24, 0, 28, 0, 32, 0, 36};
      offset = kPositionBytes[fvf & 0xE];
      break;
    }
  }
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    attributes_.push_back({kDiffuseLocation, 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset});
    key.hasDiffuse = 1;
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    attributes_.push_back({kSpecularLocation, 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset});
    key.hasSpecular = 1;
    offset += 4;
  }
  UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (UINT set = 0; set < sets; ++set) {
    static constexpr GLint kComponents[4] = {2, 3, 4, 1};
    GLint components = kComponents[(fvf >> (16 + set * 2)) & 3];
    attributes_.push_back({kTexCoordLocation + set, 0, components, GL_FLOAT, GL_FALSE, offset});
    key.texCoordSizes[set] = static_cast<std::uint8_t>(components);
    offset += static_cast<UINT>(components) * 4;
  }
  key.texCoordSets = static_cast<std::uint8_t>(sets);
  streamUsed_[0] = true;
}

void GlRenderer::ApplyStreams(const DeviceState& state) {
  for (UINT stream = 0; stream < kMaxStreams; ++stream) {
    VertexBuffer* buffer = streamUsed_[stream] ? state.streams[stream].buffer : nullptr;
    streamBuffers_[stream] = buffer;
    streamData_[stream] = buffer ? BufferData(*buffer) : nullptr;
  }
  glBindVertexArray(vertexArray_);
  std::array<bool, kTexCoordLocation + 8> enabled{};
  for (const Attribute& attribute : attributes_) {
    GlBufferData* data = streamData_[attribute.stream];
    if (!data) continue;
    const StreamBinding& binding = state.streams[attribute.stream];
    glBindBuffer(GL_ARRAY_BUFFER, data->buffer);
    glVertexAttribPointer(attribute.location, attribute.size, attribute.type, attribute.normalized,
                          static_cast<GLsizei>(binding.stride),
                          reinterpret_cast<const void*>(static_cast<uintptr_t>(binding.offset + attribute.offset)));
    enabled[attribute.location] = true;
  }
  for (GLuint location = 0; location < enabled.size(); ++location) {
    if (enabled[location]) {
      glEnableVertexAttribArray(location);
    } else {
      glDisableVertexAttribArray(location);
    }
  }
}

void GlRenderer::ApplyTexturesAndSamplers(const DeviceState& state, bool samplersChanged, bool bindingsChanged) {
  // Uploads first: they use texture unit 0, which the binding pass then sets right.
  std::array<TextureCommon*, D3DMAXTEXTURESTAGES> textures{};
  std::array<GlTextureData*, D3DMAXTEXTURESTAGES> datas{};
  for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
    if (!program_ || program_->samplers[stage] == TextureKind::None) continue;
    TextureCommon* texture = state.textures[stage];
    if (!texture) continue;
    // While the bindings stay, what was bound last time is still alive and still the same.
    GlTextureData* data = !bindingsChanged && texture == stageTextures_[stage] && stageTextureData_[stage]
                              ? stageTextureData_[stage]
                              : TextureData(*texture);
    if (!data) continue;
    if (!data->allocated || data->uploadedVersion != texture->ContentVersion()) UploadTexture(*texture, *data);
    textures[stage] = texture;
    datas[stage] = data;
  }
  for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
    TextureCommon* texture = textures[stage];
    GlTextureData* data = datas[stage];
    if (stageTextures_[stage] != texture || stageTextureData_[stage] != data) {
      glActiveTexture(GL_TEXTURE0 + stage);
      if (data) glBindTexture(data->target, data->texture);
      stageTextures_[stage] = texture;
      stageTextureData_[stage] = data;
      samplersChanged = true;
    }
    if (!samplersChanged || !texture) continue;
    const auto& ss = state.samplerStates[stage];
    GLuint sampler = samplers_[stage];
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSU])));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSV])));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSW])));
    float border[4];
    ColorFloats(ss[D3DSAMP_BORDERCOLOR], border);
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
    bool magLinear = ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
    bool minLinear = ss[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
    DWORD mip = ss[D3DSAMP_MIPFILTER];
    bool chain = texture->Levels() > 1 || (texture->Usage() & D3DUSAGE_AUTOGENMIPMAP);
    GLenum minFilter;
    if (mip == D3DTEXF_NONE || !chain) {
      minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    } else if (mip == D3DTEXF_POINT) {
      minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else {
      minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, BitsFloat(ss[D3DSAMP_MIPMAPLODBIAS]));
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, static_cast<float>(ss[D3DSAMP_MAXMIPLEVEL]));
  }
}

void GlRenderer::ApplyProgram(const DeviceState& state) {
  ProgramKey& key = key_;
  const auto& rs = state.renderStates;
  key.lighting = rs[D3DRS_LIGHTING] && key.position == PositionKind::Clip && !state.declaration;
  key.specularAdd = rs[D3DRS_SPECULARENABLE] != 0;
  key.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  key.alphaFunc = rs[D3DRS_ALPHATESTENABLE] ? static_cast<std::uint8_t>(rs[D3DRS_ALPHAFUNC]) : 0;
  key.stageCount = 0;
  key.stages.fill(StageKey{});
  for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
    const auto& ts = state.stageStates[stage];
    if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE || ts[D3DTSS_COLOROP] > D3DTOP_LERP) break;
    StageKey& s = key.stages[stage];
    s.colorOp = static_cast<std::uint8_t>(ts[D3DTSS_COLOROP]);
    s.colorArg0 = static_cast<std::uint8_t>(ts[D3DTSS_COLORARG0]);
    s.colorArg1 = static_cast<std::uint8_t>(ts[D3DTSS_COLORARG1]);
    s.colorArg2 = static_cast<std::uint8_t>(ts[D3DTSS_COLORARG2]);
    s.alphaOp = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAOP] > D3DTOP_LERP ? D3DTOP_DISABLE : ts[D3DTSS_ALPHAOP]);
    s.alphaArg0 = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAARG0]);
    s.alphaArg1 = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAARG1]);
    s.alphaArg2 = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAARG2]);
    s.texCoordSet = static_cast<std::uint8_t>(ts[D3DTSS_TEXCOORDINDEX] & 0x7);
    s.resultTemp = (ts[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
    TextureCommon* texture = state.textures[stage];
    TextureKind kind = TextureKind::None;
    if (texture) {
      kind = texture->Type() == D3DRTYPE_CUBETEXTURE     ? TextureKind::Cube
             : texture->Type() == D3DRTYPE_VOLUMETEXTURE ? TextureKind::Volume
                                                         : TextureKind::Flat;
    }
    s.texture = static_cast<std::uint8_t>(kind);
    key.stageCount = static_cast<std::uint8_t>(stage + 1);
  }
  program_ = programs_->Find(key);
  if (!program_) return;
  glUseProgram(program_->name);
  glUniform4f(program_->viewport, static_cast<float>(state.viewport.X), static_cast<float>(state.viewport.Y),
              static_cast<float>(state.viewport.Width), static_cast<float>(state.viewport.Height));
  float factor[4];
  ColorFloats(rs[D3DRS_TEXTUREFACTOR], factor);
  glUniform4fv(program_->textureFactor, 1, factor);
  glUniform1f(program_->alphaReference, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  for (UINT stage = 0; stage < key.stageCount; ++stage) {
    if (program_->stageConstants[stage] < 0) continue;
    float constant[4];
    ColorFloats(state.stageStates[stage][D3DTSS_CONSTANT], constant);
    glUniform4fv(program_->stageConstants[stage], 1, constant);
  }
}

void GlRenderer::ApplyState(DeviceState& state) {
  std::uint32_t dirty = state.dirty;
  state.dirty = 0;
  if (dirty & kDirtyTargets) ApplyTargets(state);
  if (dirty & (kDirtyViewport | kDirtyTargets)) {
    const D3DVIEWPORT9& v = state.viewport;
    GLint box[4] = {static_cast<GLint>(v.X), static_cast<GLint>(v.Y), static_cast<GLint>(v.Width),
                    static_cast<GLint>(v.Height)};
    if (std::memcmp(box, shadow_.viewport, sizeof box) != 0) {
      std::memcpy(shadow_.viewport, box, sizeof box);
      glViewport(box[0], box[1], box[2], box[3]);
    }
    if (shadow_.depthRange[0] != v.MinZ || shadow_.depthRange[1] != v.MaxZ) {
      shadow_.depthRange[0] = v.MinZ;
      shadow_.depthRange[1] = v.MaxZ;
      glDepthRange(v.MinZ, v.MaxZ);
    }
  }
  if (dirty & (kDirtyRenderStates | kDirtyTargets)) ApplyRenderStates(state);
  if (dirty & (kDirtyRenderStates | kDirtyScissor | kDirtyTargets)) ApplyScissor(state);
  if (dirty & kDirtyShaders) shadersUntranslated_ = state.vertexShader || state.pixelShader;
  if (dirty & kDirtyVertexFormat) ApplyVertexFormat(state);
  if (dirty & (kDirtyVertexFormat | kDirtyStreams)) ApplyStreams(state);
  if (dirty & (kDirtyRenderStates | kDirtyStageStates | kDirtyTextures | kDirtyVertexFormat | kDirtyViewport |
               kDirtyTargets)) {
    ApplyProgram(state);
  }
  ApplyTexturesAndSamplers(state, (dirty & (kDirtySamplerStates | kDirtyTextures)) != 0,
                           (dirty & kDirtyTextures) != 0);
}

// ---------------------------------------------------------------------------------------------
// Drawing

void GlRenderer::Clear(DeviceState& state, const std::vector<D3DRECT>& rects, bool whole, DWORD flags, D3DCOLOR color,
                       float z, DWORD stencil) {
  MakeCurrent();
  if (state.dirty & kDirtyTargets) {
    ApplyTargets(state);
    state.dirty &= ~kDirtyTargets;
    state.dirty |= kDirtyRenderStates;  // depth and stencil enables follow the new targets
  }
  if (!framebufferComplete_) return;
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float rgba[4];
    ColorFloats(color, rgba);
    glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    SetColorMask(0xF);
    mask |= GL_COLOR_BUFFER_BIT;
    colorTarget_->gpuNewer = true;
  }
  if ((flags & D3DCLEAR_ZBUFFER) && depthTarget_) {
    glClearDepth(z);
    SetDepthMask(true);
    mask |= GL_DEPTH_BUFFER_BIT;
    depthTarget_->gpuNewer = true;
  }
  if ((flags & D3DCLEAR_STENCIL) && depthTarget_ && depthTarget_->format.stencil) {
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    SetStencilWriteMask(0xFF);
    mask |= GL_STENCIL_BUFFER_BIT;
    depthTarget_->gpuNewer = true;
  }
  // Clears ignore the write masks; the masks of the state come back at the next draw.
  masksOverridden_ = true;
  if (whole) {
    SetEnabled(GL_SCISSOR_TEST, shadow_.scissor, false);
    glClear(mask);
  } else {
    SetEnabled(GL_SCISSOR_TEST, shadow_.scissor, true);
    for (const D3DRECT& r : rects) {
      GLint box[4] = {r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1};
      std::memcpy(shadow_.scissorBox, box, sizeof box);
      glScissor(box[0], box[1], box[2], box[3]);
      glClear(mask);
    }
  }
}

void GlRenderer::Draw(DeviceState& state, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  MakeCurrent();
  if (state.dirty) {
    ApplyState(state);
  } else {
    // Contents that changed under an unchanged binding still need uploading.
    ApplyTexturesAndSamplers(state, false, false);
  }
  if (masksOverridden_) {
    masksOverridden_ = false;
    SetColorMask(state.renderStates[D3DRS_COLORWRITEENABLE] & 0xF);
    SetDepthMask(state.renderStates[D3DRS_ZWRITEENABLE] != 0);
    SetStencilWriteMask(state.renderStates[D3DRS_STENCILWRITEMASK]);
    ApplyScissor(state);
  }
  // Shaders are kept as token streams until they are translated; their draws draw nothing.
  if (shadersUntranslated_ || !program_ || !framebufferComplete_ || key_.position == PositionKind::None) return;
  for (UINT stream = 0; stream < kMaxStreams; ++stream) {
    VertexBuffer* buffer = streamBuffers_[stream];
    if (buffer && streamData_[stream]->uploadedVersion != buffer->ContentVersion()) {
      UploadBuffer(*buffer, *streamData_[stream]);
    }
  }
  glDrawArrays(PrimitiveMode(type), static_cast<GLint>(startVertex), static_cast<GLsizei>(VertexCount(type, primitiveCount)));
  colorTarget_->gpuNewer = true;
  if (depthTarget_) depthTarget_->gpuNewer = true;
}

HRESULT GlRenderer::Present() {
  MakeCurrent();
  // The frame is shown when it can be seen: a window of its own would be hidden, the offscreen
  // driver shows nothing, and a hidden or minimised window has nothing to show it in.
  bool visible = !ownsWindow_ && !headless_ &&
                 !(SDL_GetWindowFlags(window_) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
  if (visible && backBuffer_) {
    GlSurfaceData* data = SurfaceData(*backBuffer_);
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    if (data && width > 0 && height > 0) {
      glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
      glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
      glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, data->texture, 0);
      glReadBuffer(GL_COLOR_ATTACHMENT0);
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      bool scissor = shadow_.scissor;
      SetEnabled(GL_SCISSOR_TEST, shadow_.scissor, false);
      auto w = static_cast<GLint>(data->width), h = static_cast<GLint>(data->height);
      // Rows are stored top-down; the window's go bottom-up.
      glBlitFramebuffer(0, 0, w, h, 0, height, width, 0, GL_COLOR_BUFFER_BIT,
                        w == width && h == height ? GL_NEAREST : GL_LINEAR);
      SDL_GL_SwapWindow(window_);
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_);
      SetEnabled(GL_SCISSOR_TEST, shadow_.scissor, scissor);
    }
  }
  // At most two frames in flight: the time of a frame includes the work it asked for.
  framesInFlight_.push_back(glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0));
  glFlush();
  while (framesInFlight_.size() > kFramesInFlight) {
    GLsync oldest = framesInFlight_.front();
    framesInFlight_.pop_front();
    while (glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
    }
    glDeleteSync(oldest);
  }
  return D3D_OK;
}

}  // namespace rastro
