// The RDI procedures of the vector, and the guard every one of them runs in.
#pragma once

#include <mutex>
#include <utility>

#include "include/tovrdi.h"
#include "link/c_boundary.h"
#include "rdi/rdi_session.h"

namespace tov::rdi {

// Logs what escaped an entry point, as the failures of the link are logged.
inline void logEscape(const char* what) {
    session().log("### Error: internal failure: %s\n", what);
}

// Nothing escapes a procedure but its code; an exception (memory exhaustion) counts as a link
// failure.
template <typename Fn>
int guarded(Fn&& fn) noexcept {
    return link::guardedCall(int{TOVRDI_LinkError}, std::forward<Fn>(fn), logEscape);
}

// Runs `fn(session)` under the session lock; without an open agent the connection and the lock
// are left alone and the result is RDIError_NotInitialised.
template <typename Fn>
int withSession(Fn&& fn) noexcept {
    return guarded([&] {
        RdiSession& s = session();
        if (!s.isOpen()) return RDIError_NotInitialised;
        std::lock_guard<std::mutex> hold(s.lock());
        return fn(s);
    });
}

RDI_OpenAgentProc openAgent;
RDI_CloseAgentProc closeAgent;
RDI_OpenProc open;
RDI_CloseProc close;
RDI_ReadProc read;
RDI_WriteProc write;
RDI_CPUReadProc cpuRead;
RDI_CPUWriteProc cpuWrite;
RDI_CPReadProc cpRead;
RDI_CPWriteProc cpWrite;
RDI_SetBreakProc setBreak;
RDI_ClearBreakProc clearBreak;
RDI_SetWatchProc setWatch;
RDI_ClearWatchProc clearWatch;
RDI_ExecuteProc execute;
RDI_StepProc step;
RDI_InfoProc info;

}  // namespace tov::rdi
