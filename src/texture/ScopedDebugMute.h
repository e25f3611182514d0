// Keeps the runtime's debug output muted for one trial call whose failure is expected and
// handled, and switches it back on when the scope ends, on every path.
#pragma once

#include "MuteDebugOutput.h"

namespace rastro {

class ScopedDebugMute {
 public:
  ScopedDebugMute() { MuteDebugOutput(true); }
  ~ScopedDebugMute() { MuteDebugOutput(false); }
  ScopedDebugMute(const ScopedDebugMute&) = delete;
  ScopedDebugMute& operator=(const ScopedDebugMute&) = delete;
};

}  // namespace rastro
