// The widget application the dialog runs in: the debugger's own, or one made on a platform
// that was checked beforehand, so that Qt never meets a display it cannot reach.
#include <QApplication>
#include <QLibraryInfo>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "rdi/display_probe.h"
#include "rdi/platform_choice.h"
#include "rdi/qt_module.h"

namespace tov::rdi {
namespace {

// The folders Qt looks in for platform plugins, in its order.
std::vector<std::filesystem::path> pluginFolders() {
    std::vector<std::filesystem::path> folders;
    if (const char* path = std::getenv("QT_QPA_PLATFORM_PLUGIN_PATH"); path && *path) {
        folders.emplace_back(path);
    }
    if (const char* paths = std::getenv("QT_PLUGIN_PATH"); paths && *paths) {
        std::string text(paths);
        for (size_t start = 0; start <= text.size();) {
            size_t end = text.find(':', start);
            if (end == std::string::npos) end = text.size();
            if (end > start) folders.emplace_back(text.substr(start, end - start) + "/platforms");
            start = end + 1;
        }
    }
    folders.emplace_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() +
                         "/platforms");
    return folders;
}

bool pluginInstalled(const std::string& name) {
    std::vector<std::string> files = {"libq" + name + ".so"};
    if (name.rfind("wayland", 0) == 0) {
        files.insert(files.end(), {"libqwayland-generic.so", "libqwayland-egl.so"});
    }
    std::error_code error;
    for (const auto& folder : pluginFolders()) {
        for (const auto& file : files) {
            if (std::filesystem::exists(folder / file, error)) return true;
        }
    }
    return false;
}

bool waylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (session && std::string(session) == "wayland");
}

}  // namespace

QApplication* dialogApplication(std::string& why) {
    if (QCoreApplication* existing = QCoreApplication::instance()) {
        auto* widgets = qobject_cast<QApplication*>(existing);
        if (!widgets) why = "the process has a Qt application without widgets";
        return widgets;
    }
    const PlatformProbes probes{xDisplayReachable, waylandDisplayReachable, pluginInstalled};
    const PlatformChoice choice =
        choosePlatform(std::getenv("QT_QPA_PLATFORM"), waylandSession(), probes);
    if (choice.platform.empty()) {
        why = choice.reason;
        return nullptr;
    }
    // The checked platform is named on the command line, which Qt prefers to QT_QPA_PLATFORM.
    // Kept for the life of the process: the debugger may show the dialog again.
    static char platform[256];
    if (choice.platform.size() >= sizeof platform) {
        why = "QT_QPA_PLATFORM entry too long";
        return nullptr;
    }
    std::memcpy(platform, choice.platform.c_str(), choice.platform.size() + 1);
    static int argc = 3;
    static char name[] = "tovrdi";
    static char option[] = "-platform";
    static char* argv[] = {name, option, platform, nullptr};
    return new QApplication(argc, argv);
}

}  // namespace tov::rdi
