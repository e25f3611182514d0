// The ready-made profile of a capable Direct3D 9 adapter of 2004, for tests of the layers
// above the device.
#include "DeviceProfile.h"

namespace rastro {

namespace {

constexpr DWORD kFilterable = D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP;
constexpr DWORD kBlendable = D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING;

struct FormatRow {
  D3DFORMAT format;
  DWORD textureUsage;  // for 2D and cube textures; volumes take the same without render targets
  bool volume;
};

// What a Direct3D 9 card of the time takes as textures, and for what.
constexpr FormatRow kTextureFormats[] = {
    {D3DFMT_A8R8G8B8,
     D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP | kFilterable | kBlendable | D3DUSAGE_QUERY_SRGBREAD, true},
    {D3DFMT_X8R8G8B8,
     D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP | kFilterable | kBlendable | D3DUSAGE_QUERY_SRGBREAD, true},
    {D3DFMT_R5G6B5, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP | kFilterable | kBlendable, true},
    {D3DFMT_X1R5G5B5, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP | kFilterable | kBlendable, true},
    {D3DFMT_A1R5G5B5, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP | kFilterable | kBlendable, true},
    {D3DFMT_A4R4G4B4, D3DUSAGE_AUTOGENMIPMAP | kFilterable, true},
    {D3DFMT_X4R4G4B4, D3DUSAGE_AUTOGENMIPMAP | kFilterable, true},
    {D3DFMT_A8, kFilterable, true},
    {D3DFMT_A2R10G10B10, D3DUSAGE_RENDERTARGET | kFilterable, true},
    {D3DFMT_A2B10G10R10, D3DUSAGE_RENDERTARGET | kFilterable, true},
    {D3DFMT_G16R16, D3DUSAGE_RENDERTARGET | kFilterable, true},
    {D3DFMT_A16B16G16R16, D3DUSAGE_RENDERTARGET | kFilterable, true},
    {D3DFMT_L8, D3DUSAGE_AUTOGENMIPMAP | kFilterable, true},
    {D3DFMT_A8L8, D3DUSAGE_AUTOGENMIPMAP | kFilterable, true},
    {D3DFMT_A4L4, kFilterable, true},
    {D3DFMT_L16, kFilterable, true},
    {D3DFMT_V8U8, kFilterable | D3DUSAGE_QUERY_LEGACYBUMPMAP, true},
    {D3DFMT_L6V5U5, kFilterable | D3DUSAGE_QUERY_LEGACYBUMPMAP, true},
    {D3DFMT_X8L8V8U8, kFilterable | D3DUSAGE_QUERY_LEGACYBUMPMAP, true},
    {D3DFMT_Q8W8V8U8, kFilterable, true},
    {D3DFMT_V16U16, kFilterable, true},
    {D3DFMT_A2W10V10U10, kFilterable, true},
    {D3DFMT_Q16W16V16U16, kFilterable, true},
    {D3DFMT_UYVY, kFilterable, false},
    {D3DFMT_YUY2, kFilterable, false},
    {D3DFMT_R8G8_B8G8, kFilterable, false},
    {D3DFMT_G8R8_G8B8, kFilterable, false},
    {D3DFMT_DXT1, kFilterable, true},
    {D3DFMT_DXT2, kFilterable, true},
    {D3DFMT_DXT3, kFilterable, true},
    {D3DFMT_DXT4, kFilterable, true},
    {D3DFMT_DXT5, kFilterable, true},
    {D3DFMT_R16F, D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_WRAPANDMIP, true},
    {D3DFMT_G16R16F, D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_WRAPANDMIP, true},
    {D3DFMT_A16B16G16R16F, D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_WRAPANDMIP, true},
    {D3DFMT_R32F, D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_WRAPANDMIP, true},
    {D3DFMT_G32R32F, D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_WRAPANDMIP, true},
    {D3DFMT_A32B32G32R32F, D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_WRAPANDMIP, true},
};

constexpr D3DFORMAT kDepthFormats[] = {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32};
// A8R8G8B8 and A1R5G5B5 are back-buffer formats, shown on X8R8G8B8 and X1R5G5B5 displays.
constexpr D3DFORMAT kDisplayFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};

D3DCAPS9 CapableCaps() {
  D3DCAPS9 caps{};
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANAUTOGENMIPMAP | D3DCAPS2_FULLSCREENGAMMA;
  caps.Caps3 = D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD | D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
  caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_TWO |
                               D3DPRESENT_INTERVAL_THREE | D3DPRESENT_INTERVAL_FOUR;
  caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                 D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                 D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_TEXTURENONLOCALVIDMEM | D3DDEVCAPS_DRAWPRIMITIVES2 |
                 D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_CANBLTSYSTONONLOCAL |
                 D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_PUREDEVICE;
  caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                           D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                           D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_INDEPENDENTWRITEMASKS | D3DPMISCCAPS_SEPARATEALPHABLEND;
  caps.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                    D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_ANISOTROPY |
                    D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE |
                    D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS;
  caps.ZCmpCaps = caps.AlphaCmpCaps = 0xFF;
  caps.SrcBlendCaps = caps.DestBlendCaps = 0x3FFF;
  caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND |
                   D3DPSHADECAPS_FOGGOURAUD;
  caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                     D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                     D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
  DWORD filters = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                  D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps.TextureFilterCaps = filters | D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
  caps.CubeTextureFilterCaps = caps.VolumeTextureFilterCaps = filters;
  caps.TextureAddressCaps = caps.VolumeTextureAddressCaps =
      D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER |
      D3DPTADDRESSCAPS_INDEPENDENTUV | D3DPTADDRESSCAPS_MIRRORONCE;
  caps.MaxTextureWidth = caps.MaxTextureHeight = 4096;
  caps.MaxVolumeExtent = 512;
  caps.MaxTextureRepeat = 8192;
  caps.MaxTextureAspectRatio = 4096;
  caps.MaxAnisotropy = 16;
  caps.MaxVertexW = 1e10f;
  caps.GuardBandLeft = caps.GuardBandTop = -8192.0f;
  caps.GuardBandRight = caps.GuardBandBottom = 8192.0f;
  caps.StencilCaps = 0x1FF;
  caps.FVFCaps = 8 | D3DFVFCAPS_DONOTSTRIPELEMENTS | D3DFVFCAPS_PSIZE;
  caps.TextureOpCaps = 0x03FFFFFF;
  caps.MaxTextureBlendStages = 8;
  caps.MaxSimultaneousTextures = 8;
  caps.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                              D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER | D3DVTXPCAPS_TEXGEN_SPHEREMAP;
  caps.MaxActiveLights = 8;
  caps.MaxUserClipPlanes = 6;
  caps.MaxVertexBlendMatrices = 4;
  caps.MaxPointSize = 256.0f;
  caps.MaxPrimitiveCount = 0xFFFFF;
  caps.MaxVertexIndex = 0xFFFFFF;
  caps.MaxStreams = 16;
  caps.MaxStreamStride = 256;
  caps.VertexShaderVersion = D3DVS_VERSION(2, 0);
  caps.MaxVertexShaderConst = 256;
  caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
  caps.PixelShader1xMaxValue = 8.0f;
  caps.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES |
                  D3DDEVCAPS2_VERTEXELEMENTSCANSHARESTREAMOFFSET;
  caps.NumberOfAdaptersInGroup = 1;
  caps.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N |
                   D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_DEC3N | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
  caps.NumSimultaneousRTs = 4;
  caps.StretchRectFilterCaps =
      D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps.VS20Caps = {0, 0, 12, 1};
  caps.PS20Caps = {0, 0, 12, 0, 96};
  caps.MaxVShaderInstructionsExecuted = 65535;
  caps.MaxPShaderInstructionsExecuted = 96;
  return caps;
}

}  // namespace

