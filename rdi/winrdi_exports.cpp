// The seven exported WinRDI entry points, the procedure vector and the library-wide state they
// keep in the session (version in use, yield callback). Only a code crosses this boundary.
#include "include/tovrdi.h"
#include "rdi/config_dialog.h"
#include "rdi/procedures.h"

namespace {

namespace tr = tov::rdi;

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
    return 1;
}

int WinRDI_GetVersion(void) {
    return tr::session().rdiVersion;
}

int WinRDI_SetVersion(int version) {
    if (version >= 151) tr::session().rdiVersion = 151;
    return 151;
}

const char* WinRDI_Get_DLL_Description(void) {
    return "Connect the ARM Debugger to the Marvane JTAG Debug Interface (TOV-A/TOV-B).";
}

void WinRDI_Register_Yield_Callback(WinRDI_YieldProc* callback, WinRDI_YieldArg* arg) {
    tr::session().setYieldCallback(callback, arg);
}

const RDI_ProcVec* WinRDI_GetRDIProcVec(void) {
    return &procedureVector;
}

int WinRDI_Config(RDI_ConfigPointer config, void* parent) {
    try {
        tr::ConfigDialogModel model;
        model.load(config);
        const int result = tr::showConfigDialog(model, parent);
        if (result == 1) model.store(config);
        return result;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
