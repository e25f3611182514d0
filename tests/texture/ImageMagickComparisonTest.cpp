// Resizing compared with an independent tool: ImageMagick's box and triangle filters
// (/usr/bin/convert, installed by scripts/install-deps.sh) on a smooth grey image. The test
// fails when convert is missing, so that the comparison is never silently skipped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BlitRegion.h"
#include "ScratchDirectory.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

constexpr const char* kConvert = "/usr/bin/convert";

struct GrayImage {
  UINT width = 0, height = 0;
  std::vector<BYTE> pixels;
};

// Gentle waves: the largest second difference is about 2 levels per pixel squared, so kernels
// of the same width but slightly different shape give nearly the same averages.
GrayImage SmoothImage(UINT width, UINT height) {
  GrayImage image{width, height, std::vector<BYTE>(std::size_t{width} * height)};
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      double v = 128 + 70 * std::sin(x / 7.0 + 0.3) * std::cos(y / 9.0) + 40 * std::sin((x + y) / 13.0);
      image.pixels[std::size_t{y} * width + x] = static_cast<BYTE>(std::lround(v));
    }
  }
  return image;
}

std::string Pgm(const GrayImage& image) {
  std::string out = "P5\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
  out.append(reinterpret_cast<const char*>(image.pixels.data()), image.pixels.size());
  return out;
}

bool ReadPgm(const std::filesystem::path& path, GrayImage& image) {
  std::ifstream file(path, std::ios::binary);
  std::string magic;
  int maximum = 0;
  file >> magic >> image.width >> image.height >> maximum;
  if (magic != "P5" || maximum != 255) return false;
  file.get();
  image.pixels.resize(std::size_t{image.width} * image.height);
  file.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
  return static_cast<bool>(file);
}

GrayImage ResizeWithImageMagick(const GrayImage& image, const char* filter, UINT width, UINT height) {
  testing::ScratchDirectory directory;
  auto in = directory.Write("in.pgm", Pgm(image));
  auto out = directory.Path() / "out.pgm";
  std::ostringstream command;
  command << kConvert << " " << in << " -filter " << filter << " -resize " << width << "x" << height << "! -depth 8 "
          << out;
  GrayImage result;
  EXPECT_EQ(std::system(command.str().c_str()), 0) << command.str();
  EXPECT_TRUE(ReadPgm(out, result));
  return result;
}

GrayImage ResizeHere(GrayImage& image, DWORD filter, UINT width, UINT height) {
  GrayImage result{width, height, std::vector<BYTE>(std::size_t{width} * height)};
  PixelRegion from{}, to{};
  from.Data = image.pixels.data();
  from.Format = to.Format = D3DFMT_L8;
  from.RowPitch = image.width;
  from.Extent = from.Region = {0, 0, image.width, image.height, 0, 1};
  to.Data = result.pixels.data();
  to.RowPitch = width;
  to.Extent = to.Region = {0, 0, width, height, 0, 1};
  EXPECT_EQ(BlitRegion(to, from, filter), S_OK);
  return result;
}

struct Comparison {
  const char* name;
  const char* imageMagickFilter;
  DWORD filter;
  UINT sourceWidth, sourceHeight, width, height;
  int tolerance;  // largest difference in 8-bit levels
};

class AgainstImageMagick : public ::testing::TestWithParam<Comparison> {};

TEST_P(AgainstImageMagick, ResizesAlike) {
  ASSERT_EQ(access(kConvert, X_OK), 0) << kConvert << " is missing: run scripts/install-deps.sh (imagemagick)";
  const Comparison& c = GetParam();
  GrayImage source = SmoothImage(c.sourceWidth, c.sourceHeight);
  GrayImage theirs = ResizeWithImageMagick(source, c.imageMagickFilter, c.width, c.height);
  ASSERT_EQ(theirs.width, c.width);
  ASSERT_EQ(theirs.height, c.height);
  GrayImage ours = ResizeHere(source, c.filter, c.width, c.height);
  int largest = 0;
  double total = 0;
  for (std::size_t i = 0; i < ours.pixels.size(); ++i) {
    int difference = std::abs(int{ours.pixels[i]} - int{theirs.pixels[i]});
    largest = std::max(largest, difference);
    total += difference;
  }
  EXPECT_LE(largest, c.tolerance);
  EXPECT_LT(total / static_cast<double>(ours.pixels.size()), 0.75);
}

// Box halving: both take the exact mean of each 2 x 2 block; only ties (a mean ending in .5)
// may round differently, so at most one level apart. Tent filtering: both kernels are
// normalised tents of the same reach, ours the tent of a source pixel averaged over the
// destination pixel, ImageMagick's sampled at source centres; their second moments differ by
// about 1/6 pixel squared, which on this image's curvature is a fraction of a level, plus one
// level of rounding on each side (2 in the interior). At the edges ours repeats the edge pixel
// (the mirror flags make the outer half-tents flat) where ImageMagick renormalises the cut
// kernel; on a slope that moves an edge pixel by up to one more level, hence 3. The mean
// difference over the image must stay below 0.75 of a level.
INSTANTIATE_TEST_SUITE_P(
    Filters, AgainstImageMagick,
    ::testing::Values(
        Comparison{"BoxHalving", "Box", D3DX_FILTER_BOX, 64, 48, 32, 24, 1},
        Comparison{"BoxHalvingFloat", "Box", D3DX_FILTER_BOX | D3DX_FILTER_MIRROR, 64, 48, 32, 24, 1},
        Comparison{"TriangleHalf", "Triangle", D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR, 64, 48, 32, 24, 3},
        Comparison{"TriangleDown", "Triangle", D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR, 100, 80, 64, 40, 3},
        Comparison{"TriangleUp", "Triangle", D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR, 40, 30, 64, 48, 3}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace rastro
