// Textures from image files, end to end on devices of the resource-only renderer: sizes,
// level counts and formats worked out by hand from the image and the device's caps, pixels
// from the image's own values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DdsWriter.h"
#include "ImageFiles.h"
#include "ProfiledDevice.h"
#include "ScratchDirectory.h"
#include "TextureFromFile.h"
#include "d3dx9tex.h"

namespace rastro::testing {
namespace {

constexpr UINT kDefault = D3DX_DEFAULT;

struct Loaded {
  HRESULT result = E_FAIL;
  ComPtr<IDirect3DTexture9> texture;
  D3DXIMAGE_INFO info{};
  D3DSURFACE_DESC desc{};
  UINT levels = 0;
};

Loaded LoadFromMemory(IDirect3DDevice9* device, const std::string& file, UINT width = kDefault, UINT height = kDefault,
                      UINT levels = kDefault, DWORD usage = 0, D3DFORMAT format = D3DFMT_UNKNOWN,
                      D3DPOOL pool = D3DPOOL_MANAGED, DWORD filter = kDefault, DWORD mipFilter = kDefault,
                      D3DCOLOR colorKey = 0, PALETTEENTRY* palette = nullptr) {
  Loaded loaded;
  loaded.result = D3DXCreateTextureFromFileInMemoryEx(device, file.data(), static_cast<UINT>(file.size()), width,
                                                      height, levels, usage, format, pool, filter, mipFilter, colorKey,
                                                      &loaded.info, palette, loaded.texture.ReleaseAndGetAddressOf());
  if (loaded.texture) {
    loaded.texture->GetLevelDesc(0, &loaded.desc);
    loaded.levels = loaded.texture->GetLevelCount();
  }
  return loaded;
}

// The bytes of one level, row after row without padding.
std::vector<BYTE> LevelBytes(IDirect3DTexture9* texture, UINT level, UINT bytesPerPixel) {
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(level, &desc);
  D3DLOCKED_RECT lock{};
  std::vector<BYTE> bytes;
  if (FAILED(texture->LockRect(level, &lock, nullptr, D3DLOCK_READONLY))) return bytes;
  for (UINT y = 0; y < desc.Height; ++y) {
    const BYTE* row = static_cast<const BYTE*>(lock.pBits) + y * lock.Pitch;
    bytes.insert(bytes.end(), row, row + desc.Width * bytesPerPixel);
  }
  texture->UnlockRect(level);
  return bytes;
}

DWORD Pixel32(const std::vector<BYTE>& bytes, std::size_t index) {
  DWORD value = 0;
  std::memcpy(&value, bytes.data() + 4 * index, 4);
  return value;
}

// The colour of an X8R8G8B8 pixel; its top byte means nothing.
DWORD Colour(const std::vector<BYTE>& bytes, std::size_t index) { return Pixel32(bytes, index) & 0xFFFFFF; }

TEST(TextureFromFile, JpegWithDefaultsBecomesAPowerOfTwoTextureWithItsFullChain) {
  ProfiledTestDevice device;
  const Loaded loaded = LoadFromMemory(device.Get(), Jpeg(640, 480));
  ASSERT_EQ(loaded.result, D3D_OK);
  EXPECT_EQ(loaded.desc.Width, 1024u);
  EXPECT_EQ(loaded.desc.Height, 512u);
  EXPECT_EQ(loaded.levels, 11u);
  EXPECT_EQ(loaded.desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(loaded.desc.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(loaded.info.Width, 640u);
  EXPECT_EQ(loaded.info.Height, 480u);
  EXPECT_EQ(loaded.info.Depth, 1u);
  EXPECT_EQ(loaded.info.MipLevels, 1u);
  EXPECT_EQ(loaded.info.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(loaded.info.ResourceType, D3DRTYPE_TEXTURE);
  EXPECT_EQ(loaded.info.ImageFileFormat, D3DXIFF_JPG);
}

TEST(TextureFromFile, FromAFileWithEveryDefault) {
  ProfiledTestDevice device;
  ScratchDirectory directory;
  const auto path = directory.Write("photo.jpg", Jpeg(640, 480));
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(D3DXCreateTextureFromFileA(device.Get(), path.c_str(), texture.ReleaseAndGetAddressOf()), D3D_OK);
  D3DSURFACE_DESC desc{};
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 1024u);
  EXPECT_EQ(desc.Height, 512u);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(texture->GetLevelCount(), 11u);
}

TEST(TextureFromFile, ExactImageSizeUnlessTheDeviceNeedsPowersOfTwo) {
  const std::string jpeg = Jpeg(640, 480);
  ProfiledTestDevice free;
  const Loaded exact = LoadFromMemory(free.Get(), jpeg, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2);
  ASSERT_EQ(exact.result, D3D_OK);
  EXPECT_EQ(exact.desc.Width, 640u);
  EXPECT_EQ(exact.desc.Height, 480u);
  EXPECT_EQ(exact.levels, 10u);
  ProfiledTestDevice powerOfTwo(ProfileWithCaps(D3DPTEXTURECAPS_POW2));
  const Loaded raised = LoadFromMemory(powerOfTwo.Get(), jpeg, D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2);
  ASSERT_EQ(raised.result, D3D_OK);
  EXPECT_EQ(raised.desc.Width, 1024u);
  EXPECT_EQ(raised.desc.Height, 512u);
  ProfiledTestDevice squareOnly(ProfileWithCaps(D3DPTEXTURECAPS_SQUAREONLY));
  const Loaded square = LoadFromMemory(squareOnly.Get(), jpeg);
  ASSERT_EQ(square.result, D3D_OK);
  EXPECT_EQ(square.desc.Width, 512u);
  EXPECT_EQ(square.desc.Height, 512u);
  EXPECT_EQ(square.levels, 10u);
}

TEST(TextureFromFile, DefaultUsageMeansNoUsage) {
  ProfiledTestDevice device;
  for (D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_DEFAULT}) {
    const Loaded loaded =
        LoadFromMemory(device.Get(), Jpeg(16, 16), kDefault, kDefault, kDefault, D3DX_DEFAULT, D3DFMT_UNKNOWN, pool);
    ASSERT_EQ(loaded.result, D3D_OK) << pool;
    EXPECT_EQ(loaded.desc.Usage, 0u) << pool;
    EXPECT_EQ(loaded.levels, 5u) << pool;
  }
}

TEST(TextureFromFile, AutomaticMipMapsKeepOneLevelOfTheirOwn) {
  ProfiledTestDevice device;
  const Loaded loaded = LoadFromMemory(device.Get(), Jpeg(64, 64), kDefault, kDefault, 0, D3DUSAGE_AUTOGENMIPMAP);
  ASSERT_EQ(loaded.result, D3D_OK);
  EXPECT_EQ(loaded.desc.Usage, D3DUSAGE_AUTOGENMIPMAP);
  EXPECT_EQ(loaded.levels, 1u);  // the device builds the rest
}

// Two by two pixels: red, green on top; blue, white below.
std::string SmallRgbBitmap() { return Bitmap(2, 2, 24, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}); }

TEST(TextureFromFile, ColourKeyTurnsAnOpaqueImageIntoAnAlphaTexture) {
  ProfiledTestDevice device;
  const Loaded plain = LoadFromMemory(device.Get(), SmallRgbBitmap(), kDefault, kDefault, 1);
  ASSERT_EQ(plain.result, D3D_OK);
  EXPECT_EQ(plain.desc.Format, D3DFMT_X8R8G8B8);  // the file's R8G8B8 is not offered
  EXPECT_EQ(plain.info.Format, D3DFMT_R8G8B8);

  const Loaded keyed = LoadFromMemory(device.Get(), SmallRgbBitmap(), kDefault, kDefault, 1, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_FILTER_NONE, kDefault, 0xFF00FF00);
  ASSERT_EQ(keyed.result, D3D_OK);
  EXPECT_EQ(keyed.desc.Format, D3DFMT_A8R8G8B8);
  const std::vector<BYTE> pixels = LevelBytes(keyed.texture.Get(), 0, 4);
  ASSERT_EQ(pixels.size(), 16u);
  EXPECT_EQ(Pixel32(pixels, 0), 0xFFFF0000u);
  EXPECT_EQ(Pixel32(pixels, 1), 0x00000000u);  // the green key became transparent black
  EXPECT_EQ(Pixel32(pixels, 2), 0xFF0000FFu);
  EXPECT_EQ(Pixel32(pixels, 3), 0xFFFFFFFFu);
}

std::vector<Rgb> GreyRamp() {
  std::vector<Rgb> palette;
  for (int i = 0; i < 256; ++i) palette.push_back({std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
  return palette;
}

std::vector<Rgb> R3G3B2Ramp() {
  static constexpr std::uint8_t kThree[8] = {0, 36, 73, 109, 146, 182, 219, 255};
  static constexpr std::uint8_t kTwo[4] = {0, 85, 170, 255};
  std::vector<Rgb> palette;
  for (int k = 0; k < 256; ++k) palette.push_back({kThree[k / 32], kThree[(k / 4) % 8], kTwo[k % 4]});
  return palette;
}

const std::vector<std::uint8_t> kIndices{0, 17, 200, 255};

TEST(TextureFromFile, GreyRampPaletteLoadsAsLuminance) {
  ProfiledTestDevice device;
  const Loaded loaded = LoadFromMemory(device.Get(), Bitmap(2, 2, 8, {}, kIndices, GreyRamp()), kDefault, kDefault, 1);
  ASSERT_EQ(loaded.result, D3D_OK);
  EXPECT_EQ(loaded.desc.Format, D3DFMT_L8);
  EXPECT_EQ(LevelBytes(loaded.texture.Get(), 0, 1), std::vector<BYTE>(kIndices.begin(), kIndices.end()));
}

TEST(TextureFromFile, ColourRampPaletteLoadsAsR3G3B2) {
  DeviceProfile profile = CapableProfile();
  profile.Support(D3DRTYPE_TEXTURE, D3DFMT_R3G3B2, 0);
  ProfiledTestDevice device(profile);
  const Loaded loaded =
      LoadFromMemory(device.Get(), Bitmap(2, 2, 8, {}, kIndices, R3G3B2Ramp()), kDefault, kDefault, 1);
  ASSERT_EQ(loaded.result, D3D_OK);
  EXPECT_EQ(loaded.desc.Format, D3DFMT_R3G3B2);
  EXPECT_EQ(LevelBytes(loaded.texture.Get(), 0, 1), std::vector<BYTE>(kIndices.begin(), kIndices.end()));
}

TEST(TextureFromFile, PalettizedTexturesOnlyForCallersTakingThePalette) {
  DeviceProfile profile = CapableProfile();
  profile.Support(D3DRTYPE_TEXTURE, D3DFMT_P8, 0);
  ProfiledTestDevice device(profile);
  const std::vector<Rgb> colours{{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {255, 0, 0}};
  const std::string file = Bitmap(2, 2, 8, {}, {0, 1, 2, 3}, colours);

  const Loaded withoutPalette = LoadFromMemory(device.Get(), file, kDefault, kDefault, 1);
  ASSERT_EQ(withoutPalette.result, D3D_OK);
  EXPECT_EQ(withoutPalette.desc.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(Colour(LevelBytes(withoutPalette.texture.Get(), 0, 4), 2), 0x46505Au);

  PALETTEENTRY palette[256];
  const Loaded withPalette = LoadFromMemory(device.Get(), file, kDefault, kDefault, 1, 0, D3DFMT_UNKNOWN,
                                            D3DPOOL_MANAGED, kDefault, kDefault, 0, palette);
  ASSERT_EQ(withPalette.result, D3D_OK);
  EXPECT_EQ(withPalette.desc.Format, D3DFMT_P8);
  EXPECT_EQ(LevelBytes(withPalette.texture.Get(), 0, 1), (std::vector<BYTE>{0, 1, 2, 3}));
  EXPECT_EQ(palette[1].peRed, 40);
  EXPECT_EQ(palette[1].peGreen, 50);
  EXPECT_EQ(palette[1].peBlue, 60);
  EXPECT_EQ(palette[1].peFlags, 255);
  EXPECT_EQ(palette[4].peRed, 255);  // entries beyond the file's are opaque white
  EXPECT_EQ(palette[4].peFlags, 255);

  // A keyed entry turns transparent black in the palette, so the colour texture needs alpha.
  const Loaded keyed = LoadFromMemory(device.Get(), file, kDefault, kDefault, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                      kDefault, kDefault, 0xFFFF0000);
  ASSERT_EQ(keyed.result, D3D_OK);
  EXPECT_EQ(keyed.desc.Format, D3DFMT_A8R8G8B8);
  const std::vector<BYTE> pixels = LevelBytes(keyed.texture.Get(), 0, 4);
  EXPECT_EQ(Pixel32(pixels, 0), 0xFF0A141Eu);
  EXPECT_EQ(Pixel32(pixels, 3), 0x00000000u);
}

// A 4 x 4 image whose 2 x 2 corners average differently from their first pixels, so that the
// second level shows how it was made.
std::string CheckerBitmap() {
  std::vector<Rgb> pixels;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) pixels.push_back((x + y) % 2 ? Rgb{0, 0, 0} : Rgb{200, 100, 40});
  }
  return Bitmap(4, 4, 24, pixels);
}

TEST(TextureFromFile, MissingLevelsAreFilteredOrLoadedDirectly) {
  ProfiledTestDevice device;
  // Box mip filter: each level-1 pixel is the mean of two coloured and two black pixels.
  const Loaded boxed = LoadFromMemory(device.Get(), CheckerBitmap(), kDefault, kDefault, kDefault, 0, D3DFMT_UNKNOWN,
                                      D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_BOX);
  ASSERT_EQ(boxed.result, D3D_OK);
  ASSERT_EQ(boxed.levels, 3u);
  EXPECT_EQ(Colour(LevelBytes(boxed.texture.Get(), 1, 4), 0), 0x643214u);
  // A linear mip filter is not a mip-filter strategy: every level is loaded from the image
  // with the point filter, which takes the top-left pixel of each 2 x 2 block.
  const Loaded direct = LoadFromMemory(device.Get(), CheckerBitmap(), kDefault, kDefault, kDefault, 0, D3DFMT_UNKNOWN,
                                       D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_LINEAR);
  ASSERT_EQ(direct.result, D3D_OK);
  const std::vector<BYTE> level1 = LevelBytes(direct.texture.Get(), 1, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Colour(level1, i), 0xC86428u) << i;
  EXPECT_EQ(Colour(LevelBytes(direct.texture.Get(), 2, 4), 0), 0xC86428u);
}

TEST(TextureFromFile, DefaultPoolTexturesAreFilledThroughSystemMemory) {
  ProfiledTestDevice device;
  const Loaded loaded =
      LoadFromMemory(device.Get(), Jpeg(32, 16), kDefault, kDefault, kDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT);
  ASSERT_EQ(loaded.result, D3D_OK);
  EXPECT_EQ(loaded.desc.Pool, D3DPOOL_DEFAULT);
  EXPECT_EQ(loaded.levels, 6u);
}

TEST(TextureFromFile, CubeAndVolumeFilesKeepTheirKindAndPixels) {
  ProfiledTestDevice device;
  ComPtr<IDirect3DCubeTexture9> cube;
  ASSERT_EQ(
      device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, cube.ReleaseAndGetAddressOf(), nullptr),
      D3D_OK);
  for (UINT face = 0; face < 6; ++face) {
    D3DLOCKED_RECT lock{};
    ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &lock, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < 4; ++y) {
      for (UINT x = 0; x < 4; ++x) {
        const DWORD value = 0xFF000000u | (face * 40) << 16 | (x * 60) << 8 | y * 70;
        std::memcpy(static_cast<BYTE*>(lock.pBits) + y * lock.Pitch + 4 * x, &value, 4);
      }
    }
    cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
  }
  std::vector<BYTE> dds;
  ASSERT_EQ(WriteDds(cube.Get(), nullptr, dds), D3D_OK);

  ComPtr<IDirect3DBaseTexture9> loaded;
  TextureRequest request;
  request.Device = device.Get();
  request.FileData = dds.data();
  request.FileSize = static_cast<UINT>(dds.size());
  request.Depth = kDefault;
  request.ResourceType = static_cast<D3DRESOURCETYPE>(D3DX_DEFAULT);
  request.Filter = D3DX_FILTER_NONE;
  request.Texture = loaded.ReleaseAndGetAddressOf();
  ASSERT_EQ(BuildTextureFromFileData(request), D3D_OK);
  ASSERT_EQ(loaded->GetType(), D3DRTYPE_CUBETEXTURE);
  EXPECT_EQ(loaded->GetLevelCount(), 3u);
  ComPtr<IDirect3DCubeTexture9> loadedCube;
  ASSERT_EQ(
      loaded->QueryInterface(IID_IDirect3DCubeTexture9, reinterpret_cast<void**>(loadedCube.ReleaseAndGetAddressOf())),
      D3D_OK);
  for (UINT face = 0; face < 6; ++face) {
    D3DLOCKED_RECT lock{};
    ASSERT_EQ(loadedCube->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &lock, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD value = 0;
    std::memcpy(&value, static_cast<BYTE*>(lock.pBits) + 2 * lock.Pitch + 4 * 3, 4);
    EXPECT_EQ(value, 0xFF000000u | (face * 40) << 16 | 180u << 8 | 140u) << face;
    loadedCube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
  }

  // A flat image as a volume: one slice.
  request.FileData = nullptr;
  const std::string bitmap = SmallRgbBitmap();
  request.FileData = bitmap.data();
  request.FileSize = static_cast<UINT>(bitmap.size());
  request.ResourceType = D3DRTYPE_VOLUMETEXTURE;
  request.Texture = loaded.ReleaseAndGetAddressOf();
  ASSERT_EQ(BuildTextureFromFileData(request), D3D_OK);
  ASSERT_EQ(loaded->GetType(), D3DRTYPE_VOLUMETEXTURE);
  ComPtr<IDirect3DVolumeTexture9> volume;
  ASSERT_EQ(
      loaded->QueryInterface(IID_IDirect3DVolumeTexture9, reinterpret_cast<void**>(volume.ReleaseAndGetAddressOf())),
      D3D_OK);
  D3DVOLUME_DESC desc{};
  volume->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 2u);
  EXPECT_EQ(desc.Height, 2u);
  EXPECT_EQ(desc.Depth, 1u);
  D3DLOCKED_BOX box{};
  ASSERT_EQ(volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
  DWORD value = 0;
  std::memcpy(&value, static_cast<BYTE*>(box.pBits) + box.RowPitch, 4);
  EXPECT_EQ(value & 0xFFFFFF, 0x0000FFu);
  volume->UnlockBox(0);

  // A cube needs six faces.
  request.ResourceType = D3DRTYPE_CUBETEXTURE;
  IDirect3DBaseTexture9* untouched = reinterpret_cast<IDirect3DBaseTexture9*>(0x1234);
  request.Texture = &untouched;
  EXPECT_EQ(BuildTextureFromFileData(request), E_FAIL);
  EXPECT_EQ(untouched, reinterpret_cast<IDirect3DBaseTexture9*>(0x1234));
}

TEST(TextureFromFile, FailuresLeaveTheOutputUntouched) {
  ProfiledTestDevice device;
  ScratchDirectory directory;
  const auto empty = directory.Write("empty.jpg", "");
  const auto garbage = directory.Write("garbage.jpg", "this is no image at all");
  const auto missing = directory.Path() / "missing.jpg";
  IDirect3DTexture9* const sentinel = reinterpret_cast<IDirect3DTexture9*>(0x5678);
  struct {
    const char* label;
    IDirect3DDevice9* device;
    const char* file;
    HRESULT expected;
  } const cases[] = {
      {"missing file", device.Get(), missing.c_str(), D3DXERR_INVALIDDATA},
      {"empty file", device.Get(), empty.c_str(), D3DERR_INVALIDCALL},
      {"not an image", device.Get(), garbage.c_str(), D3DXERR_INVALIDDATA},
      {"no name", device.Get(), nullptr, D3DERR_INVALIDCALL},
      {"no device", nullptr, garbage.c_str(), D3DERR_INVALIDCALL},
  };
  for (const auto& c : cases) {
    IDirect3DTexture9* texture = sentinel;
    EXPECT_EQ(D3DXCreateTextureFromFileA(c.device, c.file, &texture), c.expected) << c.label;
    EXPECT_EQ(texture, sentinel) << c.label;
  }
  EXPECT_EQ(D3DXCreateTextureFromFileA(device.Get(), garbage.c_str(), nullptr), D3DERR_INVALIDCALL);

  // Bad usage, bad pool and formats no device offers fail after decoding.
  const std::string bitmap = SmallRgbBitmap();
  IDirect3DTexture9* texture = sentinel;
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device.Get(), bitmap.data(), static_cast<UINT>(bitmap.size()), kDefault,
                                                kDefault, kDefault, D3DUSAGE_WRITEONLY, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                kDefault, kDefault, 0, nullptr, nullptr, &texture),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device.Get(), bitmap.data(), static_cast<UINT>(bitmap.size()), kDefault,
                                                kDefault, kDefault, 0, D3DFMT_UNKNOWN, static_cast<D3DPOOL>(7),
                                                kDefault, kDefault, 0, nullptr, nullptr, &texture),
            D3DERR_INVALIDCALL);
  DeviceProfile noBump = CapableProfile();
  for (D3DFORMAT bump : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,
                         D3DFMT_A2W10V10U10, D3DFMT_Q16W16V16U16}) {
    noBump.Withdraw(bump);
  }
  ProfiledTestDevice withoutBump(noBump);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(withoutBump.Get(), bitmap.data(), static_cast<UINT>(bitmap.size()),
                                                kDefault, kDefault, kDefault, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, kDefault,
                                                kDefault, 0, nullptr, nullptr, &texture),
            D3DERR_NOTAVAILABLE);
  EXPECT_EQ(texture, sentinel);
}

}  // namespace
}  // namespace rastro::testing
