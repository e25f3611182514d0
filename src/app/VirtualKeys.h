// Windows virtual-key codes for SDL key codes, so that key flags are indexed as on Windows.
#pragma once

#include <SDL_keycode.h>

#include <cstdint>
#include <optional>

namespace rastro {

// The virtual-key code of `key`, or nothing for a key that has none.
std::optional<std::uint8_t> VirtualKeyFromSdl(SDL_Keycode key);

}  // namespace rastro
