// The sixteen tests in run order.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "FillTest.h"

namespace rastro {

struct CatalogueRow {
  const char* name;
  unsigned pixelFactor;
  // A new test object, or null when it cannot be allocated.
  std::unique_ptr<FillTest> (*create)(const CatalogueRow& row, ScreenSize screen);
};

std::span<const CatalogueRow> Catalogue();

}  // namespace rastro
