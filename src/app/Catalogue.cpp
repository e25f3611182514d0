#include "Catalogue.h"

#include <array>
#include <new>

#include "DataFiles.h"
#include "ShaderTests.h"
#include "TexturedTests.h"
#include "UntexturedTests.h"
#include "d3dx9shader.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

template <UntexturedTest::Kind kind>
std::unique_ptr<FillTest> MakeUntexturedTest(const CatalogueRow& row, ScreenSize screen) {
  return std::unique_ptr<FillTest>(new (std::nothrow) UntexturedTest(kind, row, screen));
}

// The texture files are looked up among the data files, wherever the program runs from.
HRESULT LoadDataTexture(IDirect3DDevice9* device, const char* fileName, IDirect3DTexture9** texture) {
  return D3DXCreateTextureFromFileA(device, DataFilePath(fileName).c_str(), texture);
}

template <UINT textures>
std::unique_ptr<FillTest> MakeTexturedTest(const CatalogueRow&, ScreenSize screen) {
  return std::unique_ptr<FillTest>(new (std::nothrow) TexturedTest(textures, screen, LoadDataTexture));
}

// Shader sources are assembled from the data directory as the published entry point reads them.
ShaderTestFiles DataShaderFiles() {
  ShaderTestFiles files;
  files.assemble = [](const char* fileName, ID3DXBuffer** shader) {
    return D3DXAssembleShaderFromFileA(DataFilePath(fileName).c_str(), nullptr, nullptr, 0, shader, nullptr);
  };
  files.loadTexture = LoadDataTexture;
  return files;
}

template <size_t row>
std::unique_ptr<FillTest> MakePixelShaderTest(const CatalogueRow&, ScreenSize screen) {
  const PixelShaderTestRow& test = kPixelShaderTests[row];
  return std::unique_ptr<FillTest>(new (std::nothrow)
                                       PixelShaderTest(test.name, test.shaderFile, screen, DataShaderFiles()));
}

std::unique_ptr<FillTest> MakePs14Test(const CatalogueRow&, ScreenSize screen) {
  return std::unique_ptr<FillTest>(new (std::nothrow) Ps14Test(screen, DataShaderFiles()));
}

template <bool partialPrecision>
std::unique_ptr<FillTest> MakeLightingTest(const CatalogueRow&, ScreenSize screen) {
  return std::unique_ptr<FillTest>(new (std::nothrow) LightingTest(partialPrecision, screen, DataShaderFiles()));
}

constexpr std::array<CatalogueRow, 16> kCatalogue{{
    {"FFP - Pure fillrate", 32, MakeUntexturedTest<UntexturedTest::Kind::kPureFillrate>},
    {"FFP - Z pixel rate", 32, MakeUntexturedTest<UntexturedTest::Kind::kZPixelRate>},
    {"FFP - Single texture", 32, MakeTexturedTest<1>},
    {"FFP - Dual texture", 32, MakeTexturedTest<2>},
    {"FFP - Triple texture", 32, MakeTexturedTest<3>},
    {"FFP - Quad texture", 32, MakeTexturedTest<4>},
    {"PS 1.1 - Simple", 32, MakePixelShaderTest<0>},
    {"PS 1.4 - Simple", 32, MakePs14Test},
    {"PS 2.0 - Simple", 32, MakePixelShaderTest<1>},
    {"PS 2.0 PP - Simple", 32, MakePixelShaderTest<2>},
    {"PS 2.0 - Longer", 32, MakePixelShaderTest<3>},
    {"PS 2.0 PP - Longer", 32, MakePixelShaderTest<4>},
    {"PS 2.0 - Longer 4 Registers", 32, MakePixelShaderTest<5>},
    {"PS 2.0 PP - Longer 4 Registers", 32, MakePixelShaderTest<6>},
    {"PS 2.0 - Per Pixel Lighting", 16, MakeLightingTest<false>},
    {"PS 2.0 PP - Per Pixel Lighting", 16, MakeLightingTest<true>},
}};

}  // namespace

std::span<const CatalogueRow> Catalogue() { return kCatalogue; }

}  // namespace rastro
