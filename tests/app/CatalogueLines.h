// The results lines a whole run writes, derived from the catalogue: every test that is built
// measures the rate the caller expects for it, every placeholder fails.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "Catalogue.h"

namespace rastro::testing {

// `measuredRate` gives a built test's rate, or nullopt when the device of the run cannot run it.
inline std::string CatalogueLines(const std::function<std::optional<std::string>(const CatalogueRow&)>& measuredRate) {
  std::string lines;
  for (const CatalogueRow& row : Catalogue()) {
    const std::optional<std::string> rate = IsPlaceholder(row) ? std::nullopt : measuredRate(row);
    lines += std::string(row.name) + " - " + (rate ? *rate + "M pixels/sec" : std::string("Failed!")) + "\n";
  }
  return lines;
}

// How many tests of a whole run really run (and draw) rather than fail their Init.
inline int BuiltTestCount() {
  return static_cast<int>(std::count_if(Catalogue().begin(), Catalogue().end(),
                                        [](const CatalogueRow& row) { return !IsPlaceholder(row); }));
}

// The fixed-function texture tests: a device without texture stages fails them.
inline bool NeedsTextureStages(const CatalogueRow& row) {
  return std::string_view(row.name).starts_with("FFP - ") && std::string_view(row.name).ends_with(" texture");
}

// How many tests run on a device without texture stages.
inline int UntexturedTestCount() {
  return static_cast<int>(std::count_if(Catalogue().begin(), Catalogue().end(), [](const CatalogueRow& row) {
    return !IsPlaceholder(row) && !NeedsTextureStages(row);
  }));
}

}  // namespace rastro::testing
