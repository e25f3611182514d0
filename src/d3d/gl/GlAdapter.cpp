// The adapters Direct3DCreate9 offers: one per OpenGL renderer reachable through SDL, its
// profile filled from what that GL implementation can do.
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "Direct3D.h"
#include "FormatLayout.h"
#include "GlEnums.h"
#include "GlFormats.h"
#include "GlProgram.h"
#include "GlRenderer.h"
#include "SdlVideo.h"

namespace rastro {

namespace {

// Back buffers the renderer draws into, with the display format each is shown in full screen.
// Windowed, Present converts any of them but A2R10G10B10 to the desktop's format, as Direct3D 9
// allows where the hardware converts colours.
constexpr struct {
  D3DFORMAT backBuffer;
  D3DFORMAT fullScreenDisplay;
  bool windowed;
} kBackBuffers[] = {
    {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, true}, {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, true},
    {D3DFMT_R5G6B5, D3DFMT_R5G6B5, true},     {D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, true},
    {D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5, true}, {D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, false},
};

// The modes offered when nothing can be shown: common sizes, ascending.
constexpr struct {
  UINT width, height;
} kHeadlessModes[] = {{640, 480},   {800, 600},  {1024, 768}, {1152, 864}, {1280, 720},  {1280, 800},  {1280, 960},
                      {1280, 1024}, {1366, 768}, {1440, 900}, {1600, 900}, {1600, 1200}, {1680, 1050}, {1920, 1080}};

// Whether a framebuffer of these attachments is complete, tried on small textures.
bool Complete(D3DFORMAT colorFormat, D3DFORMAT depthFormat) {
  GlFormat color, depth;
  if (!LookupGlFormat(colorFormat, color)) return false;
  if (depthFormat != D3DFMT_UNKNOWN && !LookupGlFormat(depthFormat, depth)) return false;
  GLuint framebuffer = 0, textures[2] = {};
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glGenTextures(2, textures);
  glBindTexture(GL_TEXTURE_2D, textures[0]);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(color.internalFormat), 16, 16, 0, color.format, color.type,
               nullptr);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[0], 0);
  if (depthFormat != D3DFMT_UNKNOWN) {
    glBindTexture(GL_TEXTURE_2D, textures[1]);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(depth.internalFormat), 16, 16, 0, depth.format, depth.type,
                 nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, depth.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                           GL_TEXTURE_2D, textures[1], 0);
  }
  bool complete = glGetError() == GL_NO_ERROR && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteTextures(2, textures);
  glDeleteFramebuffers(1, &framebuffer);
  return complete;
}

// Formats vertex shaders may sample: the 32-bit float ones, as on the hardware of the time.
bool VertexTextureFormat(D3DFORMAT format) {
  return format == D3DFMT_R32F || format == D3DFMT_G32R32F || format == D3DFMT_A32B32G32R32F;
}

// The first four numbers of the GL version string ("4.5 (Core Profile) Mesa 22.3.6" gives
// 4.5.22.3), one per 16-bit word, most significant first.
ULONGLONG DriverVersion(const char* version) {
  ULONGLONG words[4] = {};
  int found = 0;
  for (const char* p = version; *p && found < 4;) {
    if (*p >= '0' && *p <= '9') {
      char* end = nullptr;
      unsigned long value = std::strtoul(p, &end, 10);
      words[found++] = std::min<unsigned long>(value, 0xFFFF);
      p = end;
    } else {
      ++p;
    }
  }
  return (words[0] << 48) | (words[1] << 32) | (words[2] << 16) | words[3];
}

