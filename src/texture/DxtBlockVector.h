// The DXT block encoders on vector units, several blocks at a time. Each returns how many of
// the `count` blocks it encoded (a multiple of its lane count; 0 where the processor lacks the
// instruction set); the caller encodes the rest one by one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DxtBlock.h"

namespace rastro {

std::size_t EncodeDxtBlocksSse2(DxtKind kind, const BlockPixels* blocks, std::uint8_t* out, std::size_t count);
std::size_t EncodeDxtBlocksAvx2(DxtKind kind, const BlockPixels* blocks, std::uint8_t* out, std::size_t count);

}  // namespace rastro
