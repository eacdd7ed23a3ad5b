// Loading the Qt module beside the library on first use, and the dialog and event pass through
// it. The library itself links no Qt.
#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <string>

#include "rdi/config_dialog.h"
#include "rdi/dialog_module.h"
#include "rdi/rdi_session.h"

namespace tov::rdi {
namespace {

std::mutex moduleLock;
const DialogModule* loadedModule = nullptr;

// The module file in the folder this library was loaded from.
std::string modulePath() {
    Dl_info info = {};
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || !info.dli_fname) {
        return kDialogModuleFile;
    }
    const std::string self(info.dli_fname);
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? kDialogModuleFile
                                      : self.substr(0, slash + 1) + kDialogModuleFile;
}

// The module, loaded once; null (with `why`) when it is missing or of another build. It stays
// loaded for the life of the process: Qt cannot leave a process once its application exists,
// and a library loaded again later finds the same module.
const DialogModule* dialogModule(std::string& why) {
    std::lock_guard<std::mutex> hold(moduleLock);
    if (loadedModule) return loadedModule;
    const std::string path = modulePath();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* error = dlerror();
        why = error ? error : path + ": cannot be loaded";
        return nullptr;
    }
    auto entry = reinterpret_cast<TovRdiDialogModuleEntry>(dlsym(handle, kDialogModuleEntry));
    const DialogModule* module = entry ? entry() : nullptr;
    if (!module || module->version != kDialogModuleVersion) {
        why = path + ": not the Qt module of this library";
        return nullptr;
    }
    loadedModule = module;
    return module;
}

// Qt is in the process already (the debugger's own): only then is an event pass worth a module.
bool qtInProcess() {
    void* core = dlopen("libQt6Core.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (core) dlclose(core);
    return core != nullptr;
}

void qtEventPass() {
    static std::atomic<bool> refused{false};
    const DialogModule* module = nullptr;
    {
        std::lock_guard<std::mutex> hold(moduleLock);
        module = loadedModule;
    }
    if (!module) {
        if (refused || !qtInProcess()) return;
        std::string why;
        module = dialogModule(why);
        if (!module) {
            refused = true;
            session().notice("### Error: no Qt event pass: %s\n", why.c_str());
            return;
        }
    }
    module->eventPass();
}

[[maybe_unused]] const bool installed = (session().setEventPass(qtEventPass), true);

}  // namespace

int showConfigDialog(ConfigDialogModel& model, void* parent) {
    std::string why;
    const DialogModule* module = dialogModule(why);
    if (!module) {
        session().notice("### Error: the configuration dialog module is missing: %s\n",
                         why.c_str());
        return -1;
    }
    char reason[512] = {};
    const int result = module->showConfigDialog(&model, parent, reason, sizeof reason);
    if (result == -1) {
        session().notice("### Error: the configuration dialog cannot be shown: %s\n", reason);
    }
    return result;
}

}  // namespace tov::rdi
