// The Direct3D object answers from its adapters' profiles, and devices enforce them.
#include <gtest/gtest.h>

#include <cstring>

#include "TestDevice.h"

namespace rastro::testing {
namespace {

ComPtr<IDirect3D9> Direct3DWith(std::vector<DeviceProfile> profiles) {
  std::vector<Adapter> adapters;
  for (DeviceProfile& profile : profiles) adapters.push_back(ResourceOnlyAdapter(std::move(profile)));
  return ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
}

TEST(Direct3DCreate9, AcceptsOnlyTheSdkVersionItWasBuiltFor) {
  EXPECT_EQ(Direct3DCreate9(30), nullptr);
  EXPECT_EQ(Direct3DCreate9(32), nullptr);
  IDirect3D9* direct3d = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_NE(direct3d, nullptr);
  direct3d->Release();
}

TEST(Adapters, IdentifierAndModesComeFromTheProfile) {
  DeviceProfile first = CapableProfile();
  first.description = "First adapter";
  first.driverVersion = 0x0006000E000A193Eull;
  DeviceProfile second = CapableProfile();
  second.description = "Second adapter";
  second.displayModes = {
      {800, 600, 60, D3DFMT_X8R8G8B8}, {640, 480, 60, D3DFMT_X8R8G8B8}, {640, 480, 75, D3DFMT_R5G6B5}};
  auto direct3d = Direct3DWith({first, second});
  ASSERT_EQ(direct3d->GetAdapterCount(), 2u);
  D3DADAPTER_IDENTIFIER9 identifier{};
  ASSERT_EQ(direct3d->GetAdapterIdentifier(1, 0, &identifier), D3D_OK);
  EXPECT_STREQ(identifier.Description, "Second adapter");
  ASSERT_EQ(direct3d->GetAdapterIdentifier(0, 0, &identifier), D3D_OK);
  EXPECT_STREQ(identifier.Description, "First adapter");
  EXPECT_EQ(identifier.DriverVersion.HighPart, 0x0006000E);
  EXPECT_EQ(identifier.DriverVersion.LowPart, 0x000A193Eu);
  EXPECT_EQ(direct3d->GetAdapterIdentifier(2, 0, &identifier), D3DERR_INVALIDCALL);

  EXPECT_EQ(direct3d->GetAdapterModeCount(1, D3DFMT_X8R8G8B8), 2u);
  EXPECT_EQ(direct3d->GetAdapterModeCount(1, D3DFMT_R5G6B5), 1u);
  EXPECT_EQ(direct3d->GetAdapterModeCount(1, D3DFMT_A8R8G8B8), 0u);
  EXPECT_EQ(direct3d->GetAdapterModeCount(7, D3DFMT_X8R8G8B8), 0u);
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(direct3d->EnumAdapterModes(1, D3DFMT_X8R8G8B8, 1, &mode), D3D_OK);  // enumeration order kept
  EXPECT_EQ(mode.Width, 640u);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
  ASSERT_EQ(direct3d->EnumAdapterModes(1, D3DFMT_R5G6B5, 0, &mode), D3D_OK);
  EXPECT_EQ(mode.RefreshRate, 75u);
  EXPECT_EQ(direct3d->EnumAdapterModes(1, D3DFMT_R5G6B5, 1, &mode), D3DERR_INVALIDCALL);
}

TEST(Adapters, CapableProfileOffersTheModesAndDepthFormatsTestsExpect) {
  auto direct3d = Direct3DWith({CapableProfile()});
  for (D3DFORMAT display : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}) {
    EXPECT_GT(direct3d->GetAdapterModeCount(0, display), 0u) << display;
  }
  EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
  for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32}) {
    EXPECT_EQ(
        direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depth),
        D3D_OK);
    EXPECT_EQ(direct3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, depth), D3D_OK);
  }
  D3DCAPS9 caps{};
  ASSERT_EQ(direct3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
  EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(2, 0));
  EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(2, 0));
  EXPECT_TRUE(caps.PrimitiveMiscCaps & D3DPMISCCAPS_COLORWRITEENABLE);
  EXPECT_GE(caps.MaxSimultaneousTextures, 4u);
  EXPECT_GE(caps.MaxTextureWidth, 512u);
}

