// Files written by independent encoders (ImageMagick, netpbm, libpng's and libjpeg's tools)
// decoded by the loader and compared with what ImageMagick or djpeg decode from the same
// bytes. The tools are part of the build's dependencies (scripts/install-deps.sh); a missing
// tool fails the test.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DecodeTestSupport.h"
#include "FormatCatalogue.h"

namespace rastro::testing {
namespace {

namespace fs = std::filesystem;

constexpr UINT kWidth = 37;
constexpr UINT kHeight = 23;

std::vector<BYTE> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& header, const std::vector<BYTE>& body) {
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

// Runs a shell command in `dir`; the test fails when it does.
bool RunTool(const fs::path& dir, const std::string& command) {
  std::string full = "cd '" + dir.string() + "' && " + command + " 2>tool-errors.txt";
  int status = std::system(full.c_str());
  bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    std::vector<BYTE> errors = ReadFile(dir / "tool-errors.txt");
    ADD_FAILURE() << "command failed (are the tools of scripts/install-deps.sh installed?): " << command << "\n"
                  << std::string(errors.begin(), errors.end());
  }
  return ok;
}

// Pixels as 16-bit R, G, B, A.
using Rgba16 = std::vector<std::uint16_t>;

// What the loader decoded, widened to 16 bits a channel the way ImageMagick widens 8-bit
// samples (v * 257). Float images are scaled by 65535 and rounded.
Rgba16 ToRgba16(const ImageData& image) {
  Rgba16 out;
  auto word = [](const BYTE* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); };
  auto wide = [](BYTE v) { return static_cast<std::uint16_t>(v * 257); };
  for (UINT y = 0; y < image.Height; ++y) {
    const BYTE* row = image.Data + static_cast<std::size_t>(y) * image.RowPitch;
    for (UINT x = 0; x < image.Width; ++x) {
      std::uint16_t r = 0, g = 0, b = 0, a = 65535;
      switch (image.Format) {
        case D3DFMT_L8: r = g = b = wide(row[x]); break;
        case D3DFMT_A8L8: r = g = b = wide(row[2 * x]), a = wide(row[2 * x + 1]); break;
        case D3DFMT_R8G8B8: b = wide(row[3 * x]), g = wide(row[3 * x + 1]), r = wide(row[3 * x + 2]); break;
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A8R8G8B8:
          b = wide(row[4 * x]), g = wide(row[4 * x + 1]), r = wide(row[4 * x + 2]);
          if (image.Format == D3DFMT_A8R8G8B8) a = wide(row[4 * x + 3]);
          break;
        case D3DFMT_P8: {
          const PALETTEENTRY& entry = image.Palette[row[x]];
          r = wide(entry.peRed), g = wide(entry.peGreen), b = wide(entry.peBlue), a = wide(entry.peFlags);
          break;
        }
        case D3DFMT_L16: r = g = b = word(row + 2 * x); break;
        case D3DFMT_A16B16G16R16:
          r = word(row + 8 * x), g = word(row + 8 * x + 2), b = word(row + 8 * x + 4), a = word(row + 8 * x + 6);
          break;
        case D3DFMT_A32B32G32R32F: {
          const float* p = reinterpret_cast<const float*>(row) + 4 * x;
          auto scale = [](float v) {
            return static_cast<std::uint16_t>(std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 65535.0f));
          };
          r = scale(p[0]), g = scale(p[1]), b = scale(p[2]), a = scale(p[3]);
          break;
        }
        default:
          if (image.Format == FORMAT_AL16) {
            r = g = b = word(row + 4 * x), a = word(row + 4 * x + 2);
          } else if (image.Format == FORMAT_R16) {
            b = word(row + 6 * x), g = word(row + 6 * x + 2), r = word(row + 6 * x + 4);
          } else {
            ADD_FAILURE() << "no comparison for format " << image.Format;
          }
      }
      out.insert(out.end(), {r, g, b, a});
    }
  }
  return out;
}

