// The main loop: handles every waiting window event, then runs one step of the test sequence,
// and ends when the catalogue is done, Escape is pressed or the window is closed.
#pragma once

#include <array>
#include <cstdint>

#include "RunSequence.h"

namespace rastro {

// One flag per Windows virtual-key code: 1 while the key is down.
using KeyFlags = std::array<std::uint8_t, 256>;

inline constexpr std::uint8_t kVirtualKeyEscape = 27;

struct InputEvent {
  enum class Kind { kKeyDown, kKeyUp, kClose };
  Kind kind = Kind::kClose;
  std::uint8_t virtualKey = 0;
};

class EventSource {
 public:
  virtual ~EventSource() = default;
  // Takes the next waiting event; false when none is waiting.
  virtual bool Poll(InputEvent& event) = 0;
};

enum class PumpEnd {
  kCatalogueDone,  // every test has run
  kEscape,         // Escape was down after a step; the current test has been destroyed
  kClosed,         // the window was closed
};

// Runs until the run ends. Rendering never happens while events wait. Escape ends the run
// after the step that follows its press, even when it was released again before that step. On
// Escape the current test is destroyed before returning, so the caller may release the device
// at once.
PumpEnd RunMessagePump(EventSource& events, KeyFlags& KeyDown, RunSequence& sequence);

}  // namespace rastro
