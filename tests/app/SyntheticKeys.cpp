#include "SyntheticKeys.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace rastro::testing {

namespace {

void Settle() {
  for (int i = 0; i < 20; ++i) {
    while (gtk_events_pending()) gtk_main_iteration();
    g_usleep(2000);
  }
}

bool HoldsFocus(Display* x, GtkWidget* window) {
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(x, &focused, &revert);
  return focused == GDK_WINDOW_XID(gtk_widget_get_window(window));
}

}  // namespace

bool FocusWindow(GtkWidget* window) {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display) || !gtk_widget_get_window(window)) return false;
  gdk_window_focus(gtk_widget_get_window(window), GDK_CURRENT_TIME);
  Settle();
  return HoldsFocus(GDK_DISPLAY_XDISPLAY(display), window);
}

std::string PressKey(GtkWidget* window, guint keyval, bool shift) {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return "not an X display";
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  if (!HoldsFocus(x, window)) return "the window does not hold the input focus";
  const KeyCode shiftKey = XKeysymToKeycode(x, XK_Shift_L);
  const KeyCode key = XKeysymToKeycode(x, static_cast<KeySym>(keyval));  // GDK key values are X keysyms
  if (key == 0 || shiftKey == 0) return "no key code for the key";
  if (shift) XTestFakeKeyEvent(x, shiftKey, True, CurrentTime);
  XTestFakeKeyEvent(x, key, True, CurrentTime);
  XTestFakeKeyEvent(x, key, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(x, shiftKey, False, CurrentTime);
  XFlush(x);
  Settle();
  return {};
}

}  // namespace rastro::testing
