#include "InputFailure.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "decoders/ImageDecoder.h"

namespace rastro::tex {

std::string OpenFailure(const char* name) {
  struct stat status;
  if (::stat(name, &status) != 0) return std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return std::strerror(EISDIR);
  if (std::FILE* file = std::fopen(name, "rb")) {
    std::fclose(file);
    return "cannot be mapped";
  }
  return std::strerror(errno);
}

std::string DecodeFailureText(const DecodeFailure& failure) {
  if (failure.TooLarge) return "too large to load: " + failure.Reason;
  if (failure.Recognised) {
    return std::string("a ") + FileFormatName(failure.FileFormat) + " file the loader cannot read: " + failure.Reason;
  }
  return "not an image the loader reads (BMP, DIB, TGA, PPM, PFM, DDS, JPEG, PNG or Radiance RGBE)";
}

}  // namespace rastro::tex
