// Window events from SDL, as the message pump sees them.
#pragma once

#include "MessagePump.h"

namespace rastro {

class SdlEvents final : public EventSource {
 public:
  bool Poll(InputEvent& event) override;
};

}  // namespace rastro
