// Textures from arbitrary files: D3DXCreateTextureFromFileInMemoryEx, and the pipeline behind
// it for cube and volume requests, with sizes, level counts, usages, formats, pools, filter
// words, colour keys and palette requests of the input's choosing, on resource-only devices
// whose profile the input edits (power-of-two rules, square-only, mip caps, size limits,
// withdrawn formats). The first 32 bytes steer; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ComPtr.h"
#include "DeviceProfile.h"
#include "FormatCatalogue.h"
#include "MuteDebugOutput.h"
#include "TextureFromFile.h"
#include "d3dx9tex.h"

namespace {

using namespace rastro;

constexpr std::size_t kSteering = 32;
// Images larger than this are skipped: they only make the fuzzer slow, not wiser.
constexpr std::uint64_t kMaxPixels = 1u << 20;

class Steering {
 public:
  explicit Steering(const std::uint8_t* data) : data_(data) {}
  // Zero once the steering bytes are used up.
  std::uint8_t Byte() { return position_ < kSteering ? data_[position_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return v;
  }

 private:
  const std::uint8_t* data_;
  std::size_t position_ = 0;
};

UINT Size(std::uint8_t choice) {
  switch (choice % 4) {
    case 0: return D3DX_DEFAULT;
    case 1: return D3DX_DEFAULT_NONPOW2;
    case 2: return 0;
    default: return choice / 4;  // 0 to 63
  }
}

DWORD Filter(std::uint8_t choice, std::uint32_t word) {
  switch (choice % 4) {
    case 0: return D3DX_DEFAULT;
    case 1: return 1 + choice / 4 % 5;                        // a plain filter type
    case 2: return (1 + choice / 4 % 5) | (word & 0x3F0000);  // with mirror, dither, sRGB bits
    default: return word;                                     // anything, invalid words included
  }
}

DeviceProfile Profile(Steering& in) {
  DeviceProfile profile = CapableProfile();
  const std::uint8_t caps = in.Byte();
  static constexpr DWORD kCapBits[] = {
      D3DPTEXTURECAPS_POW2,         D3DPTEXTURECAPS_SQUAREONLY,     D3DPTEXTURECAPS_NONPOW2CONDITIONAL,
      D3DPTEXTURECAPS_CUBEMAP_POW2, D3DPTEXTURECAPS_VOLUMEMAP_POW2, D3DPTEXTURECAPS_MIPMAP,
      D3DPTEXTURECAPS_MIPCUBEMAP,   D3DPTEXTURECAPS_MIPVOLUMEMAP};
  for (int bit = 0; bit < 8; ++bit) {
    if (caps & (1 << bit)) profile.caps.TextureCaps ^= kCapBits[bit];
  }
  const std::uint8_t limits = in.Byte();
  profile.caps.MaxTextureWidth = 1u << (limits % 10);
  profile.caps.MaxTextureHeight = 1u << (limits / 10 % 10);
  profile.caps.MaxTextureAspectRatio = limits & 0x80 ? 0 : 1u << (limits % 5);
  profile.caps.MaxVolumeExtent = 1u << (in.Byte() % 8);
  // Take out up to three formats, so that the closest-format choice has work to do.
  for (int i = 0; i < 3; ++i) {
    const std::uint8_t row = in.Byte();
    if (row < FormatCatalogueSize()) profile.Withdraw(FormatCatalogue()[row].Format);
  }
  if (in.Byte() & 1) {
    profile.Support(D3DRTYPE_TEXTURE, D3DFMT_P8, 0);
    profile.Support(D3DRTYPE_TEXTURE, D3DFMT_A8P8, 0);
  }
  return profile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSteering) return 0;
  const std::uint8_t* file = data + kSteering;
  const UINT fileSize = static_cast<UINT>(size - kSteering);
  D3DXIMAGE_INFO header{};
  if (SUCCEEDED(D3DXGetImageInfoFromFileInMemory(file, fileSize, &header)) &&
      std::uint64_t{header.Width} * header.Height * header.Depth > kMaxPixels) {
    return 0;
  }

  Steering in(data);
  std::vector<Adapter> adapters;
  adapters.push_back(ResourceOnlyAdapter(Profile(in)));
  ComPtr<IDirect3D9> direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 64;
  parameters.BackBufferHeight = 64;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  ComPtr<IDirect3DDevice9> device;
  if (FAILED(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                    device.ReleaseAndGetAddressOf()))) {
    return 0;
  }

  TextureRequest request;
  request.Device = device.Get();
  request.FileData = file;
  request.FileSize = fileSize;
  request.Width = Size(in.Byte());
  request.Height = Size(in.Byte());
  const std::uint8_t levels = in.Byte();
  request.MipLevels = levels < 128 ? levels % 12 : D3DX_DEFAULT;
  static constexpr DWORD kUsages[] = {0,
                                      D3DUSAGE_AUTOGENMIPMAP,
                                      D3DUSAGE_DYNAMIC,
                                      D3DUSAGE_RENDERTARGET,
                                      D3DUSAGE_QUERY_FILTER,
                                      D3DUSAGE_WRITEONLY,
                                      D3DX_DEFAULT};
  request.Usage = kUsages[in.Byte() % (sizeof kUsages / sizeof kUsages[0])];
  const std::uint8_t format = in.Byte();
  request.Format = format < FormatCatalogueSize() ? FormatCatalogue()[format].Format : D3DFMT_UNKNOWN;
  request.Pool = static_cast<D3DPOOL>(in.Byte() % 5);
  const std::uint8_t filterChoice = in.Byte(), mipFilterChoice = in.Byte();
  request.Filter = Filter(filterChoice, in.Word());
  request.MipFilter = Filter(mipFilterChoice, in.Word());
  request.ColorKey = in.Byte() & 1 ? in.Word() : 0;
  std::vector<PALETTEENTRY> palette(256);
  D3DXIMAGE_INFO info{};
  const std::uint8_t kind = in.Byte();
  request.Palette = kind & 0x10 ? palette.data() : nullptr;
  request.SourceInfo = kind & 0x20 ? &info : nullptr;
  static constexpr D3DRESOURCETYPE kTypes[] = {D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE,
                                               static_cast<D3DRESOURCETYPE>(D3DX_DEFAULT)};
  request.ResourceType = kTypes[kind % 4];
  request.Depth = request.ResourceType == D3DRTYPE_TEXTURE ? 1 : Size(kind >> 6);

  if (request.ResourceType == D3DRTYPE_TEXTURE && !(kind & 0x40)) {
    // Through the published entry point.
    ComPtr<IDirect3DTexture9> texture;
    D3DXCreateTextureFromFileInMemoryEx(device.Get(), file, fileSize, request.Width, request.Height, request.MipLevels,
                                        request.Usage, request.Format, request.Pool, request.Filter, request.MipFilter,
                                        request.ColorKey, request.SourceInfo, request.Palette,
                                        texture.ReleaseAndGetAddressOf());
    return 0;
  }
  ComPtr<IDirect3DBaseTexture9> texture;
  request.Texture = texture.ReleaseAndGetAddressOf();
  BuildTextureFromFileData(request);
  return 0;
}
