// Whether an X or a Wayland display answers, asked of their client libraries directly (loaded
// with dlopen, so that neither is needed to load the module), never of Qt.
#pragma once

namespace tov::rdi {

// The X server named by DISPLAY accepts a connection.
bool xDisplayReachable();
// The Wayland compositor named by WAYLAND_DISPLAY (or the default socket) accepts a connection.
bool waylandDisplayReachable();

}  // namespace tov::rdi
