// rastro-tex convert IN OUT.dds [options]: an image file loaded through the texture pipeline
// on a resource-only device that offers every format a DDS file can hold, written as a DDS
// file. The output appears whole or not at all.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BatchConvert.h"
#include "ComPtr.h"
#include "Command.h"
#include "DdsWriter.h"
#include "DeviceProfile.h"
#include "FormatCatalogue.h"
#include "FormatNames.h"
#include "InputFailure.h"
#include "MappedFile.h"
#include "TextureFromFile.h"
#include "WholeFile.h"
#include "d3dx9tex.h"

namespace rastro::tex {

namespace {

struct ConvertOptions {
  const char* input = nullptr;
  const char* output = nullptr;
  D3DFORMAT format = D3DFMT_UNKNOWN;
  UINT width = D3DX_DEFAULT;
  UINT height = D3DX_DEFAULT;
  UINT depth = D3DX_DEFAULT;
  UINT mipLevels = D3DX_DEFAULT;
  DWORD filter = D3DX_DEFAULT;
  DWORD mipFilter = D3DX_DEFAULT;
  D3DCOLOR colorKey = 0;
  D3DRESOURCETYPE resourceType = static_cast<D3DRESOURCETYPE>(D3DX_DEFAULT);
  // Many inputs into one directory, `jobs` at a time (0: one per loader thread).
  std::vector<const char*> inputs;
  const char* outDir = nullptr;
  unsigned jobs = 0;
  // Mips of block-compressed formats from the uncompressed image (not the compressed level).
  bool mipsFromImage = true;
};

int Problem(const char* format, const char* detail) {
  std::fprintf(stderr, "rastro-tex convert: ");
  std::fprintf(stderr, format, detail);
  std::fprintf(stderr, "\n");
  return kExitUsage;
}

std::optional<UINT> ParseCount(std::string_view text, int base = 10) {
  if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
  UINT value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A format by its published name, with or without the "D3DFMT_" prefix.
std::optional<D3DFORMAT> ParseFormat(std::string_view name) {
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) {
    const D3DFORMAT format = FormatCatalogue()[i].Format;
    const char* published = D3dFormatName(format);
    if (!published || !DdsCanHold(format)) continue;
    std::string_view full(published);
    std::string_view shortName = full.starts_with("D3DFMT_") ? full.substr(7) : full;
    if (name == full || name == shortName) return format;
  }
  return std::nullopt;
}

// A filter type by name, with optional "+flag" suffixes: none, point, linear, triangle, box;
// dither, mirror, mirror-u, mirror-v, mirror-w, srgb, srgb-in, srgb-out.
std::optional<DWORD> ParseFilter(std::string_view text) {
  static constexpr struct {
    const char* name;
    DWORD value;
  } kTypes[] = {{"none", D3DX_FILTER_NONE},
                {"point", D3DX_FILTER_POINT},
                {"linear", D3DX_FILTER_LINEAR},
                {"triangle", D3DX_FILTER_TRIANGLE},
                {"box", D3DX_FILTER_BOX}};
  static constexpr struct {
    const char* name;
    DWORD value;
  } kFlags[] = {{"dither", D3DX_FILTER_DITHER},     {"mirror", D3DX_FILTER_MIRROR},
                {"mirror-u", D3DX_FILTER_MIRROR_U}, {"mirror-v", D3DX_FILTER_MIRROR_V},
                {"mirror-w", D3DX_FILTER_MIRROR_W}, {"srgb", D3DX_FILTER_SRGB},
                {"srgb-in", D3DX_FILTER_SRGB_IN},   {"srgb-out", D3DX_FILTER_SRGB_OUT}};
  const std::size_t plus = text.find('+');
  const std::string_view typeName = text.substr(0, plus);
  std::optional<DWORD> filter;
  for (const auto& type : kTypes) {
    if (typeName == type.name) filter = type.value;
  }
  if (!filter) return std::nullopt;
  std::string_view rest = plus == std::string_view::npos ? std::string_view() : text.substr(plus + 1);
  while (plus != std::string_view::npos) {
    const std::size_t next = rest.find('+');
    const std::string_view flagName = rest.substr(0, next);
    bool known = false;
    for (const auto& flag : kFlags) {
      if (flagName == flag.name) {
        *filter |= flag.value;
        known = true;
      }
    }
    if (!known) return std::nullopt;
    if (next == std::string_view::npos) break;
    rest = rest.substr(next + 1);
  }
  return filter;
}

// Reads the arguments; returns kExitOk or, after naming the problem, kExitUsage.
int ParseArguments(std::span<char* const> arguments, ConvertOptions& options) {
  std::vector<const char*> files;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool takesValue = argument == "--format" || argument == "--size" || argument == "--mips" ||
                            argument == "--filter" || argument == "--mipfilter" || argument == "--colorkey" ||
                            argument == "-j" || argument == "--out-dir" || argument == "--mip-source";
    if (takesValue && i + 1 >= arguments.size()) return Problem("%s needs a value", arguments[i]);
    const std::string_view value = takesValue ? std::string_view(arguments[i + 1]) : std::string_view();
    if (argument == "--format") {
      const auto format = ParseFormat(value);
      if (!format)
        return Problem("unknown format '%s' (a texture format a DDS file holds, such as A8R8G8B8)", arguments[i + 1]);
      options.format = *format;
    } else if (argument == "--size") {
      if (value == "image") {
        options.width = options.height = options.depth = D3DX_DEFAULT_NONPOW2;
      } else {
        const std::size_t x = value.find('x');
        const auto width = x == std::string_view::npos ? std::nullopt : ParseCount(value.substr(0, x));
        const auto height = x == std::string_view::npos ? std::nullopt : ParseCount(value.substr(x + 1));
        if (!width || !height || *width == 0 || *height == 0 || *width > 16384 || *height > 16384) {
          return Problem("--size takes WIDTHxHEIGHT (1 to 16384 each) or 'image', not '%s'", arguments[i + 1]);
        }
        options.width = *width;
        options.height = *height;
      }
    } else if (argument == "--mips") {
      const auto levels = ParseCount(value);
      if (!levels || *levels > 32)
        return Problem("--mips takes a level count from 0 (a full chain) to 32, not '%s'", arguments[i + 1]);
      options.mipLevels = *levels;
    } else if (argument == "--filter" || argument == "--mipfilter") {
      const auto filter = ParseFilter(value);
      if (!filter) {
        return Problem("unknown filter '%s' (none, point, linear, triangle or box, with +dither, +mirror, +srgb ...)",
                       arguments[i + 1]);
      }
      (argument == "--filter" ? options.filter : options.mipFilter) = *filter;
    } else if (argument == "--colorkey") {
      const auto key = ParseCount(value, 16);
      if (!key) return Problem("--colorkey takes a colour as 0xAARRGGBB, not '%s'", arguments[i + 1]);
      options.colorKey = *key;
    } else if (argument == "--cube" || argument == "--volume") {
      const auto type = argument == "--cube" ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_VOLUMETEXTURE;
      if (static_cast<UINT>(options.resourceType) != D3DX_DEFAULT && options.resourceType != type) {
        return Problem("%s", "--cube and --volume exclude each other");
      }
      options.resourceType = type;
    } else if (argument == "-j") {
      const auto jobs = ParseCount(value);
      if (!jobs || *jobs == 0 || *jobs > 256)
        return Problem("-j takes a number of files from 1 to 256, not '%s'", arguments[i + 1]);
      options.jobs = *jobs;
    } else if (argument == "--out-dir") {
      options.outDir = arguments[i + 1];
    } else if (argument == "--mip-source") {
      if (value != "image" && value != "level")
        return Problem("--mip-source takes 'image' or 'level', not '%s'", arguments[i + 1]);
      options.mipsFromImage = value == "image";
    } else if (argument.starts_with("-")) {
      return Problem("unknown option '%s'", arguments[i]);
    } else {
      files.push_back(arguments[i]);
    }
    if (takesValue) ++i;
  }
  if (options.outDir) {
    if (files.empty()) return Problem("%s", "needs input image files to write into --out-dir");
    options.inputs = files;
    return kExitOk;
  }
  if (files.size() != 2) return Problem("%s", "needs an input image file and an output .dds file");
  options.input = files[0];
  options.output = files[1];
  return kExitOk;
}

// A device of the time with every format a DDS file can hold offered for every texture kind,
// and room for large textures.
DeviceProfile ConvertProfile() {
  DeviceProfile profile = CapableProfile();
  profile.caps.MaxTextureWidth = profile.caps.MaxTextureHeight = 16384;
  profile.caps.MaxTextureAspectRatio = 16384;
  profile.caps.MaxVolumeExtent = 2048;
  for (UINT i = 0; i < FormatCatalogueSize(); ++i) {
    const FormatInfo& info = FormatCatalogue()[i];
    if (!DdsCanHold(info.Format) || info.Kind == FormatKind::Depth) continue;
    for (D3DRESOURCETYPE type : {D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE}) {
      profile.Support(type, info.Format, D3DUSAGE_QUERY_FILTER);
    }
  }
  return profile;
}

struct ConvertDevice {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;
};

HRESULT CreateConvertDevice(ConvertDevice& out) {
  std::vector<Adapter> adapters;
  adapters.push_back(ResourceOnlyAdapter(ConvertProfile()));
  out.direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
  if (!out.direct3d) return E_OUTOFMEMORY;
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 640;
  parameters.BackBufferHeight = 480;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  return out.direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                    out.device.ReleaseAndGetAddressOf());
}

