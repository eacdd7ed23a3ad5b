// The interface between libtovrdi.so and its Qt module (libtovrdi_qt.so), which the library
// loads with dlopen the first time the configuration dialog or a Qt event pass is wanted, so that
// a debugger that never opens the dialog maps no Qt at all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tov::rdi {

class ConfigDialogModel;

// File name of the module, looked for in the folder of the library itself.
inline constexpr const char* kDialogModuleFile = "libtovrdi_qt.so";
// The symbol the module exports, and the interface version both sides must agree on.
inline constexpr const char* kDialogModuleEntry = "tovrdi_dialog_module";
inline constexpr uint32_t kDialogModuleVersion = 1;

struct DialogModule {
    uint32_t version;
    // Shows the dialog over the model: 1 confirmed, 0 cancelled, -1 when no dialog can be shown
    // in this process, with the reason written into `why` (NUL-terminated, cut to `whySize`).
    int (*showConfigDialog)(ConfigDialogModel* model, void* parent, char* why, size_t whySize);
    // One pass of the Qt event loop when the process has a Qt application on this thread.
    void (*eventPass)();
};

}  // namespace tov::rdi

extern "C" {
using TovRdiDialogModuleEntry = const tov::rdi::DialogModule* (*)();
}