D3DCAPS9 CapsFromGl() {
  GLint maxTexture = 0, max3d = 0, maxUnits = 0, maxAttributes = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &max3d);
  glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &maxUnits);
  glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &maxAttributes);
  D3DCAPS9 caps{};
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANAUTOGENMIPMAP;
  caps.Caps3 = D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
  caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
  caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                 D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                 D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX |
                 D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
  caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                           D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                           D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_SEPARATEALPHABLEND | D3DPMISCCAPS_PERSTAGECONSTANT;
  caps.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_COLORPERSPECTIVE |
                    D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS;
  caps.ZCmpCaps = caps.AlphaCmpCaps = 0xFF;
  caps.SrcBlendCaps = caps.DestBlendCaps = 0x3FFF & ~(D3DPBLENDCAPS_BOTHSRCALPHA | D3DPBLENDCAPS_BOTHINVSRCALPHA);
  caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND;
  caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_CUBEMAP |
                     D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP |
                     D3DPTEXTURECAPS_MIPCUBEMAP;
  DWORD filters = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                  D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps.TextureFilterCaps = caps.CubeTextureFilterCaps = caps.VolumeTextureFilterCaps = filters;
  caps.TextureAddressCaps = caps.VolumeTextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR |
                                                            D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER |
                                                            D3DPTADDRESSCAPS_INDEPENDENTUV;
  if (MirrorOnceSupported()) {
    caps.TextureAddressCaps |= D3DPTADDRESSCAPS_MIRRORONCE;
    caps.VolumeTextureAddressCaps |= D3DPTADDRESSCAPS_MIRRORONCE;
  }
  caps.MaxTextureWidth = caps.MaxTextureHeight = static_cast<DWORD>(maxTexture);
  caps.MaxVolumeExtent = static_cast<DWORD>(max3d);
  caps.MaxTextureRepeat = 8192;
  caps.MaxTextureAspectRatio = static_cast<DWORD>(maxTexture);
  caps.MaxAnisotropy = 1;
  caps.MaxVertexW = 1e10f;
  caps.GuardBandLeft = caps.GuardBandTop = -8192.0f;
  caps.GuardBandRight = caps.GuardBandBottom = 8192.0f;
  caps.StencilCaps = 0xFF | D3DSTENCILCAPS_TWOSIDED;
  caps.FVFCaps = 8 | D3DFVFCAPS_DONOTSTRIPELEMENTS;
  caps.TextureOpCaps = SupportedTextureOps();
  caps.MaxTextureBlendStages = 8;
  caps.MaxSimultaneousTextures = static_cast<DWORD>(std::min(maxUnits, 8));
  // Points as large as GL draws them, up to what the hardware of the time offered.
  GLfloat pointSizes[2] = {1.0f, 1.0f};
  glGetFloatv(GL_POINT_SIZE_RANGE, pointSizes);
  caps.MaxPointSize = std::clamp(pointSizes[1], 1.0f, 256.0f);
  caps.MaxPrimitiveCount = 0xFFFFF;
  caps.MaxVertexIndex = 0xFFFFFF;
  caps.MaxStreams = static_cast<DWORD>(std::min(maxAttributes, 16));
  caps.MaxStreamStride = 256;
  // Shaders are translated to GLSL, up to version 3.0 of each; GLSL has the flow control,
  // gradients and predicates 3.0 asks for, and no limit on dependent reads or texture
  // instructions. Vertex shaders sample 32-bit float textures, as the hardware of the time did.
  caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
  caps.MaxVertexShaderConst = 256;
  caps.PixelShaderVersion = D3DPS_VERSION(3, 0);
  caps.PixelShader1xMaxValue = kDefaultPixelShader1xMaxValue;
  caps.VS20Caps = {D3DVS20CAPS_PREDICATION, D3DVS20_MAX_DYNAMICFLOWCONTROLDEPTH, D3DVS20_MAX_NUMTEMPS,
                   D3DVS20_MAX_STATICFLOWCONTROLDEPTH};
  caps.PS20Caps = {D3DPS20CAPS_ARBITRARYSWIZZLE | D3DPS20CAPS_GRADIENTINSTRUCTIONS | D3DPS20CAPS_PREDICATION |
                       D3DPS20CAPS_NODEPENDENTREADLIMIT | D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT,
                   D3DPS20_MAX_DYNAMICFLOWCONTROLDEPTH, D3DPS20_MAX_NUMTEMPS, D3DPS20_MAX_STATICFLOWCONTROLDEPTH,
                   D3DPS20_MAX_NUMINSTRUCTIONSLOTS};
  caps.VertexTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT;
  caps.MaxVShaderInstructionsExecuted = 65535;
  caps.MaxPShaderInstructionsExecuted = 65535;
  caps.MaxVertexShader30InstructionSlots = 32768;
  caps.MaxPixelShader30InstructionSlots = 32768;
  caps.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
  caps.NumberOfAdaptersInGroup = 1;
  caps.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N |
                   D3DDTCAPS_USHORT4N | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
  // Several render targets: each may have its own format and all take the same blending.
  GLint drawBuffers = 1, colorAttachments = 1;
  glGetIntegerv(GL_MAX_DRAW_BUFFERS, &drawBuffers);
  glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS, &colorAttachments);
  caps.NumSimultaneousRTs = static_cast<DWORD>(std::clamp(std::min(drawBuffers, colorAttachments), 1, 4));
  if (caps.NumSimultaneousRTs > 1) {
    caps.PrimitiveMiscCaps |= D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS | D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING;
  }
  caps.StretchRectFilterCaps =
      D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  return caps;
}

