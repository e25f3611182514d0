// Display names of the pixel formats the settings and the results header show.
#pragma once

#include <optional>
#include <string_view>

#include "d3d9types.h"

namespace rastro {

// The format's display text ("X8R8G8B8", "D24S8", ...), or "Unknown" for a format without one.
const char* FormatName(D3DFORMAT format);

// The format whose display text is `name` in any case ("x8r8g8b8" is X8R8G8B8), for choices
// given as text.
std::optional<D3DFORMAT> FormatFromName(std::string_view name);

}  // namespace rastro
