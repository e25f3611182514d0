// How close the DXT1 mip levels of DDS files are to the box average of their source image:
//   mip_quality SOURCE LEVEL FILE.dds...
// prints, per file, the PSNR in dB over R, G and B of level LEVEL against the mean of each
// 2^LEVEL x 2^LEVEL box of the source (read by the texture loader's decoders; its size must be
// a multiple of 2^LEVEL). The DDS files may come from any tool that writes DXT1 with mips.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "BlitRegion.h"
#include "DecodeImage.h"
#include "DxtBlock.h"
#include "ImageData.h"
#include "PixelCodec.h"

namespace {

std::vector<char> ReadAll(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::uint32_t Word(const std::vector<char>& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  if (bytes.size() >= offset + 4) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: mip_quality SOURCE LEVEL FILE.dds...\n");
    return 2;
  }
  const std::vector<char> sourceBytes = ReadAll(argv[1]);
  rastro::ImageData image;
  D3DXIMAGE_INFO info{};
  if (sourceBytes.empty() ||
      FAILED(rastro::DecodeImage(&image, sourceBytes.data(), static_cast<UINT>(sourceBytes.size()), &info, TRUE))) {
    std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
    return 1;
  }
  const unsigned level = static_cast<unsigned>(std::atoi(argv[2]));
  const unsigned box = 1u << level;
  const UINT width = image.Width, height = image.Height;
  std::vector<rastro::FloatRgba> source(std::size_t{width} * height);
  rastro::PixelRegion from, to;
  from.Data = const_cast<BYTE*>(image.Data);
  from.Format = image.Format;
  from.RowPitch = image.RowPitch;
  from.Extent = from.Region = {0, 0, width, height, 0, 1};
  to.Data = source.data();
  to.Format = D3DFMT_A32B32G32R32F;
  to.RowPitch = width * 16;
  to.Extent = to.Region = from.Region;
  if (FAILED(rastro::BlitRegion(to, from, D3DX_FILTER_NONE))) return 1;

  const UINT levelWidth = width / box, levelHeight = height / box;
  std::vector<double> mean(std::size_t{levelWidth} * levelHeight * 3, 0.0);
  for (UINT y = 0; y < levelHeight * box; ++y)
    for (UINT x = 0; x < levelWidth * box; ++x) {
      const rastro::FloatRgba& p = source[std::size_t{y} * width + x];
      double* m = &mean[(std::size_t{y / box} * levelWidth + x / box) * 3];
      m[0] += p.R * 255.0;
      m[1] += p.G * 255.0;
      m[2] += p.B * 255.0;
    }
  for (double& m : mean) m /= static_cast<double>(box) * box;

  int status = 0;
  for (int f = 3; f < argc; ++f) {
    const std::vector<char> dds = ReadAll(argv[f]);
    if (Word(dds, 0) != 0x20534444u || Word(dds, 84) != 0x31545844u) {  // "DDS ", "DXT1"
      std::fprintf(stderr, "%s: not a DXT1 DDS file\n", argv[f]);
      status = 1;
      continue;
    }
    std::size_t offset = 128;
    UINT w = Word(dds, 16), h = Word(dds, 12);
    for (unsigned l = 0; l < level; ++l) {
      offset += std::size_t{(w + 3) / 4} * ((h + 3) / 4) * 8;
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
    }
    if (w != levelWidth || h != levelHeight || dds.size() < offset + std::size_t{(w + 3) / 4} * ((h + 3) / 4) * 8) {
      std::fprintf(stderr, "%s: level %u is not %ux%u\n", argv[f], level, levelWidth, levelHeight);
      status = 1;
      continue;
    }
    double squared = 0;
    for (UINT by = 0; by < h; by += 4)
      for (UINT bx = 0; bx < w; bx += 4) {
        rastro::BlockPixels block;
        rastro::DecodeDxt1Block(block, reinterpret_cast<const std::uint8_t*>(dds.data() + offset));
        offset += 8;
        for (int i = 0; i < 16; ++i) {
          const UINT x = bx + i % 4, y = by + i / 4;
          if (x >= w || y >= h) continue;
          for (int c = 0; c < 3; ++c) {
            const double d = block.rgba[i][c] * 255.0 - mean[(std::size_t{y} * w + x) * 3 + c];
            squared += d * d;
          }
        }
      }
    const double mse = squared / (static_cast<double>(w) * h * 3);
    std::printf("%s: level %u PSNR %.2f dB\n", argv[f], level, 10.0 * std::log10(255.0 * 255.0 / mse));
  }
  return status;
}
