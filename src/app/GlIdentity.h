// The OpenGL implementation behind the device, for the run's record.
#pragma once

#include "RunRecord.h"

namespace rastro {

// Fills the GL vendor, renderer and version strings from the current GL context; leaves them
// empty when no context is current (a device that does not render through OpenGL).
void ReadGlIdentity(AdapterRecord& adapter);

}  // namespace rastro