TEST(CheckDeviceFormat, AnswersFromTheFormatsOfTheProfile) {
  DeviceProfile profile = CapableProfile();
  profile.Withdraw(D3DFMT_DXT3);
  profile.Support(D3DRTYPE_TEXTURE, D3DFMT_L16, D3DUSAGE_AUTOGENMIPMAP);
  auto direct3d = Direct3DWith({profile});
  auto check = [&](DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
    return direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, format);
  };
  EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_DXT1), D3D_OK);
  EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_DXT3), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_P8), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
  EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_DXT1), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_YUY2), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), D3D_OK);
  EXPECT_EQ(check(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_DXT1), D3DOK_NOAUTOGEN);
  EXPECT_EQ(check(D3DUSAGE_QUERY_FILTER, D3DRTYPE_TEXTURE, D3DFMT_A32B32G32R32F), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D16), D3DERR_INVALIDCALL);
  // Only display formats of the adapter count as adapter formats; only HAL devices exist.
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A4R4G4B4, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(direct3d->CheckDeviceFormat(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
            D3DERR_INVALIDCALL);
}

TEST(CheckDeviceType, OffersTheProfilesPairsOnly) {
  DeviceProfile profile = CapableProfile();
  profile.Withdraw(D3DFMT_A8R8G8B8);
  auto direct3d = Direct3DWith({profile});
  auto check = [&](D3DFORMAT display, D3DFORMAT backBuffer, BOOL windowed) {
    return direct3d->CheckDeviceType(0, D3DDEVTYPE_HAL, display, backBuffer, windowed);
  };
  EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3D_OK);
  EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE), D3DERR_NOTAVAILABLE);  // withdrawn
  EXPECT_EQ(check(D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), D3D_OK);
  EXPECT_EQ(check(D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, FALSE), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, TRUE), D3D_OK);  // windowed: the display's format
  EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN, FALSE), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
}

// The display formats are X8R8G8B8, R5G6B5, X1R5G5B5 and, full screen only, A2R10G10B10;
// A8R8G8B8 and A1R5G5B5 are back-buffer formats. A profile that says otherwise is not believed.
TEST(CheckDeviceType, KeepsThePublishedDisplayAndBackBufferRules) {
  DeviceProfile profile = CapableProfile();
  profile.displayModes.push_back({640, 480, 60, D3DFMT_A2R10G10B10});
  profile.displayModes.push_back({640, 480, 60, D3DFMT_A8R8G8B8});
  profile.displayModes.push_back({640, 480, 60, D3DFMT_A1R5G5B5});
  for (const DeviceTypeMatch& pair : {DeviceTypeMatch{D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, true, true},
                                      DeviceTypeMatch{D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, true, true},
                                      DeviceTypeMatch{D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, true, true},
                                      DeviceTypeMatch{D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, true, true},
                                      DeviceTypeMatch{D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10, true, true}}) {
    profile.deviceTypes.push_back(pair);
  }
  auto direct3d = Direct3DWith({profile});
  const struct {
    D3DFORMAT display, backBuffer;
    BOOL windowed;
    HRESULT expected;
  } cases[] = {
      {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE, D3D_OK},
      {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3D_OK},
      {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, TRUE, D3D_OK},
      {D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},
      {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, FALSE, D3DERR_NOTAVAILABLE},
      {D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, TRUE, D3DERR_NOTAVAILABLE},
      {D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, FALSE, D3D_OK},
      {D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10, TRUE, D3DERR_NOTAVAILABLE},
      {D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10, TRUE, D3DERR_NOTAVAILABLE},
      // A window converts to the display's format where the adapter does; full screen never.
      {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, TRUE, D3D_OK},
      {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE, D3DERR_NOTAVAILABLE},
      {D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE, D3D_OK},
      {D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, FALSE, D3D_OK},
      {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, FALSE, D3DERR_NOTAVAILABLE},
      {D3DFMT_UNKNOWN, D3DFMT_X8R8G8B8, TRUE, D3DERR_NOTAVAILABLE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(direct3d->CheckDeviceType(0, D3DDEVTYPE_HAL, c.display, c.backBuffer, c.windowed), c.expected)
        << c.display << " " << c.backBuffer << " " << c.windowed;
  }

  // Modes: the display formats' only, whatever else is listed.
  EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_A2R10G10B10), 1u);
  EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u);
  EXPECT_EQ(direct3d->GetAdapterModeCount(0, D3DFMT_A1R5G5B5), 0u);
  D3DDISPLAYMODE mode{};
  EXPECT_EQ(direct3d->EnumAdapterModes(0, D3DFMT_A2R10G10B10, 0, &mode), D3D_OK);
  EXPECT_EQ(direct3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 0, &mode), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(direct3d->EnumAdapterModes(0, D3DFMT_A1R5G5B5, 0, &mode), D3DERR_NOTAVAILABLE);
  const UINT count = direct3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
  EXPECT_EQ(direct3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, count, &mode), D3DERR_INVALIDCALL);
  EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
            D3DERR_NOTAVAILABLE);

  // A full-screen A8R8G8B8 back buffer shows on an X8R8G8B8 display.
  TestDevice device(profile, FullScreenParameters(640, 480, D3DFMT_A8R8G8B8, D3DFMT_D24S8));
  ASSERT_EQ(device.created, D3D_OK);
  ASSERT_EQ(device->GetDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
}

