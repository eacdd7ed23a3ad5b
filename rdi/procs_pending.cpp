// The execution procedures' places in the vector: until run control is served they answer
// that the message is not implemented, so a debugger falls back instead of hanging.
#include "rdi/procedures.h"

namespace tov::rdi {

int setBreak(RDI_ModuleHandle, ARMword, unsigned, ARMword, RDI_ThreadHandle, RDI_PointHandle*) {
    return RDIError_UnimplementedMessage;
}

int clearBreak(RDI_ModuleHandle, RDI_PointHandle) {
    return RDIError_UnimplementedMessage;
}

int setWatch(RDI_ModuleHandle, ARMword, unsigned, unsigned, ARMword, RDI_ThreadHandle,
             RDI_PointHandle*) {
    return RDIError_UnimplementedMessage;
}

int clearWatch(RDI_ModuleHandle, RDI_PointHandle) {
    return RDIError_UnimplementedMessage;
}

int execute(RDI_AgentHandle, RDI_ModuleHandle*, int, RDI_PointHandle*) {
    return RDIError_UnimplementedMessage;
}

int step(RDI_AgentHandle, RDI_ModuleHandle*, int, unsigned, RDI_PointHandle*) {
    return RDIError_UnimplementedMessage;
}

}  // namespace tov::rdi
