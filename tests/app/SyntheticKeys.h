// Keys as a keyboard sends them: through the X server's test extension, to the window that
// holds the input focus. Kept apart from the tests because the X headers define names (Status,
// None, Bool) that clash with the program's own.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace rastro::testing {

// Gives `window` the input focus, as a window manager does for a new window; false when the
// X server does not hand it over.
bool FocusWindow(GtkWidget* window);

// Presses and releases the key of `keyval` (GDK_KEY_Tab, GDK_KEY_Down, ...), with Shift held
// when asked. Empty on success, otherwise what went wrong; the key is only sent while `window`
// holds the input focus, so it can never reach another window.
std::string PressKey(GtkWidget* window, guint keyval, bool shift = false);

}  // namespace rastro::testing