TEST(CheckDepthStencilMatch, PairsComeFromTheProfile) {
  DeviceProfile profile = CapableProfile();
  profile.depthStencilMatches = {{D3DFMT_R5G6B5, D3DFMT_D16}, {D3DFMT_X8R8G8B8, D3DFMT_D24S8}};
  auto direct3d = Direct3DWith({profile});
  auto check = [&](D3DFORMAT target, D3DFORMAT depth) {
    return direct3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, target, depth);
  };
  EXPECT_EQ(check(D3DFMT_R5G6B5, D3DFMT_D16), D3D_OK);
  EXPECT_EQ(check(D3DFMT_R5G6B5, D3DFMT_D24S8), D3DERR_NOTAVAILABLE);
  EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_D24S8), D3D_OK);
  EXPECT_EQ(check(D3DFMT_X8R8G8B8, D3DFMT_D16), D3DERR_NOTAVAILABLE);
}

struct TextureCapsCase {
  const char* name;
  std::function<void(D3DCAPS9&)> edit;
  UINT width, height, levels;
  HRESULT expected;
  UINT expectedLevels;  // when created
};

class TextureCaps : public ::testing::TestWithParam<TextureCapsCase> {};

TEST_P(TextureCaps, CreationFollowsTheCaps) {
  const TextureCapsCase& c = GetParam();
  DeviceProfile profile = CapableProfile();
  c.edit(profile.caps);
  TestDevice device(profile);
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_EQ(device->CreateTexture(c.width, c.height, c.levels, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                  texture.ReleaseAndGetAddressOf(), nullptr),
            c.expected);
  if (SUCCEEDED(c.expected)) {
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->GetLevelCount(), c.expectedLevels);
  } else {
    EXPECT_FALSE(texture);
  }
  // Scratch textures ignore the caps.
  ComPtr<IDirect3DTexture9> scratch;
  EXPECT_EQ(device->CreateTexture(c.width, c.height, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SCRATCH,
                                  scratch.ReleaseAndGetAddressOf(), nullptr),
            D3D_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Caps, TextureCaps,
    ::testing::Values(
        TextureCapsCase{"Capable", [](D3DCAPS9&) {}, 640, 480, 0, D3D_OK, 10},
        TextureCapsCase{"MaxWidth256", [](D3DCAPS9& c) { c.MaxTextureWidth = 256; }, 512, 256, 1, D3DERR_INVALIDCALL,
                        0},
        TextureCapsCase{"MaxWidth256Fits", [](D3DCAPS9& c) { c.MaxTextureWidth = 256; }, 256, 512, 1, D3D_OK, 1},
        TextureCapsCase{"SquareOnly", [](D3DCAPS9& c) { c.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY; }, 512, 256, 1,
                        D3DERR_INVALIDCALL, 0},
        TextureCapsCase{"Pow2", [](D3DCAPS9& c) { c.TextureCaps |= D3DPTEXTURECAPS_POW2; }, 640, 512, 1,
                        D3DERR_INVALIDCALL, 0},
        TextureCapsCase{"Pow2Fits", [](D3DCAPS9& c) { c.TextureCaps |= D3DPTEXTURECAPS_POW2; }, 1024, 512, 0, D3D_OK,
                        11},
        TextureCapsCase{"NonPow2ConditionalOneLevel",
                        [](D3DCAPS9& c) { c.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL; },
                        640, 480, 1, D3D_OK, 1},
        TextureCapsCase{"NonPow2ConditionalChain",
                        [](D3DCAPS9& c) { c.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL; },
                        640, 480, 0, D3DERR_INVALIDCALL, 0},
        TextureCapsCase{"AspectRatio", [](D3DCAPS9& c) { c.MaxTextureAspectRatio = 2; }, 512, 128, 1,
                        D3DERR_INVALIDCALL, 0},
        TextureCapsCase{"NoMipmapsFullChain", [](D3DCAPS9& c) { c.TextureCaps &= ~D3DPTEXTURECAPS_MIPMAP; }, 64, 64, 0,
                        D3D_OK, 1},
        TextureCapsCase{"NoMipmapsTwoLevels", [](D3DCAPS9& c) { c.TextureCaps &= ~D3DPTEXTURECAPS_MIPMAP; }, 64, 64, 2,
                        D3DERR_INVALIDCALL, 0},
        TextureCapsCase{"MoreLevelsThanAChain", [](D3DCAPS9&) {}, 64, 64, 8, D3DERR_INVALIDCALL, 0}),
    [](const auto& test) { return test.param.name; });

