// Closest-format choice against real devices of the Direct3D layer, built from adapter
// profiles with and without the formats that matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "DebugOutput.h"
#include "DeviceProfile.h"
#include "FormatCatalogue.h"
#include "MuteDebugOutput.h"
#include "TestEnvironment.h"

namespace rastro {
namespace {

using testing::ScopedEnvironment;

struct ProfiledDevice {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;

  explicit ProfiledDevice(DeviceProfile profile, DWORD behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING) {
    std::vector<Adapter> adapters;
    adapters.push_back(ResourceOnlyAdapter(std::move(profile)));
    direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.Windowed = FALSE;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    EXPECT_EQ(
        direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, behavior, &parameters, device.ReleaseAndGetAddressOf()),
        D3D_OK);
  }
};

DeviceProfile Without(std::initializer_list<D3DFORMAT> formats, DeviceProfile profile = CapableProfile()) {
  for (D3DFORMAT format : formats) profile.Withdraw(format);
  return profile;
}

// Textures of `format` withdrawn, other uses (the display and back buffer) kept.
DeviceProfile WithoutTexture(D3DFORMAT format, DeviceProfile profile) {
  std::erase_if(profile.formats, [format](const FormatSupport& support) {
    return support.format == format && support.resourceType == D3DRTYPE_TEXTURE;
  });
  return profile;
}

DeviceProfile WithTextures(std::initializer_list<D3DFORMAT> formats, DeviceProfile profile = CapableProfile()) {
  for (D3DFORMAT format : formats) profile.Support(D3DRTYPE_TEXTURE, format, 0);
  return profile;
}

D3DFORMAT Choose(const ProfiledDevice& d, D3DFORMAT requested, DWORD usage = 0,
                 D3DRESOURCETYPE type = D3DRTYPE_TEXTURE) {
  return ChooseDeviceFormat(d.device.Get(), usage, type, LookupFormatInfo(requested));
}

TEST(ChooseDeviceFormatOnADevice, TakesASupportedFormatAsItIs) {
  ProfiledDevice capable(CapableProfile());
  for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_L8, D3DFMT_V8U8, D3DFMT_DXT1, D3DFMT_DXT5,
                           D3DFMT_YUY2, D3DFMT_A16B16G16R16F, D3DFMT_Q16W16V16U16}) {
    EXPECT_EQ(Choose(capable, format), format) << format;
  }
}

TEST(ChooseDeviceFormatOnADevice, PaletteFallsBackToArgbOrToA8P8WithFewerBits) {
  ProfiledDevice noPalettes(CapableProfile());
  EXPECT_EQ(Choose(noPalettes, D3DFMT_P8), D3DFMT_A8R8G8B8);
  ProfiledDevice withA8P8(WithTextures({D3DFMT_A8P8}));
  EXPECT_EQ(Choose(withA8P8, D3DFMT_P8), D3DFMT_A8P8);  // score 0 as well, 16 bits instead of 32
}

TEST(ChooseDeviceFormatOnADevice, ColourFormatsNeverFallBackToPaletteOrLuminance) {
  ProfiledDevice capable(WithTextures({D3DFMT_P8, D3DFMT_A8P8}));
  EXPECT_EQ(Choose(capable, D3DFMT_R8G8B8), D3DFMT_X8R8G8B8);
  ProfiledDevice noL8(Without({D3DFMT_L8}));
  EXPECT_EQ(Choose(noL8, D3DFMT_L8), D3DFMT_X8R8G8B8);  // not L16 (24) nor A8L8 (256)
  ProfiledDevice noLuminance(WithoutTexture(D3DFMT_X8R8G8B8, Without({D3DFMT_L8})));
  EXPECT_EQ(Choose(noLuminance, D3DFMT_L8), D3DFMT_L16);  // 24 beats A8R8G8B8's added alpha (256)
}

