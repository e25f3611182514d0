// How large one decoded image may be: RASTROMETER_MAX_IMAGE_MB, a whole number of MiB (default
// 1024, room for a 16384 x 16384 image at 32 bits a pixel, the largest texture a device of the
// time offers). A header that claims more is refused before anything is allocated, so that a
// small hostile file cannot make the loader take gigabytes.
#pragma once

#include <cstdint>

namespace rastro {

constexpr std::uint64_t kDefaultMaxImageMegabytes = 1024;

// The cap in bytes. Read on every call, so a process (or a test) can change it while running;
// a value that is not a whole number from 1 to 2^30 leaves the default.
std::uint64_t MaxImageBytes();

}  // namespace rastro