const char* Explain(HRESULT result) {
  if (result == D3DERR_NOTAVAILABLE) return "no texture format fits";
  if (result == D3DERR_INVALIDCALL) return "the request does not fit the image";
  if (result == E_OUTOFMEMORY) return "out of memory";
  if (result == E_FAIL) return "the image does not fit the request (a cube map needs six faces)";
  return "the texture could not be built";
}

int Fail(const char* name, const std::string& reason) {
  std::fprintf(stderr, "rastro-tex convert: %s: %s\n", name, reason.c_str());
  return kExitFailure;
}

int WriteAll(int descriptor, const std::vector<BYTE>& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t step = write(descriptor, bytes.data() + written, bytes.size() - written);
    if (step < 0 && errno == EINTR) continue;
    if (step < 0) return errno;
    if (step == 0) return EIO;
    written += static_cast<std::size_t>(step);
  }
  return 0;
}

D3DFORMAT TopLevelFormat(IDirect3DBaseTexture9* texture) {
  D3DSURFACE_DESC surface{};
  D3DVOLUME_DESC volume{};
  switch (texture->GetType()) {
    case D3DRTYPE_TEXTURE: static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &surface); return surface.Format;
    case D3DRTYPE_CUBETEXTURE:
      static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &surface);
      return surface.Format;
    case D3DRTYPE_VOLUMETEXTURE:
      static_cast<IDirect3DVolumeTexture9*>(texture)->GetLevelDesc(0, &volume);
      return volume.Format;
    default: return D3DFMT_UNKNOWN;
  }
}

