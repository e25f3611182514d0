// rastro-tex info: decodes each file's headers (and with --pixels its pixels) the way the
// loader does and prints what it found, one line per file.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Command.h"
#include "DecodeImage.h"
#include "FormatNames.h"
#include "InputFailure.h"
#include "MappedFile.h"
#include "decoders/ImageDecoder.h"

namespace rastro::tex {

namespace {

const char* ResourceTypeName(D3DRESOURCETYPE type) {
  switch (type) {
    case D3DRTYPE_TEXTURE: return "texture";
    case D3DRTYPE_VOLUMETEXTURE: return "volume texture";
    case D3DRTYPE_CUBETEXTURE: return "cube texture";
    default: return "unknown resource";
  }
}

std::string FormatText(D3DFORMAT format) {
  if (const char* name = D3dFormatName(format)) return name;
  char number[32];
  std::snprintf(number, sizeof number, "format %u", static_cast<unsigned>(format));
  return number;
}

int Fail(const char* name, std::string_view reason) {
  std::fprintf(stderr, "rastro-tex: %s: %.*s\n", name, static_cast<int>(reason.size()), reason.data());
  return kExitFailure;
}

int InfoOne(const char* name, bool pixels) {
  MappedFile file;
  if (FAILED(file.Open(name))) return Fail(name, OpenFailure(name));
  if (file.Size() == 0) return Fail(name, "empty file");

  D3DXIMAGE_INFO info{};
  ImageData image;
  DecodeFailure pixelFailure, headerFailure;
  HRESULT decoded =
      pixels ? DecodeImage(&image, file.View(), file.Size(), &info, TRUE, nullptr, &pixelFailure) : E_FAIL;
  if (FAILED(decoded) && FAILED(DecodeImage(&image, file.View(), file.Size(), &info, FALSE, nullptr, &headerFailure))) {
    return Fail(name, DecodeFailureText(headerFailure));
  }
  std::printf("%s: %s, %u x %u, depth %u, %u mip level%s, %s, %s", name, FileFormatName(info.ImageFileFormat),
              info.Width, info.Height, info.Depth, info.MipLevels, info.MipLevels == 1 ? "" : "s",
              ResourceTypeName(info.ResourceType), FormatText(info.Format).c_str());
  if (pixels && SUCCEEDED(decoded)) {
    std::printf(", pixels decoded as %s, row pitch %u\n", FormatText(image.Format).c_str(), image.RowPitch);
  } else if (pixels) {
    std::printf(", pixels NOT decoded\n");
    std::fflush(stdout);
    return Fail(name, DecodeFailureText(pixelFailure));
  } else {
    std::printf("\n");
  }
  return kExitOk;
}

}  // namespace

int RunInfo(std::span<char* const> arguments) {
  bool pixels = false;
  std::vector<const char*> files;
  for (const char* argument : arguments) {
    if (std::strcmp(argument, "--pixels") == 0) {
      pixels = true;
    } else if (argument[0] == '-' && argument[1] != '\0') {
      std::fprintf(stderr, "rastro-tex: info: unknown option '%s'\n", argument);
      return PrintUsage();
    } else {
      files.push_back(argument);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "rastro-tex: info: no file given\n");
    return PrintUsage();
  }
  int status = kExitOk;
  for (const char* name : files) {
    if (InfoOne(name, pixels) != kExitOk) status = kExitFailure;
    std::fflush(stdout);
  }
  return status;
}

}  // namespace rastro::tex
