// The results lines a whole run writes, derived from the catalogue: every test measures the
// rate the caller expects for it, or fails where the run's device cannot run it.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "Catalogue.h"

namespace rastro::testing {

// `measuredRate` gives a test's rate, or nullopt when the device of the run cannot run it.
inline std::string CatalogueLines(const std::function<std::optional<std::string>(const CatalogueRow&)>& measuredRate) {
  std::string lines;
  for (const CatalogueRow& row : Catalogue()) {
    const std::optional<std::string> rate = measuredRate(row);
    lines += std::string(row.name) + " - " + (rate ? *rate + "M pixels/sec" : std::string("Failed!")) + "\n";
  }
  return lines;
}

// The tests that load textures (the fixed-function texture tests and per-pixel lighting): a
// device without texture stages fails them.
inline bool NeedsTextureStages(const CatalogueRow& row) {
  const std::string_view name(row.name);
  return (name.starts_with("FFP - ") && name.ends_with(" texture")) || name.ends_with("Per Pixel Lighting");
}

// Frames of a whole run times quads per frame, over the tests that run.
inline unsigned QuadsDrawn(unsigned framesPerTest, bool withTextureStages = true) {
  unsigned quads = 0;
  for (const CatalogueRow& row : Catalogue())
    if (withTextureStages || !NeedsTextureStages(row)) quads += framesPerTest * row.pixelFactor;
  return quads;
}

// How many tests run on a device without texture stages.
inline int UntexturedTestCount() {
  return static_cast<int>(std::count_if(Catalogue().begin(), Catalogue().end(),
                                        [](const CatalogueRow& row) { return !NeedsTextureStages(row); }));
}

}  // namespace rastro::testing