TEST(ChooseDeviceFormatOnADevice, BlockFormatsFallBackToArgb) {
  ProfiledDevice noDxt(Without({D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}));
  EXPECT_EQ(Choose(noDxt, D3DFMT_DXT1), D3DFMT_A8R8G8B8);
  EXPECT_EQ(Choose(noDxt, D3DFMT_DXT5), D3DFMT_A8R8G8B8);
  ProfiledDevice noDxt1(Without({D3DFMT_DXT1}));
  EXPECT_EQ(Choose(noDxt1, D3DFMT_DXT1), D3DFMT_A8R8G8B8);  // never another DXT format
}

TEST(ChooseDeviceFormatOnADevice, AlphaOnlyFallsBackToTheSmallestFormatKeepingAlpha) {
  ProfiledDevice noA8(Without({D3DFMT_A8}));
  EXPECT_EQ(Choose(noA8, D3DFMT_A8), D3DFMT_A8R8G8B8);
  ProfiledDevice withA8R3G3B2(WithTextures({D3DFMT_A8R3G3B2}, Without({D3DFMT_A8})));
  EXPECT_EQ(Choose(withA8R3G3B2, D3DFMT_A8), D3DFMT_A8R3G3B2);  // both 768; 16 bits beat 32
}

TEST(ChooseDeviceFormatOnADevice, WithoutA8R8G8B8AlphaGoesToTheNearestAlphaFormat) {
  ProfiledDevice noArgb(Without({D3DFMT_A8R8G8B8}));
  // A16B16G16R16 gains 8 bits in each channel (32); every other alpha format loses bits.
  EXPECT_EQ(Choose(noArgb, D3DFMT_A8R8G8B8), D3DFMT_A16B16G16R16);
  EXPECT_EQ(Choose(noArgb, D3DFMT_P8), D3DFMT_A16B16G16R16);
  ProfiledDevice fewFormats(Without({D3DFMT_A8R8G8B8, D3DFMT_A16B16G16R16, D3DFMT_A2R10G10B10, D3DFMT_A2B10G10R10}));
  // A4R4G4B4 loses 4 bits in each channel and A1R5G5B5 7 of alpha and 3 of each colour: 16
  // bits lost either way, both 16 bits per pixel, so the earlier row stays.
  EXPECT_EQ(Choose(fewFormats, D3DFMT_A8R8G8B8), D3DFMT_A1R5G5B5);
}

TEST(ChooseDeviceFormatOnADevice, BumpAndDepthFormatsStayInTheirKind) {
  ProfiledDevice noV8U8(Without({D3DFMT_V8U8}));
  EXPECT_EQ(Choose(noV8U8, D3DFMT_V8U8), D3DFMT_V16U16);  // 16 bits gained; Q8W8V8U8 adds channels
  ProfiledDevice noBump(Without({D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,
                                 D3DFMT_A2W10V10U10, D3DFMT_Q16W16V16U16}));
  EXPECT_EQ(Choose(noBump, D3DFMT_V8U8), D3DFMT_UNKNOWN);
  ProfiledDevice capable(CapableProfile());
  EXPECT_EQ(Choose(capable, D3DFMT_D24S8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE), D3DFMT_D24S8);
  ProfiledDevice noStencil(Without({D3DFMT_D24S8}));
  // D24X8 loses the stencil (0x1000000), D32 loses it too and gains 8 depth bits.
  EXPECT_EQ(Choose(noStencil, D3DFMT_D24S8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE), D3DFMT_D24X8);
}

TEST(ChooseDeviceFormatOnADevice, UnknownRequestsBehaveLikeArgb) {
  ProfiledDevice capable(CapableProfile());
  EXPECT_EQ(Choose(capable, D3DFMT_UNKNOWN), D3DFMT_A8R8G8B8);
  ProfiledDevice noArgb(Without({D3DFMT_A8R8G8B8}));
  EXPECT_EQ(Choose(noArgb, static_cast<D3DFORMAT>(4242)), D3DFMT_A16B16G16R16);
}

