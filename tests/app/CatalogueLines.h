// The results lines a whole run writes, derived from the catalogue: every test that is built
// measures the rate the caller expects for it, every placeholder fails.
#pragma once

#include <algorithm>
#include <functional>
#include <string>

#include "Catalogue.h"

namespace rastro::testing {

inline std::string CatalogueLines(const std::function<std::string(const CatalogueRow&)>& measuredRate) {
  std::string lines;
  for (const CatalogueRow& row : Catalogue()) {
    lines += std::string(row.name) + " - " +
             (IsPlaceholder(row) ? std::string("Failed!") : measuredRate(row) + "M pixels/sec") + "\n";
  }
  return lines;
}

// How many tests of a whole run really run (and draw) rather than fail their Init.
inline int BuiltTestCount() {
  return static_cast<int>(std::count_if(Catalogue().begin(), Catalogue().end(),
                                        [](const CatalogueRow& row) { return !IsPlaceholder(row); }));
}

}  // namespace rastro::testing