// ImageMagick's decoding of a file as 16-bit RGBA. ImageMagick keeps a TGA file's stored row
// order and notes the orientation beside it; -auto-orient applies it. `options` go between
// reading and writing.
Rgba16 MagickRgba16(const fs::path& dir, const std::string& file, const std::string& options = "") {
  if (!RunTool(dir, "/usr/bin/convert '" + file + "' -auto-orient " + options +
                        " -depth 16 -endian LSB rgba:reference.rgba")) {
    return {};
  }
  std::vector<BYTE> bytes = ReadFile(dir / "reference.rgba");
  Rgba16 out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return out;
}

// djpeg's decoding (binary PGM or PPM, maxval 255) as 16-bit RGBA.
Rgba16 DjpegRgba16(const fs::path& dir, const std::string& file, const std::string& dctMethod) {
  if (!RunTool(dir, "djpeg -dct " + dctMethod + " -pnm '" + file + "' > reference.pnm")) return {};
  std::vector<BYTE> bytes = ReadFile(dir / "reference.pnm");
  std::string text(bytes.begin(), bytes.end());
  std::istringstream header(text);
  std::string magic;
  unsigned width = 0, height = 0, maxValue = 0;
  header >> magic >> width >> height >> maxValue;
  const std::size_t start = static_cast<std::size_t>(header.tellg()) + 1;
  const unsigned channels = magic == "P6" ? 3 : 1;
  Rgba16 out;
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) {
    const BYTE* p = bytes.data() + start + i * channels;
    std::uint16_t r = static_cast<std::uint16_t>(p[0] * 257);
    std::uint16_t g = static_cast<std::uint16_t>(p[channels == 3 ? 1 : 0] * 257);
    std::uint16_t b = static_cast<std::uint16_t>(p[channels == 3 ? 2 : 0] * 257);
    out.insert(out.end(), {r, g, b, 65535});
  }
  return out;
}

Rgba16 FlipRows(const Rgba16& pixels, UINT width, UINT height) {
  Rgba16 out(pixels.size());
  for (UINT y = 0; y < height; ++y) {
    std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(4 * width * (height - 1 - y)), 4 * width,
                out.begin() + static_cast<std::ptrdiff_t>(4 * width * y));
  }
  return out;
}

// The first differing sample, for the failure message.
std::string FirstDifference(const Rgba16& ours, const Rgba16& theirs, int tolerance) {
  if (ours.size() != theirs.size())
    return "sizes " + std::to_string(ours.size()) + " and " + std::to_string(theirs.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    if (std::abs(ours[i] - theirs[i]) > tolerance) {
      return "pixel " + std::to_string(i / 4 % kWidth) + ", " + std::to_string(i / 4 / kWidth) + " channel " +
             std::to_string(i % 4) + ": ours " + std::to_string(ours[i]) + ", reference " + std::to_string(theirs[i]);
    }
  }
  return "";
}

// The source pictures, written once: a smooth but busy colour picture (ppm), its grey
// version (pgm) and a colour picture with varying alpha (pam).
class Sources {
 public:
  static const fs::path& Dir() {
    static Sources sources;
    return sources.dir_;
  }

