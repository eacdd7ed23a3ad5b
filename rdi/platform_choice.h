// Which Qt platform can show the configuration dialog in the debugger's process, decided before
// anything of Qt's GUI is created: a Qt platform plugin that cannot reach its display ends the
// whole process, and that process is the debugger.
#pragma once

#include <functional>
#include <string>

namespace tov::rdi {

// What the choice asks of the system; the real answers come from display_probe.h and Qt's
// plugin folders, tests give their own.
struct PlatformProbes {
    std::function<bool()> xDisplayReachable;
    std::function<bool()> waylandDisplayReachable;
    // A platform plugin of this name (the part of an entry before any ':') is installed.
    std::function<bool(const std::string& name)> pluginInstalled;
};

struct PlatformChoice {
    // The platform entry to start Qt with ("xcb", "wayland", "offscreen", ... with its
    // options); empty when none can show a window.
    std::string platform;
    // Why none could, one reason per platform tried.
    std::string reason;
};

// `variable` is QT_QPA_PLATFORM (null or empty when unset): its entries, separated by ';', are
// tried in turn. Unset, the session's own display is tried first: Wayland when
// `waylandSession`, else X, then the other one. A platform is taken only when its plugin is
// installed and its display answers; platforms that need no display (offscreen, minimal, vnc)
// are taken as they are; any other is refused, since it cannot be checked beforehand.
PlatformChoice choosePlatform(const char* variable, bool waylandSession,
                              const PlatformProbes& probes);

}  // namespace tov::rdi
