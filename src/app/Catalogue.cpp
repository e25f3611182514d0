#include "Catalogue.h"

#include <array>
#include <new>

#include "ShaderTests.h"
#include "TexturedTests.h"
#include "UntexturedTests.h"

namespace rastro {

namespace {

template <UntexturedTest::Kind kind>
std::unique_ptr<FillTest> MakeUntexturedTest(const CatalogueRow& row, ScreenSize screen, const TestFiles&) {
  return std::unique_ptr<FillTest>(new (std::nothrow) UntexturedTest(kind, row, screen));
}

template <UINT textures>
std::unique_ptr<FillTest> MakeTexturedTest(const CatalogueRow&, ScreenSize screen, const TestFiles& files) {
  return std::unique_ptr<FillTest>(new (std::nothrow) TexturedTest(textures, screen, files));
}

template <size_t row>
std::unique_ptr<FillTest> MakePixelShaderTest(const CatalogueRow&, ScreenSize screen, const TestFiles& files) {
  const PixelShaderTestRow& test = kPixelShaderTests[row];
  return std::unique_ptr<FillTest>(new (std::nothrow) PixelShaderTest(test.name, test.shaderFile, screen, files));
}

std::unique_ptr<FillTest> MakePs14Test(const CatalogueRow&, ScreenSize screen, const TestFiles& files) {
  return std::unique_ptr<FillTest>(new (std::nothrow) Ps14Test(screen, files));
}

template <bool partialPrecision>
std::unique_ptr<FillTest> MakeLightingTest(const CatalogueRow&, ScreenSize screen, const TestFiles& files) {
  return std::unique_ptr<FillTest>(new (std::nothrow) LightingTest(partialPrecision, screen, files));
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
