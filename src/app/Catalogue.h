// The sixteen tests in run order.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "FillTest.h"
#include "TestFiles.h"

namespace rastro {

struct CatalogueRow {
  const char* name;
  unsigned pixelFactor;
  // A new test object covering `screen` and reading its data from `files`, or null when it
  // cannot be allocated.
  std::unique_ptr<FillTest> (*create)(const CatalogueRow& row, ScreenSize screen, const TestFiles& files);
};

std::span<const CatalogueRow> Catalogue();

}  // namespace rastro