 private:
  Sources() {
    dir_ = fs::temp_directory_path() / ("rastro-decode-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::vector<BYTE> rgb, grey, rgba;
    std::uint32_t noise = 12345;
    for (UINT y = 0; y < kHeight; ++y) {
      for (UINT x = 0; x < kWidth; ++x) {
        noise = noise * 1103515245u + 12345u;
        int n = static_cast<int>(noise >> 27);  // 0..31
        BYTE r = static_cast<BYTE>(std::min(255u, x * 7 + (n & 15)));
        BYTE g = static_cast<BYTE>(std::min(255u, y * 11 + (n >> 1)));
        BYTE b = static_cast<BYTE>((x * y * 3 + n) & 255);
        rgb.insert(rgb.end(), {r, g, b});
        grey.push_back(static_cast<BYTE>((r * 3 + g * 5 + b * 2) / 10));
        BYTE a = x == 0 ? 0 : x == 1 ? 255 : static_cast<BYTE>((x * 13 + y * 5) & 255);
        rgba.insert(rgba.end(), {r, g, b, a});
      }
    }
    const std::string size = std::to_string(kWidth) + " " + std::to_string(kHeight);
    WriteFile(dir_ / "src.ppm", "P6\n" + size + "\n255\n", rgb);
    WriteFile(dir_ / "src.pgm", "P5\n" + size + "\n255\n", grey);
    WriteFile(dir_ / "src.pam",
              "P7\nWIDTH " + std::to_string(kWidth) + "\nHEIGHT " + std::to_string(kHeight) +
                  "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
              rgba);
  }
  ~Sources() { fs::remove_all(dir_); }
  fs::path dir_;
};

enum class Reference {
  Magick,         // ImageMagick, exact
  MagickFlipped,  // ImageMagick, rows upside down (float maps keep their stored row order)
  MagickClose,    // ImageMagick, within 1/100 (Radiance: both round the shared exponent)
  DjpegInt,       // djpeg -dct int, exact
};

struct Variant {
  const char* file;
  const char* command;  // writes `file` in the sources' directory
  D3DFORMAT format;     // what the loader decodes it as
  D3DXIMAGE_FILEFORMAT fileFormat;
  Reference reference;
};

void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.file; }

class IndependentEncoders : public ::testing::TestWithParam<Variant> {};

