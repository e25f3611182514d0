// Files whose headers promise more than they hold, and files that are damaged: the cap on one
// image, and the reason every refusal gives on the debug output.
#include <gtest/gtest.h>
#include <png.h>

#include <functional>
#include <string>
#include <vector>

#include "DebugOutput.h"
#include "DecodeTestSupport.h"
#include "ImageFiles.h"
#include "ImageSizeLimit.h"
#include "RecordingDevice.h"
#include "TestEnvironment.h"
#include "d3dx9tex.h"
#include "decoders/ImageDecoder.h"

namespace rastro::testing {
namespace {

std::vector<std::string> debugLines;
void CollectLine(const char* line) { debugLines.push_back(line); }

// Debug output on and collected for the life of the scope.
class CollectedDebugOutput {
 public:
  CollectedDebugOutput() {
    debugLines.clear();
    SetDebugOutputSink(CollectLine);
  }
  ~CollectedDebugOutput() { SetDebugOutputSink(nullptr); }
  std::string All() const {
    std::string all;
    for (const std::string& line : debugLines) all += line;
    return all;
  }

 private:
  ScopedEnvironment debug_{"RASTROMETER_D3D_DEBUG", "1"};
};

std::vector<BYTE> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A BMP file with a 40-byte header, a colour table of `colors` entries (0: as many as the bit
// count allows) and the given pixel bits.
std::vector<BYTE> BmpFile(std::int32_t width, std::int32_t height, WORD bitCount, DWORD compression,
                          const std::vector<BYTE>& bits, DWORD colors = 0) {
  const DWORD tableEntries = colors ? colors : bitCount <= 8 ? 1u << bitCount : 0;
  FileBuilder file;
  file.Text("BM").U32(static_cast<std::uint32_t>(14 + 40 + 4 * tableEntries + bits.size())).U32(0);
  file.U32(14 + 40 + 4 * tableEntries);
  file.U32(40).I32(width).I32(height).U16(1).U16(bitCount).U32(compression).U32(0).U32(0).U32(0);
  file.U32(colors).U32(0);
  for (DWORD i = 0; i < tableEntries; ++i) file.U8(i & 0xFF).U8(i & 0xFF).U8(i & 0xFF).U8(0);
  return file.Append(bits).Get();
}

std::vector<BYTE> Rle8EndOfBitmapOnly(std::int32_t width, std::int32_t height) {
  return BmpFile(width, height, 8, 1, {0, 1});
}

std::vector<BYTE> Bottomup24(std::int32_t width, std::int32_t height) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  return BmpFile(width, height, 24, 0, std::vector<BYTE>(stride * height, 0x40));
}

std::vector<BYTE> HeaderlessDib24(std::int32_t width, std::int32_t height) {
  std::vector<BYTE> file = Bottomup24(width, height);
  return {file.begin() + 14, file.end()};
}

// Grey run-length TGA: packets of 128 equal pixels.
std::vector<BYTE> TgaRunLength(WORD width, WORD height) {
  FileBuilder file;
  file.U8(0).U8(0).U8(11).U16(0).U16(0).U8(0).U16(0).U16(0).U16(width).U16(height).U8(8).U8(0x20);
  for (std::size_t left = std::size_t{width} * height; left;) {
    const std::size_t run = left < 128 ? left : 128;
    file.U8(static_cast<unsigned>(0x80 | (run - 1))).U8(0x55);
    left -= run;
  }
  return file.Get();
}

// Flat Radiance scanlines of `width` (2 to 256) pixels: one pixel and a repeat code each.
std::vector<BYTE> RadianceFlat(unsigned width, unsigned height) {
  FileBuilder file;
  file.Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " + std::to_string(width) +
            "\n");
  for (unsigned y = 0; y < height; ++y) file.Bytes({10, 20, 30, 136}).U8(1).U8(1).U8(1).U8(width - 1);
  return file.Get();
}

std::vector<BYTE> PpmAscii(unsigned width, unsigned height) {
  std::string file = "P3\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (std::size_t i = 0; i < std::size_t{width} * height * 3; ++i) file += "7 ";
  return Bytes(file);
}

std::vector<BYTE> PpmRaw(unsigned width, unsigned height) {
  FileBuilder file;
  file.Text("P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n");
  return file.Fill(std::size_t{width} * height * 3, 7).Get();
}

std::vector<BYTE> PfmGrey(unsigned width, unsigned height) {
  FileBuilder file;
  file.Text("Pf\n" + std::to_string(width) + " " + std::to_string(height) + "\n-1.0\n");
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i) file.Float(0.5f, false);
  return file.Get();
}

void AppendPngBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// An 8-bit grey PNG of equal pixels, written by libpng.
std::vector<BYTE> PngGrey(unsigned width, unsigned height) {
  std::vector<BYTE> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &file, AppendPngBytes, nullptr);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_byte> row(width, 0x33);
  for (unsigned y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return file;
}

std::vector<BYTE> JpegColour(unsigned width, unsigned height) {
  return Bytes(Jpeg(static_cast<int>(width), static_cast<int>(height)));
}

struct CapCase {
  const char* name;
  std::function<std::vector<BYTE>(unsigned width, unsigned height)> file;
  D3DXIMAGE_FILEFORMAT fileFormat;
  // The largest image within a cap of 1 MiB, counting each pixel at no less than 4 bytes:
  // 512 x 512 for pixels of up to 4 bytes, 256 x 256 for four floats.
  unsigned width, height;
};

class ImageCap : public ::testing::TestWithParam<CapCase> {};

TEST_P(ImageCap, AnImageAtTheCapDecodesAndOneRowMoreIsRefusedBeforeDecoding) {
  const CapCase& c = GetParam();
  ScopedEnvironment cap("RASTROMETER_MAX_IMAGE_MB", "1");
  auto within = Decode(c.file(c.width, c.height));
  ASSERT_EQ(within->hr, S_OK);
  EXPECT_EQ(within->info.ImageFileFormat, c.fileFormat);
  EXPECT_EQ(within->image.Width, c.width);
  EXPECT_EQ(within->image.Height, c.height);

  const std::vector<BYTE> beyond = c.file(c.width, c.height + 1);
  CollectedDebugOutput output;
  ImageData image;
  DecodeFailure failure;
  EXPECT_EQ(DecodeImage(&image, beyond.data(), static_cast<UINT>(beyond.size()), nullptr, TRUE, nullptr, &failure),
            D3DXERR_INVALIDDATA);
  EXPECT_TRUE(failure.TooLarge);
  EXPECT_TRUE(failure.Recognised);
  EXPECT_EQ(failure.FileFormat, c.fileFormat);
  const std::string size = std::to_string(c.width) + " x " + std::to_string(c.height + 1) + " pixels need 2 MiB";
  EXPECT_NE(failure.Reason.find(size), std::string::npos) << failure.Reason;
  EXPECT_NE(output.All().find(std::string("D3DX: ") + FileFormatName(c.fileFormat) + " decoder failed: " + size),
            std::string::npos)
      << output.All();
  // The header alone still reads: nothing is allocated for it.
  auto header = Decode(beyond, false);
  EXPECT_EQ(header->hr, S_OK);
  EXPECT_EQ(header->info.Height, c.height + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, ImageCap,
    ::testing::Values(
        CapCase{"Rle8Bmp", [](unsigned w, unsigned h) { return Rle8EndOfBitmapOnly(w, h); }, D3DXIFF_BMP, 512, 512},
        CapCase{"BottomUpBmp", [](unsigned w, unsigned h) { return Bottomup24(w, h); }, D3DXIFF_BMP, 512, 512},
        CapCase{"HeaderlessDib", [](unsigned w, unsigned h) { return HeaderlessDib24(w, h); }, D3DXIFF_DIB, 512, 512},
        CapCase{"RunLengthTga", [](unsigned w, unsigned h) { return TgaRunLength(w, h); }, D3DXIFF_TGA, 512, 512},
        CapCase{"Radiance", RadianceFlat, D3DXIFF_HDR, 256, 256}, CapCase{"AsciiPpm", PpmAscii, D3DXIFF_PPM, 512, 512},
        CapCase{"RawPpm", PpmRaw, D3DXIFF_PPM, 512, 512}, CapCase{"Pfm", PfmGrey, D3DXIFF_PFM, 256, 256},
        CapCase{"Png", PngGrey, D3DXIFF_PNG, 512, 512}, CapCase{"Jpeg", JpegColour, D3DXIFF_JPG, 512, 512}),
    [](const ::testing::TestParamInfo<CapCase>& param) { return std::string(param.param.name); });

// The file of the report: 1 080 bytes of RLE8 bitmap, header, palette and an end-of-bitmap code,
// claiming 30000 x 30000 pixels.
TEST(ImageCap, RunLengthBombIsRefusedByTheLoaderAtTheDefaultCap) {
  ScopedEnvironment cap("RASTROMETER_MAX_IMAGE_MB", std::nullopt);
  const std::vector<BYTE> bomb = Rle8EndOfBitmapOnly(30000, 30000);
  ASSERT_EQ(bomb.size(), 1080u);
  TestDevice device;
  auto recorder = ComPtr<RecordingDevice>::Adopt(new RecordingDevice(device.device.Get()));
  CollectedDebugOutput output;
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                recorder.Get(), bomb.data(), static_cast<UINT>(bomb.size()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
  EXPECT_TRUE(recorder->textures.empty());
  // 30000 x 30000 x 4 bytes = 3433.2 MiB.
  EXPECT_NE(output.All().find("D3DX: BMP decoder failed: 30000 x 30000 pixels need 3434 MiB, more than the 1024 MiB "
                              "one image may take (RASTROMETER_MAX_IMAGE_MB)"),
            std::string::npos)
      << output.All();
}

// A JPEG is loaded straight into the texture it becomes, which is made from its header; beyond
// the cap no texture is made at all.
TEST(ImageCap, JpegBeyondTheCapMakesNoTexture) {
  ScopedEnvironment cap("RASTROMETER_MAX_IMAGE_MB", "1");
  TestDevice device;
  auto recorder = ComPtr<RecordingDevice>::Adopt(new RecordingDevice(device.device.Get()));
  for (unsigned height : {512u, 513u}) {
    const std::string jpeg = Jpeg(512, static_cast<int>(height));
    ComPtr<IDirect3DTexture9> texture;
    const HRESULT result = D3DXCreateTextureFromFileInMemoryEx(
        recorder.Get(), jpeg.data(), static_cast<UINT>(jpeg.size()), D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, 1, 0,
        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE, D3DX_DEFAULT, 0, nullptr, nullptr,
        texture.ReleaseAndGetAddressOf());
    EXPECT_EQ(result, height == 512 ? D3D_OK : D3DXERR_INVALIDDATA) << height;
    EXPECT_EQ(recorder->textures.size(), 1u) << height;
  }
}

TEST(ImageCap, SetInWholeMegabytesWithTheDefaultForAnythingElse) {
  const struct {
    const char* value;
    std::uint64_t megabytes;
  } cases[] = {{nullptr, 1024}, {"1", 1},     {"4096", 4096},      {"1073741824", 1u << 30},
               {"", 1024},      {"0", 1024},  {"-5", 1024},        {"12x", 1024},
               {" 12", 1024},   {"2G", 1024}, {"1073741825", 1024}};
  for (const auto& c : cases) {
    ScopedEnvironment cap("RASTROMETER_MAX_IMAGE_MB", c.value ? std::optional<std::string>(c.value) : std::nullopt);
    EXPECT_EQ(MaxImageBytes(), c.megabytes << 20) << (c.value ? c.value : "unset");
  }
}

// Damaged files of every type: the refusal names the decoder and what is wrong.
struct ReasonCase {
  const char* name;
  std::vector<BYTE> file;
  const char* line;
};

class DecoderReasons : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(DecoderReasons, EachRefusalSaysWhyOnTheDebugOutput) {
  CollectedDebugOutput output;
  EXPECT_EQ(Decode(GetParam().file)->hr, D3DXERR_INVALIDDATA);
  EXPECT_NE(output.All().find(GetParam().line), std::string::npos) << output.All();
}

std::vector<BYTE> Truncated(std::vector<BYTE> file, std::size_t keep) {
  file.resize(keep);
  return file;
}

std::vector<BYTE> Patched(std::vector<BYTE> file, std::size_t offset, BYTE value) {
  file[offset] = value;
  return file;
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecoderReasons,
    ::testing::Values(
        ReasonCase{"RleRunPastTheImage", BmpFile(4, 1, 8, 1, {9, 1, 0, 1}),
                   "D3DX: BMP decoder failed: a run reaches past the end of the image (0x80004005)"},
        ReasonCase{"BmpPlanes", Patched(Bottomup24(2, 2), 26, 2), "D3DX: BMP decoder failed: 2 planes"},
        ReasonCase{"TgaTruncatedRuns", Truncated(TgaRunLength(300, 2), 20),
                   "D3DX: TGA decoder failed: the file ends before the image does"},
        ReasonCase{"TgaGreyDepth", Patched(TgaRunLength(2, 2), 16, 16),
                   "D3DX: TGA decoder failed: a grey image of 16 bits a pixel"},
        ReasonCase{"PpmLetter", Bytes("P3 1 1 255 1 2 x\n"),
                   "D3DX: PPM decoder failed: a number with the character 0x78 in it"},
        ReasonCase{"PfmShort", Truncated(PfmGrey(2, 2), 15),
                   "D3DX: PFM decoder failed: 2 x 2 pixels need 16 bytes of samples, more than the 3 left"},
        ReasonCase{"RadianceAxis", Bytes("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +Z 1\n"),
                   "D3DX: Radiance RGBE decoder failed: the resolution line names an axis \"+Z\""},
        ReasonCase{"RadianceRepeatFirst", Bytes("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 2\n\1\1\1\2"),
                   "D3DX: Radiance RGBE decoder failed: a repeat code with no pixel before it"},
        ReasonCase{"PngTruncated", Truncated(PngGrey(8, 8), 60), "D3DX: PNG decoder failed: libpng: "},
        ReasonCase{"JpegTruncated", Truncated(JpegColour(16, 16), 300), "D3DX: JPEG decoder failed: libjpeg: "},
        ReasonCase{"TooShort", Bytes("BM"),
                   "D3DX: DecodeImage failed: the bytes begin like no file type the loader reads (0x88760B59)"}),
    [](const ::testing::TestParamInfo<ReasonCase>& param) { return std::string(param.param.name); });

// Every way a well-formed file can be cut short or have one header byte spoilt: when the bytes
// are refused, each decoder that tried gives a reason of its own.
TEST(DecoderReasons, NoRefusalGoesWithoutAReason) {
  const std::vector<std::vector<BYTE>> files = {Rle8EndOfBitmapOnly(4, 4),
                                                BmpFile(4, 2, 8, 1, {4, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}),
                                                BmpFile(3, 2, 4, 2, {3, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1}),
                                                Bottomup24(3, 2),
                                                HeaderlessDib24(3, 2),
                                                TgaRunLength(5, 3),
                                                RadianceFlat(4, 2),
                                                PpmAscii(2, 2),
                                                PpmRaw(2, 2),
                                                PfmGrey(2, 2),
                                                PngGrey(4, 4),
                                                JpegColour(16, 8)};
  for (const std::vector<BYTE>& file : files) {
    std::vector<std::vector<BYTE>> spoilt;
    for (std::size_t keep = 1; keep < file.size(); ++keep) spoilt.push_back(Truncated(file, keep));
    for (std::size_t offset = 0; offset < file.size() && offset < 64; ++offset) {
      for (BYTE value : {0x00, 0x01, 0x7F, 0xFF}) spoilt.push_back(Patched(file, offset, value));
    }
    for (const std::vector<BYTE>& bytes : spoilt) {
      CollectedDebugOutput output;
      if (Decode(bytes)->hr == S_OK) continue;
      ASSERT_FALSE(debugLines.empty());
      EXPECT_EQ(output.All().find("failed: malformed"), std::string::npos) << output.All();
    }
  }
}

}  // namespace
}  // namespace rastro::testing
