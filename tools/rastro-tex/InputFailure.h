// Why an input image cannot be used, worded the same by every command.
#pragma once

#include <string>

#include "DecodeImage.h"

namespace rastro::tex {

// Why a file cannot be opened and mapped, in the words of the system ("No such file or
// directory", "Is a directory", ...).
std::string OpenFailure(const char* name);

// Why a file's bytes did not decode: beyond the cap on one image, refused by the decoder of
// the type it was recognised as, or of no type the loader reads.
std::string DecodeFailureText(const DecodeFailure& failure);

}  // namespace rastro::tex