TEST(ResourceCreation, ArgumentRules) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> texture;
  auto create = [&](UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
    return device->CreateTexture(w, h, levels, usage, format, pool, texture.ReleaseAndGetAddressOf(), nullptr);
  };
  EXPECT_EQ(create(0, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
  EXPECT_EQ(create(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
  EXPECT_EQ(create(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
  EXPECT_EQ(create(8, 8, 1, D3DUSAGE_WRITEONLY, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
  EXPECT_EQ(create(8, 8, 1, 0, D3DFMT_A8R8G8B8, static_cast<D3DPOOL>(4)), D3DERR_INVALIDCALL);
  EXPECT_EQ(create(8, 8, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);  // not offered by the device
  EXPECT_EQ(create(8, 8, 1, 0, static_cast<D3DFORMAT>(12345), D3DPOOL_SCRATCH), D3DERR_INVALIDCALL);
  // Index formats belong to index buffers, even in the scratch pool that takes any surface format.
  EXPECT_EQ(create(8, 8, 1, 0, D3DFMT_INDEX16, D3DPOOL_SCRATCH), D3DERR_INVALIDCALL);
  EXPECT_EQ(create(8, 8, 1, 0, D3DFMT_INDEX32, D3DPOOL_SYSTEMMEM), D3DERR_INVALIDCALL);
  ComPtr<IDirect3DSurface9> plain;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_INDEX16, D3DPOOL_SCRATCH, plain.ReleaseAndGetAddressOf(),
                                                nullptr),
            D3DERR_INVALIDCALL);
  ComPtr<IDirect3DVolumeTexture9> volume;
  EXPECT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_INDEX16, D3DPOOL_SCRATCH, volume.ReleaseAndGetAddressOf(),
                                        nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(create(6, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);  // top level in whole blocks
  EXPECT_EQ(create(8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3D_OK);
  EXPECT_EQ(texture->GetLevelCount(), 1u);
  EXPECT_EQ(create(8, 8, 2, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
  HANDLE shared = nullptr;
  EXPECT_EQ(
      device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.ReleaseAndGetAddressOf(), &shared),
      D3DERR_INVALIDCALL);
  EXPECT_FALSE(texture);  // the out pointer is cleared on failure

  ComPtr<IDirect3DVertexBuffer9> buffer;
  EXPECT_EQ(device->CreateVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, buffer.ReleaseAndGetAddressOf(), nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateVertexBuffer(16, 0, 0x44, D3DPOOL_MANAGED, buffer.ReleaseAndGetAddressOf(), nullptr),
            D3DERR_INVALIDCALL);  // shorter than one 20-byte vertex
  EXPECT_EQ(device->CreateVertexBuffer(80, 0, 0x44, D3DPOOL_SCRATCH, buffer.ReleaseAndGetAddressOf(), nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateVertexBuffer(80, 0, 0x44, D3DPOOL_MANAGED, buffer.ReleaseAndGetAddressOf(), nullptr), D3D_OK);
  D3DVERTEXBUFFER_DESC desc{};
  ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Size, 80u);
  EXPECT_EQ(desc.FVF, 0x44u);

  ComPtr<IDirect3DCubeTexture9> cube;
  DeviceProfile noCubes = CapableProfile();
  noCubes.caps.TextureCaps &= ~D3DPTEXTURECAPS_CUBEMAP;
  TestDevice withoutCubes(noCubes);
  EXPECT_EQ(withoutCubes->CreateCubeTexture(8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.ReleaseAndGetAddressOf(),
                                            nullptr),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(
      device->CreateCubeTexture(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  EXPECT_EQ(cube->GetLevelCount(), 4u);
}

TEST(DeviceCreation, PresentationParametersAreCheckedAndCompleted) {
  auto direct3d = Direct3DWith({CapableProfile()});
  ComPtr<IDirect3DDevice9> device;
  auto create = [&](D3DPRESENT_PARAMETERS& parameters, DWORD behavior = D3DCREATE_MIXED_VERTEXPROCESSING) {
    return direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behavior, &parameters, device.ReleaseAndGetAddressOf());
  };
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters(1024, 768);
  parameters.BackBufferCount = 0;
  ASSERT_EQ(create(parameters), D3D_OK);
  EXPECT_EQ(parameters.BackBufferCount, 1u);  // written back

  parameters = FullScreenParameters(1000, 700);  // no such mode
  EXPECT_EQ(create(parameters), D3DERR_INVALIDCALL);
  EXPECT_FALSE(device);
  parameters = FullScreenParameters(1024, 768);
  parameters.FullScreen_RefreshRateInHz = 61;
  EXPECT_EQ(create(parameters), D3DERR_INVALIDCALL);
  parameters = FullScreenParameters(1024, 768, D3DFMT_X8R8G8B8, D3DFMT_D16_LOCKABLE);  // not offered
  EXPECT_EQ(create(parameters), D3DERR_INVALIDCALL);
  parameters = FullScreenParameters(1024, 768, D3DFMT_A8R8G8B8, D3DFMT_D24X8);
  EXPECT_EQ(create(parameters, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(create(parameters, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                   device.ReleaseAndGetAddressOf()),
            D3DERR_NOTAVAILABLE);
  ASSERT_EQ(create(parameters), D3D_OK);
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(device->GetDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);  // the display shows an alpha back buffer without alpha
  EXPECT_EQ(mode.Width, 1024u);

  D3DPRESENT_PARAMETERS windowed{};
  windowed.Windowed = TRUE;
  windowed.SwapEffect = D3DSWAPEFFECT_DISCARD;
  ASSERT_EQ(create(windowed), D3D_OK);
  EXPECT_EQ(windowed.BackBufferFormat, D3DFMT_X8R8G8B8);  // the desktop's
  EXPECT_GT(windowed.BackBufferWidth, 0u);

  DeviceProfile software = CapableProfile();
  software.caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
  auto withoutTransform = Direct3DWith({software});
  parameters = FullScreenParameters();
  EXPECT_EQ(withoutTransform->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                           device.ReleaseAndGetAddressOf()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(withoutTransform->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                           device.ReleaseAndGetAddressOf()),
            D3D_OK);
}

TEST(DeviceCreation, QueriesReportTheDeviceAsCreated) {
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters(800, 600, D3DFMT_R5G6B5, D3DFMT_D16);
  TestDevice device(CapableProfile(), parameters, D3DCREATE_MIXED_VERTEXPROCESSING);
  ASSERT_EQ(device.created, D3D_OK);
  D3DDEVICE_CREATION_PARAMETERS creation{};
  ASSERT_EQ(device->GetCreationParameters(&creation), D3D_OK);
  EXPECT_EQ(creation.AdapterOrdinal, 0u);
  EXPECT_EQ(creation.DeviceType, D3DDEVTYPE_HAL);
  EXPECT_EQ(creation.BehaviorFlags, D3DCREATE_MIXED_VERTEXPROCESSING);
  D3DCAPS9 caps{};
  ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.MaxTextureWidth, 4096u);
  D3DDISPLAYMODE mode{};
  ASSERT_EQ(device->GetDisplayMode(0, &mode), D3D_OK);
  EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
  EXPECT_EQ(mode.Height, 600u);
  EXPECT_EQ(device->GetDisplayMode(1, &mode), D3DERR_INVALIDCALL);
  ComPtr<IDirect3DSurface9> backBuffer;
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(backBuffer->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 800u);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
  EXPECT_EQ(desc.Usage, D3DUSAGE_RENDERTARGET);
  EXPECT_EQ(device->GetBackBuffer(0, 1, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
  device.probe->lost = true;
  EXPECT_NE(device->TestCooperativeLevel(), D3D_OK);
}

TEST(DeviceCreation, SoftwareVertexProcessingSwitchesOnlyOnAMixedDevice) {
  TestDevice hardware(CapableProfile(), FullScreenParameters(), D3DCREATE_HARDWARE_VERTEXPROCESSING);
  EXPECT_EQ(hardware->SetSoftwareVertexProcessing(TRUE), D3DERR_INVALIDCALL);
  EXPECT_EQ(hardware->GetSoftwareVertexProcessing(), FALSE);
  TestDevice mixed(CapableProfile(), FullScreenParameters(), D3DCREATE_MIXED_VERTEXPROCESSING);
  EXPECT_EQ(mixed->SetSoftwareVertexProcessing(TRUE), D3D_OK);
  EXPECT_EQ(mixed->GetSoftwareVertexProcessing(), TRUE);
  TestDevice software(CapableProfile(), FullScreenParameters(), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  EXPECT_EQ(software->GetSoftwareVertexProcessing(), TRUE);
  EXPECT_EQ(software->SetSoftwareVertexProcessing(FALSE), D3DERR_INVALIDCALL);
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

TEST(DeviceReset, NeedsEveryDefaultPoolResourceReleasedAndTakesTheNewParameters) {
  TestDevice device;
  ComPtr<IDirect3DTexture9> managed, defaultPool;
  ASSERT_EQ(
      device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, defaultPool.ReleaseAndGetAddressOf(),
                                  nullptr),
            D3D_OK);
  ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters(800, 600);
  EXPECT_EQ(device->Reset(&parameters), D3DERR_INVALIDCALL);
  defaultPool.Reset();
  ComPtr<IDirect3DSurface9> backBuffer;
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(device->Reset(&parameters), D3DERR_INVALIDCALL);  // the back buffer is still held
  backBuffer.Reset();
  ASSERT_EQ(device->Reset(&parameters), D3D_OK);
  ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
  D3DSURFACE_DESC desc{};
  backBuffer->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 800u);
  DWORD cull = 0;
  device->GetRenderState(D3DRS_CULLMODE, &cull);
  EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW));  // states start over
  EXPECT_EQ(managed->GetLevelCount(), 1u);           // managed resources survive
}

}  // namespace
}  // namespace rastro::testing
