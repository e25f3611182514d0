// Tests 3 to 6 on a recording device: what they check, load and set, in order, and how they
// fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ComPtr.h"
#include "DeviceProfile.h"
#include "Fakes.h"
#include "ScratchDirectory.h"
#include "TexturedTests.h"
#include "d3dx9tex.h"

namespace rastro::testing {
namespace {

// A texture that only counts references and says which file it came from when released.
class FakeTexture final : public IDirect3DTexture9 {
 public:
  FakeTexture(std::string file, CallLog& log) : file_(std::move(file)), log_(log) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG Release() override {
    log_.push_back("Release(" + file_ + ")");
    const int left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT GetDevice(IDirect3DDevice9**) override { return E_NOTIMPL; }
  DWORD SetPriority(DWORD) override { return 0; }
  DWORD GetPriority() override { return 0; }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
  DWORD SetLOD(DWORD) override { return 0; }
  DWORD GetLOD() override { return 0; }
  DWORD GetLevelCount() override { return 1; }
  HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE) override { return E_NOTIMPL; }
  D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return D3DTEXF_NONE; }
  void GenerateMipSubLevels() override {}
  HRESULT GetLevelDesc(UINT, D3DSURFACE_DESC*) override { return E_NOTIMPL; }
  HRESULT GetSurfaceLevel(UINT, IDirect3DSurface9**) override { return E_NOTIMPL; }
  HRESULT LockRect(UINT, D3DLOCKED_RECT*, const RECT*, DWORD) override { return E_NOTIMPL; }
  HRESULT UnlockRect(UINT) override { return E_NOTIMPL; }
  HRESULT AddDirtyRect(const RECT*) override { return E_NOTIMPL; }

 private:
  std::string file_;
  CallLog& log_;
  int references_ = 1;
};

struct TexturedFixture {
  CallLog log;
  FakeDevice device{log};
  std::set<std::string> missingFiles;
  std::map<std::string, IDirect3DTexture9*> loaded;