TEST(ChooseDeviceFormatOnADevice, AsksForTheResourceTypeAndUsage) {
  ProfiledDevice capable(CapableProfile());
  // The capable adapter has no volume textures of the pair formats and no A4R4G4B4 render
  // targets.
  EXPECT_EQ(Choose(capable, D3DFMT_YUY2, 0, D3DRTYPE_TEXTURE), D3DFMT_YUY2);
  EXPECT_EQ(Choose(capable, D3DFMT_YUY2, 0, D3DRTYPE_VOLUMETEXTURE), D3DFMT_X8R8G8B8);
  EXPECT_EQ(Choose(capable, D3DFMT_A4R4G4B4, 0), D3DFMT_A4R4G4B4);
  EXPECT_EQ(Choose(capable, D3DFMT_A4R4G4B4, D3DUSAGE_RENDERTARGET), D3DFMT_A8R8G8B8);  // 4 bits gained a channel
}

TEST(ChooseDeviceFormatOnADevice, SoftwareVertexProcessingWidensVertexTextureQueries) {
  // R32F is offered for vertex textures, but not to software vertex processing.
  DeviceProfile profile = CapableProfile();
  profile.Support(D3DRTYPE_TEXTURE, D3DFMT_R32F, D3DUSAGE_QUERY_VERTEXTEXTURE);
  ProfiledDevice hardware(profile, D3DCREATE_HARDWARE_VERTEXPROCESSING);
  EXPECT_EQ(Choose(hardware, D3DFMT_R32F, D3DUSAGE_QUERY_VERTEXTEXTURE), D3DFMT_R32F);
  ProfiledDevice software(profile, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  EXPECT_NE(Choose(software, D3DFMT_R32F, D3DUSAGE_QUERY_VERTEXTEXTURE), D3DFMT_R32F);
}

// Refused format probes print nothing: the runtime's debug output is muted for the walk and
// switched back on afterwards, unless the D3DXDoNotMute setting forbids muting. The runtime
// prints refused capability checks at its second debug level, which makes the walk visible.
std::vector<std::string>* capturedLines = nullptr;
void Capture(const char* line) {
  if (capturedLines) capturedLines->push_back(line);
}

class DebugOutputDuringChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDebugMuteForTesting();
    DebugSetMute(0);
    capturedLines = &lines_;
    SetDebugOutputSink(Capture);
  }
  void TearDown() override {
    SetDebugOutputSink(nullptr);
    capturedLines = nullptr;
    ResetDebugMuteForTesting();
    DebugSetMute(0);
  }
  std::vector<std::string> lines_;
  ScopedEnvironment debug_{"RASTROMETER_D3D_DEBUG", "2"};
};

TEST_F(DebugOutputDuringChoice, ProbesAreSilentAndOutputReturnsAfterwards) {
  ScopedEnvironment allowMuting("D3DXDoNotMute", std::nullopt);
  ProfiledDevice capable(CapableProfile());
  lines_.clear();
  EXPECT_EQ(Choose(capable, D3DFMT_P8), D3DFMT_A8R8G8B8);  // walks all rows, many refused
  EXPECT_TRUE(lines_.empty()) << lines_.front();
  // The mute is off again: a refused query now prints.
  EXPECT_NE(capable.direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_P8),
            D3D_OK);
  EXPECT_EQ(lines_.size(), 1u);
}

TEST_F(DebugOutputDuringChoice, DoNotMuteLetsTheProbesPrint) {
  ScopedEnvironment forbidMuting("D3DXDoNotMute", "1");
  ProfiledDevice capable(CapableProfile());
  lines_.clear();
  EXPECT_EQ(Choose(capable, D3DFMT_P8), D3DFMT_A8R8G8B8);
  EXPECT_FALSE(lines_.empty());
}

}  // namespace
}  // namespace rastro
