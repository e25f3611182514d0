// The engine and the mip filter split large requests into bands of rows run on the worker
// pool; the bytes must not depend on how many threads there are.
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "BlitRegion.h"
#include "DebugOutput.h"
#include "TestEnvironment.h"
#include "ThreadCount.h"
#include "WorkerPool.h"
#include "d3dx9tex.h"

namespace rastro {
namespace {

// Restores the pool's thread count when a test ends.
class PoolThreads {
 public:
  explicit PoolThreads(unsigned threads) : saved_(WorkerPool::Shared().Threads()) {
    WorkerPool::Shared().SetThreads(threads);
  }
  ~PoolThreads() { WorkerPool::Shared().SetThreads(saved_); }

 private:
  unsigned saved_;
};

TEST(WorkerPool, RunsEveryTaskOnceEvenWhenTasksRunLoopsOfTheirOwn) {
  WorkerPool pool(7);
  std::vector<std::atomic<int>> runs(40 * 30);
  pool.ParallelFor(40, [&](std::size_t outer) {
    pool.ParallelFor(30, [&](std::size_t inner) { runs[outer * 30 + inner].fetch_add(1); });
  });
  for (const auto& count : runs) EXPECT_EQ(count.load(), 1);
}

TEST(ThreadCount, FollowsTheEnvironmentAndOtherwiseTheProcessors) {
  unsigned processors;
  {
    testing::ScopedEnvironment unset("RASTROMETER_THREADS", std::nullopt);
    processors = RequestedThreadCount();
  }
  EXPECT_GE(processors, 1u);
  for (const auto& [text, expected] : std::vector<std::pair<const char*, unsigned>>{{"1", 1},
                                                                                    {"7", 7},
                                                                                    {"256", 256},
                                                                                    {"0", processors},
                                                                                    {"257", processors},
                                                                                    {"-2", processors},
                                                                                    {"3 ", processors},
                                                                                    {"two", processors},
                                                                                    {"", processors}}) {
    testing::ScopedEnvironment env("RASTROMETER_THREADS", text);
    EXPECT_EQ(RequestedThreadCount(), expected) << '"' << text << '"';
  }
}

// Conversions on several threads each mute and unmute the debug output around the calls they
// make; one thread's mute must neither silence nor outlive another's.
TEST(DebugMute, BelongsToTheThreadThatSetIt) {
  testing::ScopedEnvironment debug("RASTROMETER_D3D_DEBUG", "1");
  ASSERT_TRUE(DebugOutputActive());
  const int previous = DebugSetMute(1);
  EXPECT_EQ(previous, 0);
  EXPECT_FALSE(DebugOutputActive());
  bool activeElsewhere = false;
  std::thread([&] { activeElsewhere = DebugOutputActive(); }).join();
  EXPECT_TRUE(activeElsewhere);
  DebugSetMute(previous);
  EXPECT_TRUE(DebugOutputActive());
}

struct Image {
  D3DFORMAT format;
  UINT width, height;
  UINT pitch;
  std::vector<BYTE> bytes;

  Image(D3DFORMAT f, UINT w, UINT h, UINT bytesPerPixel) : format(f), width(w), height(h) {
    const bool blocks = f == D3DFMT_DXT1 || f == D3DFMT_DXT5;
    pitch = blocks ? (w + 3) / 4 * (f == D3DFMT_DXT1 ? 8 : 16) : w * bytesPerPixel;
    bytes.assign(std::size_t{pitch} * (blocks ? (h + 3) / 4 : h), 0);
  }
  PixelRegion Region(RECT part) {
    PixelRegion region;
    region.Data = bytes.data();
    region.Format = format;
    region.RowPitch = pitch;
    region.Extent = {0, 0, width, height, 0, 1};
    region.Region = {static_cast<UINT>(part.left),
                     static_cast<UINT>(part.top),
                     static_cast<UINT>(part.right),
                     static_cast<UINT>(part.bottom),
                     0,
                     1};
    return region;
  }
  PixelRegion Region() { return Region(RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)}); }
};

// A photograph-like A8R8G8B8 picture: gradients, noise, and flat patches where colours repeat.
Image Picture(UINT width, UINT height) {
  Image image(D3DFMT_A8R8G8B8, width, height, 4);
  std::mt19937 random(7);
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      const unsigned noise = random() & 15;
      const bool flat = (x / 16 + y / 16) % 5 == 0;
      BYTE* p = &image.bytes[std::size_t{y} * image.pitch + 4 * x];
      p[0] = static_cast<BYTE>(flat ? 40 : x + noise);
      p[1] = static_cast<BYTE>(flat ? 200 : y * 2 + noise);
      p[2] = static_cast<BYTE>(flat ? 90 : (x ^ y) + noise);
      p[3] = static_cast<BYTE>(flat ? 255 : x * 3 + y);
    }
  }
  return image;
}

