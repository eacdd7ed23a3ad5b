// The choice of the Qt platform for the configuration dialog.
#include "rdi/platform_choice.h"

#include <vector>

namespace tov::rdi {
namespace {

std::vector<std::string> entries(const char* variable, bool waylandSession) {
    if (!variable || !*variable) {
        if (waylandSession) return {"wayland", "xcb"};
        return {"xcb", "wayland"};
    }
    std::vector<std::string> list;
    const std::string text(variable);
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) list.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

bool needsNoDisplay(const std::string& name) {
    return name == "offscreen" || name == "minimal" || name == "vnc";
}

}  // namespace

PlatformChoice choosePlatform(const char* variable, bool waylandSession,
                              const PlatformProbes& probes) {
    PlatformChoice choice;
    auto refuse = [&](const std::string& name, const char* why) {
        if (!choice.reason.empty()) choice.reason += "; ";
        choice.reason += name + ": " + why;
    };
    for (const std::string& entry : entries(variable, waylandSession)) {
        const std::string name = entry.substr(0, entry.find(':'));
        const bool wayland = name.rfind("wayland", 0) == 0;
        if (name != "xcb" && !wayland && !needsNoDisplay(name)) {
            refuse(name, "cannot tell beforehand whether it can show a window");
        } else if (!probes.pluginInstalled(name)) {
            refuse(name, "no Qt platform plugin installed");
        } else if (name == "xcb" && !probes.xDisplayReachable()) {
            refuse(name, "no X display reachable");
        } else if (wayland && !probes.waylandDisplayReachable()) {
            refuse(name, "no Wayland display reachable");
        } else {
            choice.platform = entry;
            choice.reason.clear();
            return choice;
        }
    }
    if (choice.reason.empty()) choice.reason = "no platform named";
    return choice;
}

}  // namespace tov::rdi
