// Connecting once to the X server or the Wayland compositor and leaving again.
#include "rdi/display_probe.h"

#include <dlfcn.h>

namespace tov::rdi {
namespace {

// Loads `library`, connects with `connect(nullptr, ...)`, asks `failed`, disconnects.
template <typename Check>
bool connectsWith(const char* library, const char* connectName, const char* disconnectName,
                  Check failed) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    using Disconnect = void (*)(void*);
    void* connect = dlsym(handle, connectName);
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(handle, disconnectName));
    bool reachable = false;
    if (connect && disconnect) {
        void* connection = failed.connect(connect);
        reachable = connection && !failed(handle, connection);
        if (connection) disconnect(connection);
    }
    dlclose(handle);
    return reachable;
}

struct XcbCheck {
    void* connect(void* fn) const {
        return reinterpret_cast<void* (*)(const char*, int*)>(fn)(nullptr, nullptr);
    }
    // xcb_connect always gives a connection object; its error state tells the outcome.
    bool operator()(void* handle, void* connection) const {
        auto hasError = reinterpret_cast<int (*)(void*)>(dlsym(handle, "xcb_connection_has_error"));
        return !hasError || hasError(connection) != 0;
    }
};

struct WaylandCheck {
    void* connect(void* fn) const { return reinterpret_cast<void* (*)(const char*)>(fn)(nullptr); }
    bool operator()(void*, void*) const { return false; }
};

}  // namespace

bool xDisplayReachable() {
    return connectsWith("libxcb.so.1", "xcb_connect", "xcb_disconnect", XcbCheck{});
}

bool waylandDisplayReachable() {
    return connectsWith("libwayland-client.so.0", "wl_display_connect", "wl_display_disconnect",
                        WaylandCheck{});
}

}  // namespace tov::rdi