struct Request {
  const char* name;
  D3DFORMAT format;
  UINT bytesPerPixel;
  UINT width, height;  // destination image
  RECT destination;    // part written
  RECT source;         // part of the 661 x 419 picture read
  DWORD filter;
  D3DCOLOR colorKey;
};

void PrintTo(const Request& request, std::ostream* out) { *out << request.name; }

class ThreadCountIndependence : public ::testing::TestWithParam<Request> {};

// Bands start every few rows; dithering, whole blocks and the halving's odd last row are where
// a split in the wrong place would show.
TEST_P(ThreadCountIndependence, ConvertsToTheSameBytesWithOneTwoAndSevenThreads) {
  const Request& request = GetParam();
  Image picture = Picture(661, 419);
  std::vector<PALETTEENTRY> palette(256);
  for (int i = 0; i < 256; ++i) {
    palette[i] = {static_cast<BYTE>((i & 7) * 36), static_cast<BYTE>(((i >> 3) & 7) * 36),
                  static_cast<BYTE>((i >> 6) * 85), 255};
  }
  // Filters compute in the caller's rounding mode, which the pool's threads must take on.
  for (int rounding : {FE_TONEAREST, FE_TOWARDZERO}) {
    std::vector<std::vector<BYTE>> results;
    for (unsigned threads : {1u, 2u, 7u}) {
      PoolThreads pool(threads);
      Image out(request.format, request.width, request.height, request.bytesPerPixel);
      PixelRegion destination = out.Region(request.destination);
      destination.Palette = palette.data();
      PixelRegion source = picture.Region(request.source);
      source.ColorKey = request.colorKey;
      const int previous = std::fegetround();
      std::fesetround(rounding);
      const HRESULT result = BlitRegion(destination, source, request.filter);
      std::fesetround(previous);
      ASSERT_EQ(result, S_OK) << threads;
      results.push_back(out.bytes);
    }
    EXPECT_TRUE(results[0] == results[1]) << "2 threads, rounding " << rounding;
    EXPECT_TRUE(results[0] == results[2]) << "7 threads, rounding " << rounding;
    // The request really wrote something.
    EXPECT_NE(results[0], std::vector<BYTE>(results[0].size(), 0));
  }
}

constexpr DWORD kDither = D3DX_FILTER_POINT | D3DX_FILTER_DITHER;

INSTANTIATE_TEST_SUITE_P(
    Requests, ThreadCountIndependence,
    ::testing::Values(
        Request{"Dxt1FromUnalignedRows", D3DFMT_DXT1, 0, 340, 270, {3, 2, 334, 265}, {0, 0, 331, 263}, kDither, 0},
        Request{"Dxt5", D3DFMT_DXT5, 0, 331, 263, {0, 0, 331, 263}, {0, 0, 331, 263}, D3DX_FILTER_TRIANGLE, 0},
        Request{"DitheredR5G6B5", D3DFMT_R5G6B5, 2, 331, 263, {0, 1, 331, 262}, {0, 0, 331, 261}, kDither, 0},
        Request{"ColorKeyedA1R5G5B5",
                D3DFMT_A1R5G5B5,
                2,
                331,
                263,
                {0, 0, 331, 263},
                {0, 0, 331, 263},
                D3DX_FILTER_NONE,
                0xFF285A28u},
        Request{"NearestPaletteEntry", D3DFMT_P8, 1, 331, 263, {0, 0, 331, 263}, {0, 0, 331, 263}, kDither, 0},
        Request{
            "HalvedWithIntegers", D3DFMT_A8R8G8B8, 4, 330, 209, {0, 0, 330, 209}, {0, 0, 661, 419}, D3DX_FILTER_BOX, 0},
        Request{"HalvedDitheredIntoDxt1",
                D3DFMT_DXT1,
                0,
                330,
                209,
                {0, 0, 330, 209},
                {0, 0, 661, 419},
                D3DX_FILTER_BOX | D3DX_FILTER_DITHER,
                0},
        Request{"HalvedDithered",
                D3DFMT_X1R5G5B5,
                2,
                330,
                209,
                {0, 0, 330, 209},
                {0, 0, 661, 419},
                D3DX_FILTER_BOX | D3DX_FILTER_DITHER,
                0}),
    [](const auto& requestInfo) { return std::string(requestInfo.param.name); });

}  // namespace
}  // namespace rastro
