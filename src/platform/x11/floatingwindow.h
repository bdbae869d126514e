#pragma once

#include <QtGui/qwindowdefs.h>

// The window-manager hints of a small floating window on an X11 display: above other windows,
// on every virtual desktop, in neither the taskbar nor the pager. They go over Qt's own
// connection, so they reach the server in order with the window's mapping. Every function does
// nothing where Kelvo's windows are not on X11.
namespace kelvo::X11FloatingWindow {

// Kelvo's windows are on an X11 display.
bool available();
// A compositing manager runs on the display (it owns _NET_WM_CM_S<screen>), so transparent
// pixels of a window show what lies below.
bool compositingManagerRunning();
// Before the window is mapped: its _NET_WM_STATE gains the states above and its _NET_WM_DESKTOP
// becomes every desktop, as the window manager reads them when it maps the window.
void prepare(WId window);
// After it is mapped: asks the window manager for the same states, for one that dropped them.
void request(WId window);

} // namespace kelvo::X11FloatingWindow
