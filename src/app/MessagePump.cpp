#include "MessagePump.h"

namespace rastro {

PumpEnd RunMessagePump(EventSource& events, KeyFlags& KeyDown, RunSequence& sequence) {
  bool catalogueDone = false;
  for (;;) {
    // A tap of Escape whose release arrives in the same pass as its press still ends the run;
    // with slow frames a quick tap would otherwise go unseen.
    bool escapePressed = false;
    InputEvent event;
    while (events.Poll(event)) {
      switch (event.kind) {
        case InputEvent::Kind::kKeyDown:
          KeyDown[event.virtualKey] = 1;
          escapePressed = escapePressed || event.virtualKey == kVirtualKeyEscape;
          break;
        case InputEvent::Kind::kKeyUp: KeyDown[event.virtualKey] = 0; break;
        case InputEvent::Kind::kClose: return PumpEnd::kClosed;
      }
    }
    // The end of the catalogue is acted on in the pass after the one that found it, once the
    // events that came in meanwhile have been handled.
    if (catalogueDone) return PumpEnd::kCatalogueDone;
    catalogueDone = !sequence.Step();
    if (KeyDown[kVirtualKeyEscape] || escapePressed) {
      sequence.Abandon();
      return PumpEnd::kEscape;
    }
  }
}

}  // namespace rastro
