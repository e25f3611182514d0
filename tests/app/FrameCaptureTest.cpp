// --capture: every measured test's frame as DIR/NN-name.png, checked by decoding the files
// with ImageMagick, on the OpenGL adapter without a display. A program of its own: it keeps
// SDL's offscreen video (and the GL driver) for its whole life, which the other shell tests
// must not see.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Catalogue.h"
#include "ComPtr.h"
#include "CommandLine.h"
#include "Fakes.h"
#include "FillTest.h"
#include "FrameCapture.h"
#include "GlDriverMapping.h"
#include "PresentParameters.h"
#include "Program.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

// A picture decoded by ImageMagick into 8-bit RGB.
struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Picture Decode(const std::filesystem::path& file) {
  Picture picture;
  std::string command = "/usr/bin/convert '" + file.string() + "' -depth 8 ppm:- 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return picture;
  int max = 0;
  if (std::fscanf(pipe, "P6 %d %d %d", &picture.width, &picture.height, &max) == 3 && max == 255) {
    std::fgetc(pipe);  // the single whitespace after the header
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    if (std::fread(picture.rgb.data(), 1, picture.rgb.size(), pipe) != picture.rgb.size()) picture.rgb.clear();
  }
  pclose(pipe);
  return picture;
}

TEST(CaptureFileNameTest, NumbersTheTestAndKeepsItsNameReadable) {
  struct Case {
    std::size_t number;
    const char* name;
    const char* expected;
  } cases[] = {
      {1, "FFP - Pure fillrate", "01-FFP-Pure-fillrate.png"},
      {3, "FFP - Single texture", "03-FFP-Single-texture.png"},
      {13, "PS 2.0 - Longer 4 Registers", "13-PS-2-0-Longer-4-Registers.png"},
      {123, "a/b\\..c", "123-a-b-c.png"},  // no separators or dots reach the file name
      {7, "", "07.png"},
      {8, " -- ", "08.png"},
  };
  for (const Case& c : cases) EXPECT_EQ(CaptureFileName(c.number, c.name), c.expected) << c.name;
}

TEST(CaptureOptionTest, TakesADirectory) {
  const std::string_view with[] = {"--capture", "frames"};
  ParsedCommandLine parsed = ParseCommandLine(with);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.line.captureDirectory, "frames");
  const std::string_view attached[] = {"--capture=out/dir"};
  parsed = ParseCommandLine(attached);
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.line.captureDirectory, "out/dir");
  const std::string_view empty[] = {"--capture="};
  EXPECT_FALSE(ParseCommandLine(empty).ok);
  const std::string_view missing[] = {"--capture"};
  EXPECT_FALSE(ParseCommandLine(missing).ok);
  EXPECT_TRUE(ParseCommandLine({}).line.captureDirectory.empty());
}

class CaptureRun : public ::testing::Test {
 protected:
  CaptureRun() {
    environment.createDirect3D = [](UINT version) { return Direct3DCreate9(version); };
    environment.clock = &clock;
    environment.events = &events;
    environment.resultsPath = scratch.Path() / "Results.txt";
    environment.dataSearchPath = {{RASTRO_DATA_DIR, "source tree"}};
    environment.out = out;
    environment.err = err;
  }
  ~CaptureRun() override {
    std::fclose(out);
    std::fclose(err);
  }
  std::string Errors() {
    std::fflush(err);
    std::rewind(err);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, err)) text += buffer;
    return text;
  }

  ScratchDirectory scratch;
  FakeClock clock{10, [](int) { return 1; }};  // 0.1 s per frame
  ScriptedEvents events;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ProgramEnvironment environment;
};

