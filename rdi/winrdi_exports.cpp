// The seven exported WinRDI entry points, the procedure vector and the library-wide state they
// keep in the session (version in use, yield callback). Only a code crosses this boundary.
#include <utility>

#include "include/tovrdi.h"
#include "rdi/config_dialog.h"
#include "rdi/procedures.h"

namespace {

namespace tr = tov::rdi;
using tov::link::guardedCall;

// The version the library starts at, and the one it switches to when the debugger knows it.
constexpr int kBaseVersion = 150;
constexpr int kNewVersion = 151;
// WinRDI_Config's answer when the dialog cannot be shown.
constexpr int kNoDialog = -1;
constexpr const char* kDescription =
    "Connect the ARM Debugger to the Marvane JTAG Debug Interface (TOV-A/TOV-B).";

// Every entry point runs in the library's guard, what escapes it logged as the procedures log it.
template <typename Result, typename Fn>
Result guardedEntry(Result failure, Fn&& fn) noexcept {
    return guardedCall(failure, std::forward<Fn>(fn), tr::logEscape);
}

const RDI_ProcVec procedureVector = {
    "TOV_RDI_DLL",  tr::openAgent, tr::closeAgent, tr::open,    tr::close,   tr::read,
    tr::write,      tr::cpuRead,   tr::cpuWrite,   tr::cpRead,  tr::cpWrite, tr::setBreak,
    tr::clearBreak, tr::setWatch,  tr::clearWatch, tr::execute, tr::step,    tr::info,
    nullptr,        nullptr,       nullptr,        nullptr,     nullptr,     nullptr,
    nullptr,        nullptr,       nullptr,
};

}  // namespace

extern "C" {

int WinRDI_Valid_RDI_DLL(void) {
    return guardedEntry(1, [] { return 1; });
}

int WinRDI_GetVersion(void) {
    return guardedEntry(kBaseVersion, [] { return tr::session().rdiVersion.load(); });
}

int WinRDI_SetVersion(int version) {
    return guardedEntry(kNewVersion, [&] {
        if (version >= kNewVersion) tr::session().rdiVersion = kNewVersion;
        return kNewVersion;
    });
}

const char* WinRDI_Get_DLL_Description(void) {
    return guardedEntry(kDescription, [] { return kDescription; });
}

void WinRDI_Register_Yield_Callback(WinRDI_YieldProc* callback, WinRDI_YieldArg* arg) {
    guardedCall([&] { tr::session().setYieldCallback(callback, arg); }, tr::logEscape);
}

const RDI_ProcVec* WinRDI_GetRDIProcVec(void) {
    return guardedEntry(&procedureVector, [] { return &procedureVector; });
}

int WinRDI_Config(RDI_ConfigPointer config, void* parent) {
    return guardedEntry(kNoDialog, [&] {
        tr::ConfigDialogModel model;
        model.load(config);
        const int result = tr::showConfigDialog(model, parent);
        if (result == 1) model.store(config);
        return result;
    });
}

}  // extern "C"
