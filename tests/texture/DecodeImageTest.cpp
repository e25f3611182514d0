// DecodeImage and the image-information entry points: arguments, the order decoders are tried
// in, the information record, boxes, and the numeric locale.
#include <gtest/gtest.h>
#include <locale.h>

#include <clocale>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "DecodeTestSupport.h"
#include "FormatCatalogue.h"
#include "ImageSizeLimit.h"
#include "TestEnvironment.h"
#include "decoders/ImageDecoder.h"

namespace rastro::testing {
namespace {

std::vector<BYTE> OnePixelPpm() { return FileBuilder().Text("P6 1 1 255\n").Bytes({1, 2, 3}).Get(); }

TEST(DecodeImage, MissingBytesAreAnInvalidCall) {
  ImageData image;
  D3DXIMAGE_INFO info;
  std::vector<BYTE> file = OnePixelPpm();
  EXPECT_EQ(DecodeImage(&image, nullptr, 10, &info, TRUE), D3DERR_INVALIDCALL);
  EXPECT_EQ(DecodeImage(&image, file.data(), 0, &info, TRUE), D3DERR_INVALIDCALL);
  EXPECT_EQ(DecodeImage(nullptr, file.data(), static_cast<UINT>(file.size()), &info, TRUE), D3DERR_INVALIDCALL);
}

TEST(DecodeImage, NothingToDoSucceedsWithoutDecoding) {
  ImageData image;
  const BYTE garbage[] = {1, 2, 3};
  EXPECT_EQ(DecodeImage(&image, garbage, 3, nullptr, FALSE), S_OK);
  EXPECT_EQ(image.Data, nullptr);
  EXPECT_EQ(image.Width, 0u);
}

TEST(DecodeImage, BytesNoDecoderAcceptsAreInvalidData) {
  for (std::string text : {std::string("x"), std::string("hello, world"), std::string(300, '\0'), std::string("BM")}) {
    ImageData image;
    D3DXIMAGE_INFO info;
    EXPECT_EQ(DecodeImage(&image, text.data(), static_cast<UINT>(text.size()), &info, TRUE), D3DXERR_INVALIDDATA)
        << text.size();
    EXPECT_EQ(image.Data, nullptr);
    EXPECT_FALSE(image.NextMip);
  }
}

TEST(DecodeImage, DecodersAreTriedInTheirFixedOrder) {
  std::vector<D3DXIMAGE_FILEFORMAT> order;
  for (const ImageDecoder& decoder : ImageDecoders()) order.push_back(decoder.FileFormat);
  EXPECT_EQ(order, (std::vector<D3DXIMAGE_FILEFORMAT>{D3DXIFF_BMP, D3DXIFF_PPM, D3DXIFF_DDS, D3DXIFF_JPG, D3DXIFF_PNG,
                                                      D3DXIFF_PFM, D3DXIFF_HDR, D3DXIFF_TGA, D3DXIFF_DIB}));
}

TEST(DecodeImage, InformationComesFromTheFirstImage) {
  auto decoded = Decode(OnePixelPpm());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->info.Width, 1u);
  EXPECT_EQ(decoded->info.Height, 1u);
  EXPECT_EQ(decoded->info.Depth, 1u);
  EXPECT_EQ(decoded->info.MipLevels, 1u);
  EXPECT_EQ(decoded->info.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(decoded->info.ResourceType, D3DRTYPE_TEXTURE);
  EXPECT_EQ(decoded->info.ImageFileFormat, D3DXIFF_PPM);
  const D3DBOX& box = decoded->image.Box;
  EXPECT_EQ(box.Left, 0u);
  EXPECT_EQ(box.Top, 0u);
  EXPECT_EQ(box.Right, 1u);
  EXPECT_EQ(box.Bottom, 1u);
  EXPECT_EQ(box.Front, 0u);
  EXPECT_EQ(box.Back, 1u);
  EXPECT_TRUE(decoded->image.OwnsData());
  EXPECT_EQ(decoded->image.LoadPixels, TRUE);

  // Headers only: the same information, no pixels.
  auto header = Decode(OnePixelPpm(), false);
  ASSERT_EQ(header->hr, S_OK);
  EXPECT_EQ(header->info.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(header->image.Data, nullptr);
  EXPECT_EQ(header->image.Box.Right, 1u);
}

TEST(DecodeImage, ImageInformationEntryPoints) {
  std::vector<BYTE> file = OnePixelPpm();
  D3DXIMAGE_INFO info{};
  EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(file.data(), static_cast<UINT>(file.size()), &info), S_OK);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PPM);
  EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(file.data(), static_cast<UINT>(file.size()), nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(nullptr, 4, &info), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXGetImageInfoFromFileInMemory("abcd", 4, &info), D3DXERR_INVALIDDATA);

