// The one symbol of the Qt module: its interface record. Nothing escapes it but a code.
#include <algorithm>
#include <cstring>
#include <exception>

#include "rdi/dialog_module.h"
#include "rdi/qt_module.h"

namespace tov::rdi {
namespace {

void copyReason(const std::string& text, char* why, size_t whySize) {
    if (!why || whySize == 0) return;
    const size_t length = std::min(text.size(), whySize - 1);
    std::memcpy(why, text.data(), length);
    why[length] = '\0';
}

int show(ConfigDialogModel* model, void* parent, char* why, size_t whySize) noexcept {
    std::string reason;
    int result = -1;
    try {
        result = model ? showConfigDialog(*model, parent, reason) : -1;
    } catch (const std::exception& e) {
        reason = std::string("internal failure: ") + e.what();
    } catch (...) {
        reason = "internal failure";
    }
    if (result == -1) copyReason(reason, why, whySize);
    return result;
}

void eventPass() noexcept {
    try {
        qtEventPass();
    } catch (...) {
        // A failed pass only means the debugger's window was not served this time.
    }
}

const DialogModule kModule = {kDialogModuleVersion, show, eventPass};

}  // namespace
}  // namespace tov::rdi

extern "C" __attribute__((visibility("default"))) const tov::rdi::DialogModule*
tovrdi_dialog_module() {
    return &tov::rdi::kModule;
}
