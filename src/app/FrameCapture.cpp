#include "FrameCapture.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <vector>

#include "ComPtr.h"

namespace rastro {

namespace {

// One back-buffer pixel as 8-bit red, green and blue; false for formats a back buffer cannot
// have.
bool ToRgb(D3DFORMAT format, const BYTE* pixel, BYTE out[3]) {
  auto widen = [](std::uint32_t value, int bits) {
    const std::uint32_t max = (1u << bits) - 1;
    return static_cast<BYTE>((value * 255 + max / 2) / max);
  };
  std::uint32_t v = 0;
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      std::memcpy(&v, pixel, 4);
      out[0] = static_cast<BYTE>(v >> 16), out[1] = static_cast<BYTE>(v >> 8), out[2] = static_cast<BYTE>(v);
      return true;
    case D3DFMT_A2R10G10B10:
      std::memcpy(&v, pixel, 4);
      out[0] = widen((v >> 20) & 0x3FF, 10), out[1] = widen((v >> 10) & 0x3FF, 10), out[2] = widen(v & 0x3FF, 10);
      return true;
    case D3DFMT_R5G6B5:
      std::memcpy(&v, pixel, 2);
      out[0] = widen(v >> 11, 5), out[1] = widen((v >> 5) & 0x3F, 6), out[2] = widen(v & 0x1F, 5);
      return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      std::memcpy(&v, pixel, 2);
      out[0] = widen((v >> 10) & 0x1F, 5), out[1] = widen((v >> 5) & 0x1F, 5), out[2] = widen(v & 0x1F, 5);
      return true;
    default: return false;
  }
}

UINT BytesPerPixel(D3DFORMAT format) {
  return format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 || format == D3DFMT_A1R5G5B5 ? 2 : 4;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng reports errors by longjmp; everything that must be undone lives outside this frame.
bool WritePng(std::FILE* file, UINT width, UINT height, std::vector<png_bytep>& rows, std::string& error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory for the PNG writer";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "the PNG file could not be written";
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::string CaptureFileName(std::size_t number, const char* testName) {
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "%02zu-", number);
  std::string name = prefix;
  bool separated = true;
  for (const char* c = testName ? testName : ""; *c; ++c) {
    if (std::isalnum(static_cast<unsigned char>(*c))) {
      name += *c;
      separated = false;
    } else if (!separated) {
      name += '-';
      separated = true;
    }
  }
  while (!name.empty() && name.back() == '-') name.pop_back();
  return name + ".png";
}

bool FrameCapture::Prepare(const std::filesystem::path& directory, std::string& error) {
  std::error_code code;
  if (std::filesystem::is_directory(directory, code)) return true;
  if (std::filesystem::exists(directory, code)) {
    error = "--capture " + directory.string() + ": not a directory";
    return false;
  }
  if (!std::filesystem::create_directories(directory, code)) {
    error = "--capture " + directory.string() + ": cannot create the directory (" + code.message() + ")";
    return false;
  }
  return true;
}

void FrameCapture::TestFrame(IDirect3DDevice9& device, std::size_t number, const char* testName) {
  std::string error;
  const std::filesystem::path file = directory_ / CaptureFileName(number, testName);
  if (!WriteBackBuffer(device, file, error) && err_) {
    std::fprintf(err_, "rastrometer: cannot capture %s: %s\n", file.c_str(), error.c_str());
  }
}

bool FrameCapture::WriteBackBuffer(IDirect3DDevice9& device, const std::filesystem::path& file, std::string& error) {
  ComPtr<IDirect3DSurface9> backBuffer, copy;
  D3DSURFACE_DESC desc{};
  if (FAILED(device.GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf())) ||
      FAILED(backBuffer->GetDesc(&desc))) {
    error = "the back buffer is not available";
    return false;
  }
  BYTE probe[3];
  const BYTE zero[4] = {};
  if (!ToRgb(desc.Format, zero, probe)) {
    error = "the back buffer's format cannot be written as a picture";
    return false;
  }
  if (FAILED(device.CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                copy.ReleaseAndGetAddressOf(), nullptr)) ||
      FAILED(device.GetRenderTargetData(backBuffer.Get(), copy.Get()))) {
    error = "the back buffer could not be read back";
    return false;
  }
  D3DLOCKED_RECT locked{};
  if (FAILED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
    error = "the copy of the back buffer could not be locked";
    return false;
  }
  std::vector<BYTE> pixels(static_cast<size_t>(desc.Width) * desc.Height * 3);
  const UINT bytes = BytesPerPixel(desc.Format);
  for (UINT y = 0; y < desc.Height; ++y) {
    const BYTE* row = static_cast<const BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
    BYTE* out = pixels.data() + static_cast<size_t>(y) * desc.Width * 3;
    for (UINT x = 0; x < desc.Width; ++x) ToRgb(desc.Format, row + x * bytes, out + x * 3);
  }
  copy->UnlockRect();
  std::vector<png_bytep> rows(desc.Height);
  for (UINT y = 0; y < desc.Height; ++y) rows[y] = pixels.data() + static_cast<size_t>(y) * desc.Width * 3;

  // Written under a temporary name and renamed, so no half-written picture is left.
  std::filesystem::path temporary = file;
  temporary += ".part";
  bool written;
  {
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(temporary.c_str(), "wb"));
    if (!out) {
      error = std::string("cannot open the file: ") + std::strerror(errno);
      return false;
    }
    written = WritePng(out.get(), desc.Width, desc.Height, rows, error);
    if (written && (std::fflush(out.get()) != 0 || std::ferror(out.get()))) {
      error = std::string("cannot write the file: ") + std::strerror(errno);
      written = false;
    }
  }
  std::error_code code;
  if (written) {
    std::filesystem::rename(temporary, file, code);
    if (!code) return true;
    error = "cannot rename the file into place: " + code.message();
  }
  std::filesystem::remove(temporary, code);
  return false;
}

}  // namespace rastro