TEST_P(IndependentEncoders, DecodeLikeTheReferenceDecoder) {
  const Variant& v = GetParam();
  const fs::path& dir = Sources::Dir();
  ASSERT_TRUE(RunTool(dir, v.command));
  std::vector<BYTE> bytes = ReadFile(dir / v.file);
  auto decoded = Decode(bytes);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, v.format);
  EXPECT_EQ(decoded->info.Format, ToPublicFormat(v.format));
  EXPECT_EQ(decoded->info.ImageFileFormat, v.fileFormat);
  ASSERT_EQ(decoded->image.Width, kWidth);
  ASSERT_EQ(decoded->image.Height, kHeight);

  if (v.fileFormat == D3DXIFF_JPG && v.format == D3DFMT_X8R8G8B8) {
    // Colour JPEG pixels read 0x00RRGGBB.
    int filled = 0;
    for (UINT y = 0; y < kHeight; ++y) {
      for (UINT x = 0; x < kWidth; ++x) filled += decoded->Row(y)[4 * x + 3] != 0;
    }
    EXPECT_EQ(filled, 0);
  }

  Rgba16 ours = ToRgba16(decoded->image);
  Rgba16 theirs;
  int tolerance = 0;
  switch (v.reference) {
    case Reference::Magick: theirs = MagickRgba16(dir, v.file); break;
    case Reference::MagickFlipped: theirs = FlipRows(MagickRgba16(dir, v.file), kWidth, kHeight); break;
    case Reference::MagickClose:
      // Read the linear samples as they are stored, without conversion to sRGB.
      theirs = MagickRgba16(dir, v.file, "-set colorspace sRGB");
      tolerance = 655;
      break;
    case Reference::DjpegInt: theirs = DjpegRgba16(dir, v.file, "int"); break;
  }
  EXPECT_EQ(FirstDifference(ours, theirs, tolerance), "");

  // The same file cut short is refused, wherever it is cut.
  for (std::size_t eighth = 1; eighth < 8; ++eighth) {
    std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * eighth / 8));
    EXPECT_EQ(Decode(cut)->hr, D3DXERR_INVALIDDATA) << "cut to " << cut.size() << " of " << bytes.size();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, IndependentEncoders,
    ::testing::Values(
        // PNG: libpng's own writer through netpbm, and ImageMagick.
        Variant{"rgb8.png", "pnmtopng -force src.ppm > rgb8.png", D3DFMT_X8R8G8B8, D3DXIFF_PNG, Reference::Magick},
        Variant{"rgb8-interlaced.png", "pnmtopng -force -interlace src.ppm > rgb8-interlaced.png", D3DFMT_X8R8G8B8,
                D3DXIFF_PNG, Reference::Magick},
        Variant{"rgb8-trns.png", "pnmtopng -force -transparent =rgb:00/00/00 src.ppm > rgb8-trns.png", D3DFMT_A8R8G8B8,
                D3DXIFF_PNG, Reference::Magick},
        Variant{"rgba8.png", "/usr/bin/convert src.pam -strip PNG32:rgba8.png", D3DFMT_A8R8G8B8, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"grey8.png", "pnmtopng -force src.pgm > grey8.png", D3DFMT_L8, D3DXIFF_PNG, Reference::Magick},
        Variant{"grey4.png", "pamdepth 15 src.pgm | pnmtopng -force > grey4.png", D3DFMT_L8, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"grey2.png", "pamdepth 3 src.pgm | pnmtopng -force > grey2.png", D3DFMT_L8, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"grey1.png", "pamdepth 1 src.pgm | pnmtopng -force > grey1.png", D3DFMT_L8, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"grey8-trns.png", "pnmtopng -force -transparent =rgb:40/40/40 src.pgm > grey8-trns.png", D3DFMT_A8L8,
                D3DXIFF_PNG, Reference::Magick},
        Variant{"grey16.png", "pamdepth 65535 src.pgm | pnmtopng -force > grey16.png", D3DFMT_L16, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"grey16-trns.png",
                "pamdepth 65535 src.pgm | pnmtopng -force -transparent =rgb:4040/4040/4040 > grey16-trns.png",
                FORMAT_AL16, D3DXIFF_PNG, Reference::Magick},
        Variant{"greyalpha8.png",
                "/usr/bin/convert src.pam -colorspace gray -strip -define png:color-type=4 greyalpha8.png", D3DFMT_A8L8,
                D3DXIFF_PNG, Reference::Magick},
        Variant{"greyalpha16.png",
                "/usr/bin/convert src.pam -colorspace gray -depth 16 -strip -define png:color-type=4 greyalpha16.png",
                FORMAT_AL16, D3DXIFF_PNG, Reference::Magick},
        Variant{"rgb16.png", "pamdepth 65535 src.ppm | pnmtopng -force > rgb16.png", FORMAT_R16, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"rgba16.png", "/usr/bin/convert src.pam -depth 16 -strip PNG64:rgba16.png", D3DFMT_A16B16G16R16,
                D3DXIFF_PNG, Reference::Magick},
        Variant{"palette8.png", "/usr/bin/convert src.pam -colors 60 -strip PNG8:palette8.png", D3DFMT_P8, D3DXIFF_PNG,
                Reference::Magick},
        Variant{"palette4.png", "pnmquant 12 src.ppm | pnmtopng > palette4.png", D3DFMT_P8, D3DXIFF_PNG,
                Reference::Magick},
        // JPEG: libjpeg's own encoder, compared with libjpeg's own decoder and the same method.
        Variant{"colour.jpg", "cjpeg -quality 85 src.ppm > colour.jpg", D3DFMT_X8R8G8B8, D3DXIFF_JPG,
                Reference::DjpegInt},
        Variant{"colour-444.jpg", "cjpeg -quality 95 -sample 1x1 src.ppm > colour-444.jpg", D3DFMT_X8R8G8B8,
                D3DXIFF_JPG, Reference::DjpegInt},
        Variant{"progressive.jpg", "cjpeg -progressive -restart 1 src.ppm > progressive.jpg", D3DFMT_X8R8G8B8,
                D3DXIFF_JPG, Reference::DjpegInt},
        Variant{"grey.jpg", "cjpeg -grayscale src.ppm > grey.jpg", D3DFMT_L8, D3DXIFF_JPG, Reference::DjpegInt},
        Variant{"magick.jpg", "/usr/bin/convert src.ppm -quality 70 magick.jpg", D3DFMT_X8R8G8B8, D3DXIFF_JPG,
                Reference::DjpegInt},
        // BMP.
        Variant{"rgb24.bmp", "ppmtobmp -bpp 24 src.ppm > rgb24.bmp", D3DFMT_R8G8B8, D3DXIFF_BMP, Reference::Magick},
        Variant{"palette8.bmp", "pnmquant 200 src.ppm | ppmtobmp -bpp 8 > palette8.bmp", D3DFMT_P8, D3DXIFF_BMP,
                Reference::Magick},
        Variant{"palette4.bmp", "pnmquant 12 src.ppm | ppmtobmp -bpp 4 > palette4.bmp", D3DFMT_P8, D3DXIFF_BMP,
                Reference::Magick},
        Variant{"mono.bmp", "pamthreshold src.pgm | pamtopnm | ppmtobmp -bpp 1 > mono.bmp", D3DFMT_P8, D3DXIFF_BMP,
                Reference::Magick},
        Variant{"os2.bmp", "ppmtobmp -os2 src.ppm > os2.bmp", D3DFMT_R8G8B8, D3DXIFF_BMP, Reference::Magick},
        Variant{"rle8.bmp", "/usr/bin/convert src.ppm -colors 200 -compress RLE BMP3:rle8.bmp", D3DFMT_P8, D3DXIFF_BMP,
                Reference::Magick},
        Variant{"bgra.bmp", "/usr/bin/convert src.pam BMP:bgra.bmp", D3DFMT_A8R8G8B8, D3DXIFF_BMP, Reference::Magick},
        // TGA.
        Variant{"rgb.tga", "ppmtotga -rgb -norle src.ppm > rgb.tga", D3DFMT_R8G8B8, D3DXIFF_TGA, Reference::Magick},
        Variant{"rgb-rle.tga", "ppmtotga -rgb src.ppm > rgb-rle.tga", D3DFMT_R8G8B8, D3DXIFF_TGA, Reference::Magick},
        Variant{"grey.tga", "ppmtotga -mono -norle src.pgm > grey.tga", D3DFMT_L8, D3DXIFF_TGA, Reference::Magick},
        Variant{"grey-rle.tga", "ppmtotga -mono src.pgm > grey-rle.tga", D3DFMT_L8, D3DXIFF_TGA, Reference::Magick},
        Variant{"cmap.tga", "pnmquant 100 src.ppm | ppmtotga -cmap > cmap.tga", D3DFMT_P8, D3DXIFF_TGA,
                Reference::Magick},
        Variant{"bgra.tga", "/usr/bin/convert src.pam bgra.tga", D3DFMT_A8R8G8B8, D3DXIFF_TGA, Reference::Magick},
        Variant{"bgra-rle.tga", "/usr/bin/convert src.pam -compress RLE bgra-rle.tga", D3DFMT_A8R8G8B8, D3DXIFF_TGA,
                Reference::Magick},
        // Portable maps.
        Variant{"raw.ppm", "pamtopnm src.pam > raw.ppm", D3DFMT_X8R8G8B8, D3DXIFF_PPM, Reference::Magick},
        Variant{"raw15.ppm", "pamdepth 15 src.ppm > raw15.ppm", D3DFMT_X8R8G8B8, D3DXIFF_PPM, Reference::Magick},
        Variant{"plain.ppm", "pnmtoplainpnm src.ppm > plain.ppm", D3DFMT_X8R8G8B8, D3DXIFF_PPM, Reference::Magick},
        Variant{"netpbm.pfm", "pamtopfm src.ppm > netpbm.pfm", D3DFMT_A32B32G32R32F, D3DXIFF_PFM,
                Reference::MagickFlipped},
        Variant{"magick.pfm", "/usr/bin/convert src.ppm magick.pfm", D3DFMT_A32B32G32R32F, D3DXIFF_PFM,
                Reference::MagickFlipped},
        // Radiance and DDS.
        Variant{"magick.hdr", "/usr/bin/convert src.ppm magick.hdr", D3DFMT_A32B32G32R32F, D3DXIFF_HDR,
                Reference::MagickClose},
        Variant{"bgra.dds", "/usr/bin/convert src.pam -define dds:compression=none -define dds:mipmaps=0 bgra.dds",
                D3DFMT_A8R8G8B8, D3DXIFF_DDS, Reference::Magick}),
    [](const ::testing::TestParamInfo<Variant>& test) {
      std::string name = test.param.file;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

TEST(EncodedFiles, CmykJpegIsRefused) {
  const fs::path& dir = Sources::Dir();
  ASSERT_TRUE(RunTool(dir, "/usr/bin/convert src.ppm -colorspace CMYK cmyk.jpg"));
  EXPECT_EQ(Decode(ReadFile(dir / "cmyk.jpg"))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(ReadFile(dir / "cmyk.jpg"), false)->hr, D3DXERR_INVALIDDATA);
}

TEST(EncodedFiles, DxtMipChainCoversTheWholeFile) {
  const fs::path& dir = Sources::Dir();
  // ImageMagick writes mip levels for power-of-two sizes only.
  ASSERT_TRUE(RunTool(dir,
                      "/usr/bin/convert -size 32x16 gradient:red-blue -define dds:compression=dxt1 "
                      "-define dds:mipmaps=3 dxt1.dds"));
  std::vector<BYTE> bytes = ReadFile(dir / "dxt1.dds");
  auto decoded = Decode(bytes);
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_DXT1);
  EXPECT_EQ(decoded->info.MipLevels, 4u);
  // 32 x 16 is 8 x 4 blocks of 8 bytes; then 16 x 8, 8 x 4 and 4 x 2 pixels.
  EXPECT_EQ(decoded->image.RowPitch, 64u);
  std::size_t end = 128;
  UINT width = 32, height = 16;
  for (const ImageData* level = &decoded->image; level; level = level->NextMip.get()) {
    EXPECT_EQ(level->Width, width);
    EXPECT_EQ(level->Height, height);
    EXPECT_EQ(level->Data, decoded->file.data() + end);
    end += (width + 3) / 4 * 8 * ((height + 3) / 4);
    width = std::max(1u, width / 2);
    height = std::max(1u, height / 2);
  }
  EXPECT_EQ(end, bytes.size());
}

// Without MMX (the "DisableMMX" setting) JPEG files decode with the fast integer DCT. The
// processor answer is taken once per process, so the decode runs in a fresh one.
TEST(EncodedFilesDeathTest, WithoutMmxJpegUsesTheFastDct) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const fs::path& dir = Sources::Dir();
  ASSERT_TRUE(RunTool(dir, "cjpeg -quality 85 src.ppm > fast.jpg"));
  const Rgba16 fast = DjpegRgba16(dir, "fast.jpg", "fast");
  ASSERT_NE(fast, DjpegRgba16(dir, "fast.jpg", "int")) << "the picture does not tell the methods apart";
  const std::vector<BYTE> bytes = ReadFile(dir / "fast.jpg");
  EXPECT_EXIT(
      {
        setenv("DisableMMX", "1", 1);
        auto decoded = Decode(bytes);
        const bool same = decoded->hr == S_OK && ToRgba16(decoded->image) == fast;
        std::fprintf(stderr, same ? "same as djpeg -dct fast\n" : "differs from djpeg -dct fast\n");
        std::exit(same ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "same as djpeg -dct fast");
}

}  // namespace
}  // namespace rastro::testing