  std::string path = ::testing::TempDir() + "decode-image-info.ppm";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  info = {};
  EXPECT_EQ(D3DXGetImageInfoFromFileA(path.c_str(), &info), S_OK);
  EXPECT_EQ(info.Width, 1u);
  EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
  std::remove(path.c_str());
  EXPECT_EQ(D3DXGetImageInfoFromFileA(path.c_str(), &info), D3DXERR_INVALIDDATA);
  EXPECT_EQ(D3DXGetImageInfoFromFileA(nullptr, &info), D3DERR_INVALIDCALL);
}

TEST(DecodeImage, NumbersReadTheSameInALocaleWithADecimalComma) {
  locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  ASSERT_NE(german, static_cast<locale_t>(0)) << "the de_DE.UTF-8 locale is needed (scripts/install-deps.sh)";
  locale_t previous = uselocale(german);
  ASSERT_STREQ(localeconv()->decimal_point, ",");

  FileBuilder pfm;
  pfm.Text("Pf\n1 1\n-0.5\n").Float(2.0f, false);
  auto decoded = Decode(pfm.Get());
  FileBuilder rgbe;
  rgbe.Text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=0.5\n\n-Y 1 +X 1\n").Bytes({1, 2, 3, 136});
  auto exposed = Decode(rgbe.Get());

  // The thread's own locale is back in place.
  EXPECT_EQ(uselocale(static_cast<locale_t>(0)), german);
  EXPECT_STREQ(localeconv()->decimal_point, ",");
  uselocale(previous);
  freelocale(german);

  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->FloatPixel(0, 0)[0], 2.0f);
  ASSERT_EQ(exposed->hr, S_OK);
  EXPECT_EQ(exposed->FloatPixel(0, 0)[0], 3.0f);
}

TEST(ImageData, OwnsItsChainsAndWhatItAllocated) {
  ImageData image;
  ASSERT_NE(image.AllocateData(16), nullptr);
  EXPECT_TRUE(image.OwnsData());
  ASSERT_NE(image.AllocatePalette(), nullptr);
  EXPECT_TRUE(image.OwnsPalette());
  const BYTE outside[4] = {};
  image.PointData(outside);
  EXPECT_FALSE(image.OwnsData());
  EXPECT_EQ(image.Data, outside);
  EXPECT_EQ(image.AllocateData(MaxImageBytes() + 1), nullptr);
  EXPECT_EQ(image.Data, outside);

  // A long chain is released without recursing once per level.
  ImageData* last = &image;
  for (int i = 0; i < 200000; ++i) {
    last->NextMip = std::make_unique<ImageData>();
    last = last->NextMip.get();
  }
  image.NextFace = std::make_unique<ImageData>();
  image.NextFace->NextMip = std::make_unique<ImageData>();
  image.ReleaseContents();
  EXPECT_FALSE(image.NextMip);
  EXPECT_FALSE(image.NextFace);
  EXPECT_EQ(image.Data, nullptr);
  EXPECT_EQ(image.Palette, nullptr);
}

}  // namespace
}  // namespace rastro::testing
