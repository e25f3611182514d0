// Sizes, level counts and formats settled against device caps, worked out by hand from the
// caps of each profile.
#include <gtest/gtest.h>

#include "ProfiledDevice.h"
#include "TextureRequirements.h"
#include "d3dx9tex.h"

namespace rastro::testing {
namespace {

constexpr UINT kDefault = D3DX_DEFAULT;

struct Size {
  UINT width, height, depth, levels;
  bool operator==(const Size&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Size& s) {
  return out << s.width << "x" << s.height << "x" << s.depth << " levels " << s.levels;
}

struct RequirementCase {
  const char* label;
  DeviceProfile (*profile)();
  D3DRESOURCETYPE type;
  DWORD usage;
  D3DPOOL pool;
  D3DFORMAT format;
  Size requested;
  Size expected;
  D3DFORMAT expectedFormat;
};

void PrintTo(const RequirementCase& c, std::ostream* out) { *out << c.label; }

DeviceProfile Capable() { return CapableProfile(); }
DeviceProfile PowerOfTwo() { return ProfileWithCaps(D3DPTEXTURECAPS_POW2); }
DeviceProfile SquareOnly() { return ProfileWithCaps(D3DPTEXTURECAPS_SQUAREONLY); }
DeviceProfile AspectTwo() { return ProfileWithCaps(0, 0, 4096, 4096, 2); }
DeviceProfile Small() { return ProfileWithCaps(0, 0, 256, 128); }
DeviceProfile Conditional() { return ProfileWithCaps(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL); }
DeviceProfile ConditionalOnly() { return ProfileWithCaps(D3DPTEXTURECAPS_NONPOW2CONDITIONAL); }
DeviceProfile NoMipMaps() {
  return ProfileWithCaps(0, D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPCUBEMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP);
}
DeviceProfile CubePowerOfTwo() { return ProfileWithCaps(D3DPTEXTURECAPS_CUBEMAP_POW2 | D3DPTEXTURECAPS_SQUAREONLY); }
DeviceProfile VolumePowerOfTwo() { return ProfileWithCaps(D3DPTEXTURECAPS_VOLUMEMAP_POW2); }
DeviceProfile VolumeLimit64() { return ProfileWithCaps(0, 0, 4096, 4096, 4096, 64); }

class ResolveTextureRequirementsCase : public ::testing::TestWithParam<RequirementCase> {};

TEST_P(ResolveTextureRequirementsCase, SettlesSizeLevelsAndFormat) {
  const RequirementCase& c = GetParam();
  ProfiledTestDevice device(c.profile());
  Size size = c.requested;
  D3DFORMAT format = c.format;
  ASSERT_EQ(ResolveTextureRequirements(device.Get(), &size.width, &size.height, &size.depth, &size.levels, c.usage,
                                       &format, c.pool, c.type),
            D3D_OK);
  EXPECT_EQ(size, c.expected);
  EXPECT_EQ(format, c.expectedFormat);
}

constexpr auto T = D3DRTYPE_TEXTURE;
constexpr auto V = D3DRTYPE_VOLUMETEXTURE;
constexpr auto C = D3DRTYPE_CUBETEXTURE;
constexpr auto M = D3DPOOL_MANAGED;
constexpr auto S = D3DPOOL_SCRATCH;
constexpr auto X8 = D3DFMT_X8R8G8B8;
constexpr auto A8 = D3DFMT_A8R8G8B8;

INSTANTIATE_TEST_SUITE_P(
    Caps, ResolveTextureRequirementsCase,
    ::testing::Values(
        // Nothing asked: 256 x 256 with its full chain of 9 levels, 32-bit ARGB.
        RequirementCase{"AllDefaults",
                        Capable,
                        T,
                        0,
                        M,
                        D3DFMT_UNKNOWN,
                        {kDefault, kDefault, kDefault, kDefault},
                        {256, 256, 1, 9},
                        A8},
        // The powers of two above a 640 x 480 image: 11 levels (1024 has 11 significant bits).
        RequirementCase{
            "PowerOfTwoSizeKeepsItsFullChain", Capable, T, 0, M, X8, {1024, 512, 1, kDefault}, {1024, 512, 1, 11}, X8},
        RequirementCase{"ExactSizeWithoutLimits", Capable, T, 0, M, X8, {640, 480, 1, kDefault}, {640, 480, 1, 10}, X8},
        RequirementCase{
            "PowerOfTwoCapRaisesSizes", PowerOfTwo, T, 0, M, X8, {640, 480, 1, kDefault}, {1024, 512, 1, 11}, X8},
        RequirementCase{
            "SquareOnlyTakesTheSmallerSide", SquareOnly, T, 0, M, X8, {1024, 512, 1, kDefault}, {512, 512, 1, 10}, X8},
        RequirementCase{"SquareOnlyTallTexture", SquareOnly, T, 0, M, X8, {64, 1024, 1, kDefault}, {64, 64, 1, 7}, X8},
        // Width to height x 2 first, then height to the new width x 2.
        RequirementCase{
            "AspectLimitNarrowsTheWideSide", AspectTwo, T, 0, M, X8, {1024, 256, 1, kDefault}, {512, 256, 1, 10}, X8},
        RequirementCase{
            "AspectLimitNarrowsTheTallSide", AspectTwo, T, 0, M, X8, {16, 128, 1, kDefault}, {16, 32, 1, 6}, X8},
        RequirementCase{"MaximumWidthAndHeight", Small, T, 0, M, X8, {1024, 512, 1, kDefault}, {256, 128, 1, 9}, X8},
        // Exactly the image's size asked for (0xFFFFFFFE) is just a very large size here.
        RequirementCase{"HugeSizeClampsToTheLimit",
                        Small,
                        T,
                        0,
                        M,
                        X8,
                        {0xFFFFFFFE, 0xFFFFFFFE, 1, kDefault},
                        {256, 128, 1, 9},
                        X8},
        RequirementCase{
            "ConditionalSingleLevelKeepsItsSize", Conditional, T, 0, M, X8, {640, 480, 1, 1}, {640, 480, 1, 1}, X8},
        RequirementCase{
            "ConditionalChainIsRaised", Conditional, T, 0, M, X8, {640, 480, 1, kDefault}, {1024, 512, 1, 11}, X8},
        RequirementCase{"ConditionalWithoutPowerOfTwoCapGetsOneLevel",
                        ConditionalOnly,
                        T,
                        0,
                        M,
                        X8,
                        {640, 480, 1, kDefault},
                        {640, 480, 1, 1},
                        X8},
        RequirementCase{"ConditionalPowerOfTwoSizeKeepsItsChain",
                        ConditionalOnly,
                        T,
                        0,
                        M,
                        X8,
                        {512, 256, 1, kDefault},
                        {512, 256, 1, 10},
                        X8},
        RequirementCase{
            "NoMipMapCapGivesOneLevel", NoMipMaps, T, 0, M, X8, {256, 256, 1, kDefault}, {256, 256, 1, 1}, X8},
        RequirementCase{"ZeroLevelsIsTheFullChain", Capable, T, 0, M, X8, {256, 64, 1, 0}, {256, 64, 1, 9}, X8},
        RequirementCase{"TooManyLevelsIsTheFullChain", Capable, T, 0, M, X8, {256, 64, 1, 20}, {256, 64, 1, 9}, X8},
        RequirementCase{"SomeLevelsStay", Capable, T, 0, M, X8, {256, 64, 1, 3}, {256, 64, 1, 3}, X8},
        RequirementCase{"AutoGeneratedChainAsksForZeroLevels",
                        Capable,
                        T,
                        D3DUSAGE_AUTOGENMIPMAP,
                        M,
                        X8,
                        {256, 256, 1, 0},
                        {256, 256, 1, 0},
                        X8},
        RequirementCase{"AutoGeneratedSingleLevelStaysOne",
                        Capable,
                        T,
                        D3DUSAGE_AUTOGENMIPMAP,
                        M,
                        X8,
                        {256, 256, 1, 1},
                        {256, 256, 1, 1},
                        X8},
        RequirementCase{"AutoGeneratedPartialChainAsksForZero",
                        Capable,
                        T,
                        D3DUSAGE_AUTOGENMIPMAP,
                        M,
                        X8,
                        {256, 256, 1, 4},
                        {256, 256, 1, 0},
                        X8},
        RequirementCase{
            "OneSideGivenCopiesIt", Capable, T, 0, M, X8, {128, kDefault, 1, kDefault}, {128, 128, 1, 8}, X8},
        RequirementCase{
            "OtherSideGivenCopiesIt", Capable, T, 0, M, X8, {kDefault, 32, 1, kDefault}, {32, 32, 1, 6}, X8},
        RequirementCase{"ZeroSizeBecomesOne", Capable, T, 0, M, X8, {0, 0, 0, kDefault}, {1, 1, 1, 1}, X8},
        RequirementCase{"CubeTakesTheLargerSide", Capable, C, 0, M, X8, {64, 256, 1, kDefault}, {256, 256, 1, 9}, X8},
        // Square-only applies to plain textures; cubes are square anyway.
        RequirementCase{"CubePowerOfTwo", CubePowerOfTwo, C, 0, M, X8, {100, 60, 1, kDefault}, {128, 128, 1, 8}, X8},
        RequirementCase{
            "CubeIgnoresThePlainPowerOfTwoCap", PowerOfTwo, C, 0, M, X8, {100, 60, 1, kDefault}, {100, 100, 1, 7}, X8},
        RequirementCase{"VolumeLevelsCountTheDepth", Capable, V, 0, M, X8, {4, 4, 64, kDefault}, {4, 4, 64, 7}, X8},
        RequirementCase{
            "VolumeExtentLimitsAllThree", VolumeLimit64, V, 0, M, X8, {1024, 32, 100, kDefault}, {64, 32, 64, 7}, X8},
        RequirementCase{"VolumePowerOfTwo", VolumePowerOfTwo, V, 0, M, X8, {3, 5, 6, kDefault}, {4, 8, 8, 4}, X8},
        RequirementCase{
            "VolumeIgnoresThePlainPowerOfTwoCap", PowerOfTwo, V, 0, M, X8, {3, 5, 6, kDefault}, {3, 5, 6, 3}, X8},
        RequirementCase{"DepthDefaultsToOne", Capable, V, 0, M, X8, {8, 8, kDefault, kDefault}, {8, 8, 1, 4}, X8},
        RequirementCase{"BlockFormatsTakeWholeBlocks",
                        Capable,
                        T,
                        0,
                        M,
                        D3DFMT_DXT1,
                        {5, 7, 1, kDefault},
                        {8, 8, 1, 4},
                        D3DFMT_DXT1},
        RequirementCase{"MissingFormatBecomesTheClosest",
                        Capable,
                        T,
                        0,
                        M,
                        D3DFMT_R8G8B8,
                        {16, 16, 1, kDefault},
                        {16, 16, 1, 5},
                        X8},
        // Scratch textures skip the device: no format choice, no limits, no caps.
        RequirementCase{"ScratchKeepsAnyFormat",
                        Small,
                        T,
                        0,
                        S,
                        D3DFMT_R8G8B8,
                        {1024, 512, 1, kDefault},
                        {1024, 512, 1, 11},
                        D3DFMT_R8G8B8},
        RequirementCase{"ScratchUnknownFormatIsArgb",
                        NoMipMaps,
                        T,
                        0,
                        S,
                        D3DFMT_UNKNOWN,
                        {640, 480, 1, kDefault},
                        {640, 480, 1, 10},
                        A8},
        RequirementCase{"ScratchBlockFormatTakesWholeBlocks",
                        Capable,
                        T,
                        0,
                        S,
                        D3DFMT_DXT5,
                        {6, 2, 1, 1},
                        {8, 4, 1, 1},
                        D3DFMT_DXT5},
        RequirementCase{
            "DefaultUsageCountsAsNone", Capable, T, D3DX_DEFAULT, M, X8, {2, 2, 1, kDefault}, {2, 2, 1, 2}, X8}),
    [](const ::testing::TestParamInfo<RequirementCase>& test) { return std::string(test.param.label); });

TEST(ResolveTextureRequirements, MissingPointersCountAsDefaultsAndReceiveNothing) {
  ProfiledTestDevice device;
  EXPECT_EQ(ResolveTextureRequirements(device.Get(), nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED,
                                       D3DRTYPE_TEXTURE),
            D3D_OK);
  UINT levels = 0;
  EXPECT_EQ(ResolveTextureRequirements(device.Get(), nullptr, nullptr, nullptr, &levels, 0, nullptr, D3DPOOL_MANAGED,
                                       D3DRTYPE_TEXTURE),
            D3D_OK);
  EXPECT_EQ(levels, 9u);  // 256 x 256
  UINT height = 0;
  EXPECT_EQ(ResolveTextureRequirements(device.Get(), nullptr, &height, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED,
                                       D3DRTYPE_TEXTURE),
            D3D_OK);
  EXPECT_EQ(height, 1u);  // given as 0; the missing width copies it
}

TEST(ResolveTextureRequirements, RefusesBadArgumentsWithoutWritingBack) {
  ProfiledTestDevice device;
  DeviceProfile noBump = CapableProfile();
  for (D3DFORMAT bump : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,
                         D3DFMT_A2W10V10U10, D3DFMT_Q16W16V16U16}) {
    noBump.Withdraw(bump);
  }
  ProfiledTestDevice withoutBump(noBump);
  struct {
    IDirect3DDevice9* device;
    DWORD usage;
    D3DPOOL pool;
    D3DFORMAT format;
    HRESULT expected;
  } const cases[] = {
      {nullptr, 0, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
      {device.Get(), D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
      {device.Get(), D3DUSAGE_QUERY_WRAPANDMIP, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
      {device.Get(), 0x80000000u, D3DPOOL_MANAGED, D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
      {device.Get(), 0, static_cast<D3DPOOL>(4), D3DFMT_X8R8G8B8, D3DERR_INVALIDCALL},
      {withoutBump.Get(), 0, D3DPOOL_MANAGED, D3DFMT_V8U8, D3DERR_NOTAVAILABLE},
  };
  for (const auto& c : cases) {
    UINT width = 100, height = 50, depth = 1, levels = 0;
    D3DFORMAT format = c.format;
    EXPECT_EQ(ResolveTextureRequirements(c.device, &width, &height, &depth, &levels, c.usage, &format, c.pool,
                                         D3DRTYPE_TEXTURE),
              c.expected)
        << c.usage << " " << c.pool << " " << c.format;
    EXPECT_EQ(width, 100u);
    EXPECT_EQ(height, 50u);
    EXPECT_EQ(levels, 0u);
    EXPECT_EQ(format, c.format);
  }
  // The query bits and the creation bits a texture takes are all accepted.
  UINT width = 4, height = 4;
  EXPECT_EQ(
      ResolveTextureRequirements(device.Get(), &width, &height, nullptr, nullptr,
                                 D3DUSAGE_QUERY_FILTER | D3DUSAGE_DYNAMIC, nullptr, D3DPOOL_DEFAULT, D3DRTYPE_TEXTURE),
      D3D_OK);
}

TEST(ResolveTextureRequirements, LimitsNearTheTopOfTheRangeDoNotWrap) {
  DeviceProfile profile = ProfileWithCaps(D3DPTEXTURECAPS_POW2, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  ProfiledTestDevice device(profile);
  UINT width = 0xFFFFFFFE, height = 0x80000001, levels = kDefault;
  D3DFORMAT format = D3DFMT_X8R8G8B8;
  ASSERT_EQ(ResolveTextureRequirements(device.Get(), &width, &height, nullptr, &levels, 0, &format, D3DPOOL_MANAGED,
                                       D3DRTYPE_TEXTURE),
            D3D_OK);
  EXPECT_EQ(width, 0x80000000u);
  EXPECT_EQ(height, 0x80000000u);
  EXPECT_EQ(levels, 32u);
}

}  // namespace
}  // namespace rastro::testing