  TexturedFixture() {
    device.caps.MaxSimultaneousTextures = 4;
    device.caps.MaxTextureWidth = device.caps.MaxTextureHeight = 512;
  }
  // Texture files in "/data"; those listed as missing are not there.
  TestFiles Loader() {
    TestFiles files;
    files.folder = "/data";
    files.holds = [this](const char* file) { return !missingFiles.count(file); };
    files.loadTexture = [this](IDirect3DDevice9* on, const char* file, IDirect3DTexture9** texture) -> HRESULT {
      EXPECT_EQ(on, &device);
      log.push_back(std::string("Load(") + file + ")");
      if (missingFiles.count(file)) {
        *texture = nullptr;
        return D3DXERR_INVALIDDATA;
      }
      *texture = loaded[file] = new FakeTexture(file, log);
      return D3D_OK;
    };
    return files;
  }
};

struct TexturedCase {
  UINT textures;
  const char* name;
  CallLog expectedCalls;
};

void PrintTo(const TexturedCase& c, std::ostream* out) { *out << c.name; }

class TexturedTestInit : public ::testing::TestWithParam<TexturedCase> {};

TEST_P(TexturedTestInit, LoadsBindsAndSetsItsStagesInOrder) {
  const TexturedCase& c = GetParam();
  TexturedFixture f;
  TexturedTest test(c.textures, {800, 600}, f.Loader());
  EXPECT_STREQ(test.Name(), c.name);
  EXPECT_EQ(test.PixelFactor(), 32u);
  ASSERT_TRUE(test.Init(&f.device));
  EXPECT_EQ(f.log, c.expectedCalls);
  const char* files[] = {"texture1.jpg", "texture2.jpg", "texture3.jpg", "texture4.jpg"};
  for (UINT k = 0; k < c.textures; ++k) EXPECT_EQ(f.device.boundTextures[k], f.loaded[files[k]]) << k;

  // x, y, z, rhw, then (u, v) per texture: corners (0,0) (800,0) (0,600) (800,600) with
  // coordinates (0,0) (1,0) (0,1) (1,1).
  ASSERT_NE(f.device.lastVertexBuffer, nullptr);
  const auto& bytes = f.device.lastVertexBuffer->Bytes();
  const UINT floatsPerVertex = 4 + 2 * c.textures;
  ASSERT_EQ(bytes.size(), 4 * floatsPerVertex * sizeof(float));
  const float corners[4][4] = {{0, 0, 0, 0}, {800, 0, 1, 0}, {0, 600, 0, 1}, {800, 600, 1, 1}};
  for (UINT v = 0; v < 4; ++v) {
    float vertex[12];
    std::memcpy(vertex, bytes.data() + v * floatsPerVertex * sizeof(float), floatsPerVertex * sizeof(float));
    EXPECT_EQ(vertex[0], corners[v][0]);
    EXPECT_EQ(vertex[1], corners[v][1]);
    EXPECT_EQ(vertex[2], 0.0f);
    EXPECT_EQ(vertex[3], 1.0f);
    for (UINT set = 0; set < c.textures; ++set) {
      EXPECT_EQ(vertex[4 + 2 * set], corners[v][2]) << v << " " << set;
      EXPECT_EQ(vertex[5 + 2 * set], corners[v][3]) << v << " " << set;
    }
  }

  f.log.clear();
  f.device.logFrames = true;
  EXPECT_TRUE(test.Render());
  EXPECT_EQ(f.log, CallLog(32, "DrawPrimitive(5,0,2)"));
  f.log.clear();
  EXPECT_TRUE(test.Destroy());
  CallLog released{"VertexBuffer.Release"};
  for (UINT k = 0; k < c.textures; ++k) released.push_back(std::string("Release(") + files[k] + ")");
  EXPECT_EQ(f.log, released);
}

// FVF XYZRHW | TEXn = 0x104, 0x204, 0x304, 0x404; stride 16 + 8n; states: COLOROP 1,
// COLORARG1 2, COLORARG2 3; TEXTURE 2, CURRENT 1; SELECTARG1 2, MODULATE 4, ADD 7.
CallLog Expected(UINT textures) {
  const UINT stride = 16 + 8 * textures;
  const UINT fvf = 0x004 | (textures << 8);
  CallLog calls{"CreateVertexBuffer(" + std::to_string(4 * stride) + ",8," + std::to_string(fvf) + ",1)",
                "Lock(0," + std::to_string(4 * stride) + ",0)", "Unlock",
                "SetStreamSource(0,buffer,0," + std::to_string(stride) + ")", "SetFVF(" + std::to_string(fvf) + ")"};
  for (UINT k = 1; k <= textures; ++k) calls.push_back("Load(texture" + std::to_string(k) + ".jpg)");
  for (UINT k = 0; k < textures; ++k) calls.push_back("SetTexture(" + std::to_string(k) + ")");
  calls.insert(calls.end(), {"SetRenderState(168,15)", "SetRenderState(14,0)", "SetRenderState(7,0)",
                             "SetTextureStageState(0,2,2)", "SetTextureStageState(0,1,2)"});
  const char* laterStages[] = {
      "SetTextureStageState(1,2,2)", "SetTextureStageState(1,1,4)", "SetTextureStageState(1,3,1)",
      "SetTextureStageState(2,2,2)", "SetTextureStageState(2,1,7)", "SetTextureStageState(2,3,1)",
      "SetTextureStageState(3,2,2)", "SetTextureStageState(3,1,4)", "SetTextureStageState(3,3,1)"};
  calls.insert(calls.end(), laterStages, laterStages + 3 * (textures - 1));
  return calls;
}

INSTANTIATE_TEST_SUITE_P(TestsThreeToSix, TexturedTestInit,
                         ::testing::Values(TexturedCase{1, "FFP - Single texture", Expected(1)},
                                           TexturedCase{2, "FFP - Dual texture", Expected(2)},
                                           TexturedCase{3, "FFP - Triple texture", Expected(3)},
                                           TexturedCase{4, "FFP - Quad texture", Expected(4)}),
                         [](const ::testing::TestParamInfo<TexturedCase>& test) {
                           return "Textures" + std::to_string(test.param.textures);
                         });

TEST(TexturedTestFailure, TooSmallATextureLimitFailsEveryTestBeforeLoading) {
  for (bool narrow : {true, false}) {
    for (UINT textures = 1; textures <= 4; ++textures) {
      TexturedFixture f;
      (narrow ? f.device.caps.MaxTextureWidth : f.device.caps.MaxTextureHeight) = 256;
      TexturedTest test(textures, {640, 480}, f.Loader());
      EXPECT_FALSE(test.Init(&f.device)) << textures;
      EXPECT_EQ(test.FailureReason(), narrow ? "the device's textures are at most 256x512, the test needs 512x512"
                                             : "the device's textures are at most 512x256, the test needs 512x512");
      EXPECT_TRUE(f.log.empty()) << textures;
      EXPECT_TRUE(test.Destroy());
      EXPECT_TRUE(f.log.empty()) << textures;
    }
  }
}

TEST(TexturedTestFailure, TwoStagesRunTheFirstTwoTestsOnly) {
  for (UINT textures = 1; textures <= 4; ++textures) {
    TexturedFixture f;
    f.device.caps.MaxSimultaneousTextures = 2;
    TexturedTest test(textures, {640, 480}, f.Loader());
    EXPECT_EQ(test.Init(&f.device), textures <= 2) << textures;
    if (textures > 2) {
      EXPECT_TRUE(f.log.empty()) << textures;
      EXPECT_EQ(test.FailureReason(), "the device offers 2 texture stages, the test needs " + std::to_string(textures));
    }
    test.Destroy();
  }
}

TEST(TexturedTestFailure, AMissingFileFailsAfterEveryFileWasTried) {
  for (UINT textures = 1; textures <= 4; ++textures) {
    TexturedFixture f;
    f.missingFiles = {"texture2.jpg"};
    TexturedTest test(textures, {640, 480}, f.Loader());
    EXPECT_EQ(test.Init(&f.device), textures == 1) << textures;
    if (textures == 1) continue;
    CallLog expected = Expected(textures);
    expected.resize(5 + textures);  // the buffer, then every load, and nothing set
    EXPECT_EQ(f.log, expected);
    EXPECT_EQ(test.FailureReason(), "texture2.jpg not found in /data");
    f.log.clear();
    EXPECT_TRUE(test.Destroy());
    CallLog released{"VertexBuffer.Release", "Release(texture1.jpg)"};
    for (UINT k = 3; k <= textures; ++k) released.push_back("Release(texture" + std::to_string(k) + ".jpg)");
    EXPECT_EQ(f.log, released);
  }
}

TEST(TexturedTestFailure, NoVertexBufferFailsBeforeLoading) {
  TexturedFixture f;
  f.device.createVertexBufferFails = true;
  TexturedTest test(2, {640, 480}, f.Loader());
  EXPECT_FALSE(test.Init(&f.device));
  EXPECT_EQ(f.log, (CallLog{"CreateVertexBuffer(128,8,516,1)"}));
  EXPECT_EQ(test.FailureReason(), "CreateVertexBuffer returned E_OUTOFMEMORY (0x8007000E)");
  EXPECT_TRUE(test.Destroy());
}

TEST(TexturedTestFailure, WithoutTheColourWriteCapTheMaskIsNotSet) {
  TexturedFixture f;
  f.device.caps.PrimitiveMiscCaps = 0;
  TexturedTest test(1, {640, 480}, f.Loader());
  ASSERT_TRUE(test.Init(&f.device));
  CallLog expected = Expected(1);
  expected.erase(std::find(expected.begin(), expected.end(), "SetRenderState(168,15)"));
  EXPECT_EQ(f.log, expected);
  test.Destroy();
}

}  // namespace
}  // namespace rastro::testing