std::string FormatShortName(D3DFORMAT format) {
  const char* name = D3dFormatName(format);
  if (!name) return std::to_string(static_cast<unsigned>(format));
  std::string_view text(name);
  return std::string(text.starts_with("D3DFMT_") ? text.substr(7) : text);
}

}  // namespace

namespace {

int ConvertFile(const ConvertOptions& options) {
  MappedFile file;
  HRESULT result = file.Open(options.input);
  if (FAILED(result)) return Fail(options.input, OpenFailure(options.input));
  if (file.Size() == 0) return Fail(options.input, "empty file");
  ConvertDevice device;
  result = CreateConvertDevice(device);
  if (FAILED(result)) {
    std::fprintf(stderr, "rastro-tex convert: no device to build textures on (0x%08X)\n",
                 static_cast<unsigned>(result));
    return kExitFailure;
  }

  std::vector<PALETTEENTRY> palette(256);
  const bool palettized =
      options.format != D3DFMT_UNKNOWN && LookupFormatInfo(options.format).Kind == FormatKind::Palette;
  ComPtr<IDirect3DBaseTexture9> texture;
  D3DXIMAGE_INFO info{};
  TextureRequest request;
  request.Device = device.device.Get();
  request.FileData = file.View();
  request.FileSize = file.Size();
  request.Width = options.width;
  request.Height = options.height;
  request.Depth = options.depth;
  request.MipLevels = options.mipLevels;
  request.Format = options.format;
  request.Pool = D3DPOOL_MANAGED;
  request.Filter = options.filter;
  request.MipFilter = options.mipFilter;
  request.ColorKey = options.colorKey;
  request.SourceInfo = &info;
  request.Palette = palettized ? palette.data() : nullptr;
  request.ResourceType = options.resourceType;
  request.Texture = texture.ReleaseAndGetAddressOf();
  request.MipsFromUncompressedImage = options.mipsFromImage;
  DecodeFailure failure;
  request.Failure = &failure;
  result = BuildTextureFromFileData(request);
  if (result == D3DXERR_INVALIDDATA) return Fail(options.input, DecodeFailureText(failure));
  if (FAILED(result)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    return Fail(options.input, std::string(Explain(result)) + " (" + code + ")");
  }

  std::vector<BYTE> bytes;
  result = WriteDds(texture.Get(), palettized ? palette.data() : nullptr, bytes);
  if (FAILED(result)) {
    std::fprintf(stderr, "rastro-tex convert: %s: the texture cannot be written as DDS (0x%08X)\n", options.output,
                 static_cast<unsigned>(result));
    return kExitFailure;
  }
  if (const int error = WriteWholeFile(options.output, [&](int descriptor) { return WriteAll(descriptor, bytes); })) {
    return Fail(options.output, std::strerror(error));
  }
  // The loader picks another format where the one asked for cannot hold the image, as a palette
  // format for an image without a palette.
  const D3DFORMAT written = TopLevelFormat(texture.Get());
  if (options.format != D3DFMT_UNKNOWN && written != options.format) {
    std::fprintf(stderr, "rastro-tex convert: %s: wrote %s, not %s: %s\n", options.output,
                 FormatShortName(written).c_str(), FormatShortName(options.format).c_str(),
                 palettized ? "the image has no palette" : "the closest format the loader could make");
  }
  return kExitOk;
}

}  // namespace

int RunConvert(std::span<char* const> arguments) {
  ConvertOptions options;
  if (const int status = ParseArguments(arguments, options); status != kExitOk) return status;
  if (!options.outDir) return ConvertFile(options);
  return ConvertFiles(options.inputs, options.outDir, options.jobs, [&options](const char* input, const char* output) {
    ConvertOptions one = options;
    one.input = input;
    one.output = output;
    return ConvertFile(one);
  });
}

}  // namespace rastro::tex
