// Opening the display a run was asked to show on. A display that is announced but does not
// answer must stop the run: SDL would otherwise fall back to rendering offscreen, and the
// user would get figures for something they did not ask to measure.
#pragma once

#include <string>

namespace rastro {

// Opens SDL's video on the announced display server and leaves it open for the window.
// Returns an empty string on success, or the message that names the display which could not
// be opened. An explicit SDL_VIDEODRIVER is the user's own choice and is taken as it is.
std::string OpenAnnouncedDisplay();

}  // namespace rastro
