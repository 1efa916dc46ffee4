#pragma once

// Whether some client owns the X selection named prefix followed by the
// number of the screen DISPLAY names ("_NET_SYSTEM_TRAY_S0" for a tray,
// "_NET_WM_CM_S0" for a compositing manager). False without an X display.
bool XSelectionOwned(const char *prefix);