namespace rastro::testing {
namespace {

// The real loader on the device core, with texture files copied from the data files into a
// scratch directory, texture2.jpg left out and texture4.jpg no image.
TEST(TexturedTestOnTheDeviceCore, LoadsTheTextureFilesAndFailsWithoutOne) {
  std::vector<Adapter> adapters;
  adapters.push_back(ResourceOnlyAdapter(CapableProfile()));
  auto direct3d = ComPtr<IDirect3D9>::Adopt(CreateDirect3D(std::move(adapters)));
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 640;
  parameters.BackBufferHeight = 480;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  ComPtr<IDirect3DDevice9> device;
  ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                   device.ReleaseAndGetAddressOf()),
            D3D_OK);
  ScratchDirectory scratch;
  for (const char* name : {"texture1.jpg", "texture3.jpg"}) {
    scratch.Write(name, ReadFile(std::filesystem::path(RASTRO_DATA_DIR) / name));
  }
  scratch.Write("texture4.jpg", "not a JPEG file");
  std::vector<std::string> tried;
  TestFiles fromScratch = FolderFiles(scratch.Path());
  fromScratch.loadTexture = [&tried, load = fromScratch.loadTexture](IDirect3DDevice9* on, const char* name,
                                                                     IDirect3DTexture9** texture) {
    tried.push_back(name);
    return load(on, name, texture);
  };

  TexturedTest single(1, {640, 480}, fromScratch);
  ASSERT_TRUE(single.Init(device.Get()));
  ComPtr<IDirect3DBaseTexture9> bound;
  ASSERT_EQ(device->GetTexture(0, bound.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_TRUE(bound);
  EXPECT_EQ(bound->GetLevelCount(), 10u);  // the data images are 512 x 512
  DWORD value = 0;
  device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DTOP_SELECTARG1));
  single.Destroy();

  // Every file that failed is named, with its folder and what became of it.
  const std::string folder = scratch.Path().string();
  const std::string missing = "texture2.jpg not found in " + folder;
  const std::string broken = "texture4.jpg in " + folder +
                             " did not load: D3DXCreateTextureFromFileA returned D3DXERR_INVALIDDATA (0x88760B59)";
  for (UINT textures = 2; textures <= 4; ++textures) {
    tried.clear();
    TexturedTest test(textures, {640, 480}, fromScratch);
    EXPECT_FALSE(test.Init(device.Get())) << textures;
    EXPECT_EQ(tried.size(), textures);
    EXPECT_EQ(test.FailureReason(), textures < 4 ? missing : missing + "; " + broken);
    test.Destroy();
  }
}

}  // namespace
}  // namespace rastro::testing
