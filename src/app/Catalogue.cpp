#include "Catalogue.h"

#include <array>
#include <new>

#include "UntexturedTests.h"

namespace rastro {

namespace {

// A row whose test is not built yet: it keeps its place, name and factor and fails its Init,
// so a run writes "Failed!" for it.
class UnbuiltTest final : public FillTest {
 public:
  UnbuiltTest(const CatalogueRow& row, ScreenSize screen) : FillTest(screen), row_(row) {}
  const char* Name() const override { return row_.name; }
  unsigned PixelFactor() const override { return row_.pixelFactor; }
  bool Init(IDirect3DDevice9* device) override {
    device_ = device;
    return false;
  }
  bool Destroy() override { return true; }

 private:
  const CatalogueRow& row_;
};

template <UntexturedTest::Kind kind>
std::unique_ptr<FillTest> MakeUntexturedTest(const CatalogueRow& row, ScreenSize screen) {
  return std::unique_ptr<FillTest>(new (std::nothrow) UntexturedTest(kind, row, screen));
}

std::unique_ptr<FillTest> MakeUnbuiltTest(const CatalogueRow& row, ScreenSize screen) {
  return std::unique_ptr<FillTest>(new (std::nothrow) UnbuiltTest(row, screen));
}

constexpr std::array<CatalogueRow, 16> kCatalogue{{
    {"FFP - Pure fillrate", 32, MakeUntexturedTest<UntexturedTest::Kind::kPureFillrate>},
    {"FFP - Z pixel rate", 32, MakeUntexturedTest<UntexturedTest::Kind::kZPixelRate>},
    {"FFP - Single texture", 32, MakeUnbuiltTest},
    {"FFP - Dual texture", 32, MakeUnbuiltTest},
    {"FFP - Triple texture", 32, MakeUnbuiltTest},
    {"FFP - Quad texture", 32, MakeUnbuiltTest},
    {"PS 1.1 - Simple", 32, MakeUnbuiltTest},
    {"PS 1.4 - Simple", 32, MakeUnbuiltTest},
    {"PS 2.0 - Simple", 32, MakeUnbuiltTest},
    {"PS 2.0 PP - Simple", 32, MakeUnbuiltTest},
    {"PS 2.0 - Longer", 32, MakeUnbuiltTest},
    {"PS 2.0 PP - Longer", 32, MakeUnbuiltTest},
    {"PS 2.0 - Longer 4 Registers", 32, MakeUnbuiltTest},
    {"PS 2.0 PP - Longer 4 Registers", 32, MakeUnbuiltTest},
    {"PS 2.0 - Per Pixel Lighting", 16, MakeUnbuiltTest},
    {"PS 2.0 PP - Per Pixel Lighting", 16, MakeUnbuiltTest},
}};

}  // namespace

std::span<const CatalogueRow> Catalogue() { return kCatalogue; }

bool IsPlaceholder(const CatalogueRow& row) { return row.create == MakeUnbuiltTest; }

}  // namespace rastro