TEST_F(CaptureRun, EveryMeasuredTestLeavesAPictureOfItsFrame) {
  // Tests 1 and 2 take 25 frames each (19 to warm up, 6 counted); Escape during test 3 ends
  // the run there, without a rate or a picture for it.
  events.script[55] = {{InputEvent::Kind::kKeyDown, kVirtualKeyEscape}};
  const std::filesystem::path frames = scratch.Path() / "frames" / "run1";  // made when missing
  const std::string option = "--capture=" + frames.string();
  {
    // The GL driver, once loaded, stays mapped after the run's device has gone.
    ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
    auto probe = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
    KeepGlDriverMapped();
  }
  ASSERT_EQ(RunProgram(std::vector<std::string_view>{"--headless", "--mode", "640x480", "--backbuffer", "X8R8G8B8",
                                                     "--depth", "D24S8", "--seconds", "0.5", option},
                       environment),
            kExitDone)
      << Errors();
  EXPECT_EQ(Errors(), "");
  // One picture per test that measured, named after it.
  const std::string results = ReadFile(scratch.Path() / "Results.txt");
  ASSERT_NE(results.find("FFP - Z pixel rate - "), std::string::npos) << results;
  ASSERT_TRUE(results.ends_with("FFP - Single texture - ")) << results;
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(frames)) found.push_back(entry.path().filename());
  std::sort(found.begin(), found.end());
  const std::vector<std::string> expected{CaptureFileName(1, Catalogue()[0].name),
                                          CaptureFileName(2, Catalogue()[1].name)};
  ASSERT_EQ(found, expected);

  // Test 1 draws the colour ramp: black, red, green and blue corners (each corner pixel's
  // centre lies within a pixel of its vertex).
  Picture ramp = Decode(frames / found[0]);
  ASSERT_EQ(ramp.width, 640);
  ASSERT_EQ(ramp.height, 480);
  auto near = [](const unsigned char* p, int r, int g, int b) {
    return std::abs(p[0] - r) <= 4 && std::abs(p[1] - g) <= 4 && std::abs(p[2] - b) <= 4;
  };
  EXPECT_TRUE(near(ramp.At(0, 0), 0, 0, 0));
  EXPECT_TRUE(near(ramp.At(639, 0), 255, 0, 0));
  EXPECT_TRUE(near(ramp.At(0, 479), 0, 255, 0));
  EXPECT_TRUE(near(ramp.At(639, 479), 0, 0, 255));
  // Test 2 writes depth only: the frame stays the clear colour, black.
  Picture depthOnly = Decode(frames / found[1]);
  ASSERT_EQ(depthOnly.rgb.size(), size_t{640 * 480 * 3});
  for (unsigned char channel : depthOnly.rgb) ASSERT_EQ(channel, 0);
}

// Back buffers narrower than 8 bits a channel: each field widened to 8 bits by its published
// meaning, field / max, rounded.
TEST(FrameCaptureTest, SixteenBitBackBuffersWidenEachField) {
  ScratchDirectory scratch;
  auto d3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  ASSERT_TRUE(d3d);
  KeepGlDriverMapped();
  int checked = 0;
  for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}) {
    SCOPED_TRACE(format);
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 4;
    parameters.BackBufferHeight = 2;
    parameters.BackBufferFormat = format;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;  // windowed, Present converts to the desktop's format
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ComPtr<IDirect3DDevice9> device;
    if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                                 device.ReleaseAndGetAddressOf()))) {
      continue;  // not offered here
    }
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00C08040, 1.0f, 0), D3D_OK);
    ComPtr<IDirect3DSurface9> backBuffer;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf()), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    unsigned value = *static_cast<const std::uint16_t*>(locked.pBits);
    backBuffer->UnlockRect();
    const bool wideGreen = format == D3DFMT_R5G6B5;
    const unsigned r = wideGreen ? value >> 11 : (value >> 10) & 0x1F;
    const unsigned g = wideGreen ? (value >> 5) & 0x3F : (value >> 5) & 0x1F;
    const unsigned b = value & 0x1F;
    const double greenMax = wideGreen ? 63.0 : 31.0;

    const std::filesystem::path file = scratch.Path() / "frame.png";
    std::string error;
    ASSERT_TRUE(FrameCapture::WriteBackBuffer(*device, file, error)) << error;
    Picture picture = Decode(file);
    ASSERT_EQ(picture.width, 4);
    ASSERT_EQ(picture.height, 2);
    EXPECT_EQ(picture.At(3, 1)[0], static_cast<int>(r * 255.0 / 31.0 + 0.5));
    EXPECT_EQ(picture.At(3, 1)[1], static_cast<int>(g * 255.0 / greenMax + 0.5));
    EXPECT_EQ(picture.At(3, 1)[2], static_cast<int>(b * 255.0 / 31.0 + 0.5));
    EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "frame.png.part"));
    ++checked;
  }
  EXPECT_GT(checked, 0) << "no 16-bit back buffer offered";
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