// The display's own modes, each in the Direct3D format of its depth, sizes ascending; without a
// display, the common sizes of an ordinary 24-bit desktop.
std::vector<D3DDISPLAYMODE> DisplayModes() {
  std::vector<D3DDISPLAYMODE> modes;
  if (SdlVideoHeadless()) {
    for (auto mode : kHeadlessModes) modes.push_back({mode.width, mode.height, 60, D3DFMT_X8R8G8B8});
  } else {
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
      SDL_DisplayMode mode{};
      if (SDL_GetDisplayMode(0, i, &mode) != 0 || mode.w <= 0 || mode.h <= 0) continue;
      D3DFORMAT format = DisplayFormatOf(mode.format);
      if (format == D3DFMT_UNKNOWN) continue;
      modes.push_back({static_cast<UINT>(mode.w), static_cast<UINT>(mode.h),
                       static_cast<UINT>(mode.refresh_rate > 0 ? mode.refresh_rate : 60), format});
    }
  }
  auto key = [](const D3DDISPLAYMODE& m) { return std::tie(m.Format, m.Width, m.Height, m.RefreshRate); };
  std::sort(modes.begin(), modes.end(),
            [&](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return key(a) < key(b); });
  modes.erase(std::unique(modes.begin(), modes.end(),
                          [&](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return key(a) == key(b); }),
              modes.end());
  return modes;
}

// The desktop windowed devices present to. A2R10G10B10 is a display format for full screen
// only, so a 30-bit desktop counts as X8R8G8B8 here, as a 24-bit one does.
D3DDISPLAYMODE DesktopMode() {
  SDL_DisplayMode desktop{};
  if (!SdlVideoHeadless() && SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
    D3DFORMAT format = DisplayFormatOf(desktop.format);
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_A2R10G10B10) format = D3DFMT_X8R8G8B8;
    return {static_cast<UINT>(desktop.w), static_cast<UINT>(desktop.h),
            static_cast<UINT>(desktop.refresh_rate > 0 ? desktop.refresh_rate : 60), format};
  }
  return {1024, 768, 60, D3DFMT_X8R8G8B8};
}

