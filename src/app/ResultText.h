// Result codes as a user reads them in a failure message.
#pragma once

#include <string>

#include "d3d9types.h"

namespace rastro {

// "D3DERR_INVALIDCALL (0x8876086C)"; a code without a name is shown by its number alone.
std::string ResultText(HRESULT result);

}  // namespace rastro