// Test 3 on the OpenGL adapter, its frame captured and decoded by ImageMagick: every pixel is
// texel (floor(x / W * w), floor(y / H * h)) of texture1.jpg's top level as the texture loader
// made it, pixel centres lying on integer coordinates as Direct3D 9 puts them. Where a centre
// falls exactly on the edge between two texels, either of them is right.
TEST(CapturedFrameTest, SingleTextureFrameIsTheTexturePointSampledAtDirect3DTexelCentres) {
  constexpr UINT kWidth = 640, kHeight = 480;
  ScratchDirectory scratch;
  auto d3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  ASSERT_TRUE(d3d);
  D3DPRESENT_PARAMETERS parameters = FullScreenParameters(kWidth, kHeight);
  ComPtr<IDirect3DDevice9> device;
  ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING, &parameters,
                              device.ReleaseAndGetAddressOf()),
            D3D_OK);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);

  const CatalogueRow& row = Catalogue()[2];
  ASSERT_STREQ(row.name, "FFP - Single texture");
  std::unique_ptr<FillTest> test = row.create(row, {kWidth, kHeight}, FolderFiles(RASTRO_DATA_DIR));
  ASSERT_TRUE(test);
  ASSERT_TRUE(test->Init(device.Get()));
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3D_OK);
  test->Render();
  ASSERT_EQ(device->EndScene(), D3D_OK);
  const std::filesystem::path file = scratch.Path() / "03.png";
  std::string error;
  ASSERT_TRUE(FrameCapture::WriteBackBuffer(*device, file, error)) << error;

  // The texture the test drew with, read back from stage 0.
  ComPtr<IDirect3DBaseTexture9> bound;
  ASSERT_EQ(device->GetTexture(0, bound.ReleaseAndGetAddressOf()), D3D_OK);
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_EQ(bound->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(texture.ReleaseAndGetAddressOf())),
            S_OK);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
  ASSERT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  auto texel = [&](UINT x, UINT y) {
    return reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch)[x] & 0xFFFFFF;
  };
  Picture picture = Decode(file);
  ASSERT_EQ(picture.width, static_cast<int>(kWidth));
  ASSERT_EQ(picture.height, static_cast<int>(kHeight));
  // The texel columns (rows) pixel x (y) may show: one, or two on an edge, the one before
  // texel 0 being the last (the default addressing wraps).
  auto candidates = [](UINT pixel, UINT pixels, UINT texels) {
    const std::uint64_t scaled = std::uint64_t{pixel} * texels;  // texel coordinate times `pixels`
    const UINT at = static_cast<UINT>(scaled / pixels);
    std::vector<UINT> result{std::min(at, texels - 1)};
    if (scaled % pixels == 0) result.push_back((at + texels - 1) % texels);
    return result;
  };
  UINT mismatches = 0;
  for (UINT y = 0; y < kHeight; ++y) {
    for (UINT x = 0; x < kWidth; ++x) {
      const unsigned char* p = picture.At(static_cast<int>(x), static_cast<int>(y));
      const DWORD shown = (DWORD{p[0]} << 16) | (DWORD{p[1]} << 8) | p[2];
      bool found = false;
      for (UINT tx : candidates(x, kWidth, desc.Width)) {
        for (UINT ty : candidates(y, kHeight, desc.Height)) found |= texel(tx, ty) == shown;
      }
      if (!found && ++mismatches <= 5) ADD_FAILURE() << "pixel " << x << "," << y << " shows " << std::hex << shown;
    }
  }
  texture->UnlockRect(0);
  EXPECT_EQ(mismatches, 0u);
  test->Destroy();
}

}  // namespace
}  // namespace rastro::testing
