#include "ImageSizeLimit.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace rastro {

namespace {

constexpr std::uint64_t kLargestMegabytes = std::uint64_t{1} << 30;

}  // namespace

std::uint64_t MaxImageBytes() {
  std::uint64_t megabytes = kDefaultMaxImageMegabytes;
  if (const char* text = std::getenv("RASTROMETER_MAX_IMAGE_MB")) {
    std::uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error == std::errc() && stop == end && value >= 1 && value <= kLargestMegabytes) megabytes = value;
  }
  return megabytes << 20;
}

}  // namespace rastro
