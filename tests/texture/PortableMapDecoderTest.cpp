// Portable pixmaps (P3, P6) and portable float maps written by hand, decoded by the loader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DecodeTestSupport.h"

namespace rastro::testing {
namespace {

std::vector<BYTE> Text(const std::string& text) { return {text.begin(), text.end()}; }

TEST(PpmDecoder, RawSamplesScaleToTheMaximumValue) {
  auto decoded = Decode(FileBuilder().Text("P6\n# comment\n2 1 15\n").Bytes({15, 0, 7, 1, 2, 3}).Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(decoded->image.FileFormat, D3DXIFF_PPM);
  EXPECT_EQ(decoded->image.RowPitch, 8u);
  // 15 -> 255, 7 -> 7 * 255 / 15 = 119, 1 -> 17, 2 -> 34, 3 -> 51.
  EXPECT_EQ(decoded->Dword(0, 0), 0xFFFF0077u);
  EXPECT_EQ(decoded->Dword(1, 0), 0xFF112233u);
}

TEST(PpmDecoder, CarriageReturnAfterTheHeaderTakesTheNextByteAlong) {
  auto decoded = Decode(FileBuilder().Text("P6 1 1 255\r\n").Bytes({10, 20, 30}).Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->Dword(0, 0), 0xFF0A141Eu);
  // A single white-space byte is all that is skipped: here the sample bytes start with a
  // blank.
  decoded = Decode(FileBuilder().Text("P6 1 1 255\n").Bytes({' ', 20, 30}).Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->Dword(0, 0), 0xFF20141Eu);
}

TEST(PpmDecoder, DecimalSamplesFillTheImageExactly) {
  auto decoded = Decode(Text("P3\n2 2\n# max\n100\n100 0 50  0 0 0\n1 2 3 # last\n4 5 6\n"));
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->Dword(0, 0), 0xFFFF007Fu);  // 50 * 255 / 100 = 127
  EXPECT_EQ(decoded->Dword(1, 0), 0xFF000000u);
  EXPECT_EQ(decoded->Dword(0, 1), 0xFF020507u);  // 2, 5, 7
  EXPECT_EQ(decoded->Dword(1, 1), 0xFF0A0C0Fu);  // 10, 12, 15
  EXPECT_EQ(Decode(Text("P3 1 1 255 1 2\n"))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(Text("P3 1 1 255 1 2 3 4\n"))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(Text("P3 1 1 255 1 2 x\n"))->hr, D3DXERR_INVALIDDATA);
}

TEST(PpmDecoder, OtherVariantsAndBadHeadersAreRefused) {
  for (const char* text : {"P5 1 1 255\nx", "P6 0 1 255\nabc", "P6 1 1 0\nabc", "P6 1 1 256\nabcdef",
                           "P6 1x 1 255\nabc", "P6 1 1 255\nab", "P6 1 1 255", "P6 99999999999 1 255\nabc"}) {
    EXPECT_EQ(Decode(Text(text))->hr, D3DXERR_INVALIDDATA) << text;
  }
}

TEST(PfmDecoder, ColourSamplesAreBigEndianForAPositiveScale) {
  FileBuilder file;
  file.Text("PF\n2 1\n1.0\n");
  for (float v : {0.5f, -2.0f, 1e6f, 3.0f, 0.25f, 0.0f}) file.Float(v, true);
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  EXPECT_EQ(decoded->image.Format, D3DFMT_A32B32G32R32F);
  EXPECT_EQ(decoded->info.ImageFileFormat, D3DXIFF_PFM);
  EXPECT_EQ(decoded->image.RowPitch, 32u);
  const float* p = decoded->FloatPixel(0, 0);
  EXPECT_EQ(p[0], 0.5f);
  EXPECT_EQ(p[1], -2.0f);
  EXPECT_EQ(p[2], 1e6f);
  EXPECT_EQ(p[3], 1.0f);
  p = decoded->FloatPixel(1, 0);
  EXPECT_EQ(p[0], 3.0f);
  EXPECT_EQ(p[2], 0.0f);
}

TEST(PfmDecoder, GreySamplesRepeatAndNegativeScaleMeansLittleEndian) {
  FileBuilder file;
  file.Text("Pf\n1 2\n-1\n").Float(0.75f, false).Float(8.0f, false);
  auto decoded = Decode(file.Get());
  ASSERT_EQ(decoded->hr, S_OK);
  // Rows in file order.
  for (int c = 0; c < 3; ++c) EXPECT_EQ(decoded->FloatPixel(0, 0)[c], 0.75f);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(decoded->FloatPixel(0, 1)[c], 8.0f);
  EXPECT_EQ(decoded->FloatPixel(0, 1)[3], 1.0f);
}

TEST(PfmDecoder, HeaderLinesMustScanExactly) {
  auto make = [](const std::string& header, int samples) {
    FileBuilder file;
    file.Text(header);
    for (int i = 0; i < samples; ++i) file.Float(1.0f, true);
    return file.Get();
  };
  EXPECT_EQ(Decode(make("PF\n1 1\n1.0\n", 3))->hr, S_OK);
  EXPECT_EQ(Decode(make("PF\n1 1\n1.0\n", 2))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(make("PF\n1 1 1\n1.0\n", 3))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(make("PF\n1\n1.0\n", 3))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(make("PF\n1 1\n1.0 2\n", 3))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(make("PF\n1 1\nscale\n", 3))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(make("PF 1 1\n1.0\n", 3))->hr, D3DXERR_INVALIDDATA);
  // The size line must end within 256 bytes.
  EXPECT_EQ(Decode(make("PF\n" + std::string(260, ' ') + "1 1\n1.0\n", 3))->hr, D3DXERR_INVALIDDATA);
  EXPECT_EQ(Decode(make("PF\n" + std::string(240, ' ') + "1 1\n1.0\n", 3))->hr, S_OK);
  EXPECT_EQ(Decode(make("PF\n4294967295 4294967295\n1.0\n", 3))->hr, D3DXERR_INVALIDDATA);
}

}  // namespace
}  // namespace rastro::testing