bool ProbeAdapter(DeviceProfile& profile) {
  RequestCoreContext();
  SDL_Window* window = SDL_CreateWindow("Rastrometer", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return false;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) {
    SDL_DestroyWindow(window);
    return false;
  }
  SDL_GL_MakeCurrent(window, context);
  GlRenderer::ForgetCurrent();

  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  profile.description = renderer ? renderer : "OpenGL";
  profile.driver = "OpenGL";
  profile.driverVersion = DriverVersion(version ? version : "");
  profile.caps = CapsFromGl();
  bool blocks = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");

  constexpr DWORD kQueries = D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP;
  for (const GlFormat& gl : GlFormatTable()) {
    if (!gl.sampled || (gl.compressed && !blocks)) continue;
    D3DFORMAT format = gl.d3dFormat;
    bool renderable = gl.renderable && Complete(format, D3DFMT_UNKNOWN);
    DWORD usage = kQueries | D3DUSAGE_DYNAMIC;
    if (renderable) {
      usage |= D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING;
    }
    if (VertexTextureFormat(format)) usage |= D3DUSAGE_QUERY_VERTEXTEXTURE;
    profile.Support(D3DRTYPE_TEXTURE, format, usage);
    usage &= ~D3DUSAGE_QUERY_VERTEXTEXTURE;
    profile.Support(D3DRTYPE_CUBETEXTURE, format, usage);
    if (!gl.compressed) {
      profile.Support(D3DRTYPE_VOLUMETEXTURE, format, kQueries | D3DUSAGE_DYNAMIC);
    }
    profile.Support(D3DRTYPE_SURFACE, format, renderable ? D3DUSAGE_RENDERTARGET : 0);
  }
  std::vector<D3DFORMAT> depthFormats;
  for (const GlFormat& gl : GlFormatTable()) {
    D3DFORMAT depth = gl.d3dFormat;
    if (!gl.depth || !Complete(D3DFMT_A8R8G8B8, depth)) continue;
    depthFormats.push_back(depth);
    profile.Support(D3DRTYPE_SURFACE, depth, D3DUSAGE_DEPTHSTENCIL);
  }
  for (const FormatSupport& support : std::vector<FormatSupport>(profile.formats)) {
    if (support.resourceType != D3DRTYPE_SURFACE || !(support.usage & D3DUSAGE_RENDERTARGET)) continue;
    for (D3DFORMAT depth : depthFormats) {
      if (Complete(support.format, depth)) profile.depthStencilMatches.push_back({support.format, depth});
    }
  }
  // Display formats are the display's own; the device draws into framebuffer objects and
  // Present blits, so a windowed device may draw in another format than the desktop's.
  std::vector<D3DDISPLAYMODE> modes = DisplayModes();
  profile.desktopMode = DesktopMode();
  std::vector<D3DFORMAT> displayFormats;
  for (const D3DDISPLAYMODE& mode : modes) {
    if (std::find(displayFormats.begin(), displayFormats.end(), mode.Format) == displayFormats.end()) {
      displayFormats.push_back(mode.Format);
    }
  }
  if (std::find(displayFormats.begin(), displayFormats.end(), profile.desktopMode.Format) == displayFormats.end()) {
    displayFormats.push_back(profile.desktopMode.Format);  // windowed devices still have the desktop
  }
  for (D3DFORMAT display : displayFormats) {
    for (const auto& candidate : kBackBuffers) {
      const FormatSupport* support = profile.FindFormat(D3DRTYPE_SURFACE, candidate.backBuffer);
      if (!support || !(support->usage & D3DUSAGE_RENDERTARGET)) continue;
      bool fullScreen = candidate.fullScreenDisplay == display;
      bool windowed = candidate.windowed && display == profile.desktopMode.Format;
      if (fullScreen || windowed) profile.deviceTypes.push_back({display, candidate.backBuffer, windowed, fullScreen});
    }
  }
  for (const D3DDISPLAYMODE& mode : modes) {
    bool usable = std::any_of(profile.deviceTypes.begin(), profile.deviceTypes.end(),
                              [&](const auto& type) { return type.displayFormat == mode.Format; });
    if (usable) profile.displayModes.push_back(mode);
  }

  SDL_GL_MakeCurrent(window, nullptr);
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  return !profile.deviceTypes.empty();
}

}  // namespace

}  // namespace rastro

IDirect3D9* Direct3DCreate9(UINT SDKVersion) {
  using namespace rastro;
  if (SDKVersion != D3D_SDK_VERSION) return nullptr;
  if (!AcquireSdlVideo()) return nullptr;
  Adapter adapter;
  if (!ProbeAdapter(adapter.profile)) {
    ReleaseSdlVideo();
    return nullptr;
  }
  adapter.createRenderer = [](const RendererCreation& creation, HRESULT& result) {
    return GlRenderer::Create(creation, result);
  };
  std::vector<Adapter> adapters;
  adapters.push_back(std::move(adapter));
  return new Direct3D(std::move(adapters), [] { ReleaseSdlVideo(); });
}