DeviceProfile CapableProfile() {
  DeviceProfile profile;
  profile.description = "Rastrometer capable Direct3D 9 adapter";
  profile.driverVersion = (6ull << 48) | (14ull << 32) | (10ull << 16) | 6462ull;
  profile.vendorId = 0x1002;
  profile.deviceId = 0x4E48;
  profile.caps = CapableCaps();

  static constexpr struct {
    UINT width, height;
  } kSizes[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
  static constexpr UINT kRates[] = {60, 75, 85};
  for (D3DFORMAT format : kDisplayFormats) {
    for (auto size : kSizes) {
      for (UINT rate : kRates) profile.displayModes.push_back({size.width, size.height, rate, format});
    }
  }
  profile.desktopMode = {1024, 768, 60, D3DFMT_X8R8G8B8};

  for (const FormatRow& row : kTextureFormats) {
    profile.Support(D3DRTYPE_TEXTURE, row.format, row.textureUsage | D3DUSAGE_DYNAMIC);
    profile.Support(D3DRTYPE_CUBETEXTURE, row.format, row.textureUsage | D3DUSAGE_DYNAMIC);
    if (row.volume) {
      profile.Support(D3DRTYPE_VOLUMETEXTURE, row.format,
                      (row.textureUsage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP)) | D3DUSAGE_DYNAMIC);
    }
    profile.Support(D3DRTYPE_SURFACE, row.format, row.textureUsage & (D3DUSAGE_RENDERTARGET | kBlendable));
  }
  for (D3DFORMAT depth : kDepthFormats) {
    profile.Support(D3DRTYPE_SURFACE, depth, D3DUSAGE_DEPTHSTENCIL);
    profile.Support(D3DRTYPE_TEXTURE, depth, D3DUSAGE_DEPTHSTENCIL);
  }

  // Each display format with its own back buffer, and the alpha variants.
  profile.deviceTypes = {
      {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, true, true}, {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, true, true},
      {D3DFMT_R5G6B5, D3DFMT_R5G6B5, true, true},     {D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, true, true},
      {D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, true, true},
  };
  for (D3DFORMAT target : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                           D3DFMT_A2R10G10B10, D3DFMT_A2B10G10R10, D3DFMT_G16R16, D3DFMT_A16B16G16R16, D3DFMT_R16F,
                           D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F}) {
    for (D3DFORMAT depth : kDepthFormats) profile.depthStencilMatches.push_back({target, depth});
  }
  return profile;
}

}  // namespace rastro
