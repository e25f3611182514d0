// The plain codecs: one per format whose pixels can be read and written one at a time.
#pragma once

#include <memory>

#include "PixelCodec.h"

namespace rastro {

// A plain codec for the region's format, or null when the format has none (or memory runs out).
std::unique_ptr<PixelCodec> CreatePlainCodec(const PixelRegion& region);

}  // namespace rastro
