// RDI_Info: the settings, the module description and the download bracket.
#include <cstring>

#include "rdi/procedures.h"

namespace tov::rdi {
namespace {

constexpr ARMword kPreferredWrite = RDI_ModuleRecord::kBufferSize;

// The module description the debugger asks for with RDIInfo_Modules.
void describeModule(ARMword* record, RDI_ModuleRecord* module) {
    auto* bytes = reinterpret_cast<uint8_t*>(record);
    std::memcpy(bytes, "ARM", 4);
    std::memcpy(bytes + 8, "ARM1", 5);
    const uint32_t noVector = 0;
    std::memcpy(bytes + 16, &noVector, sizeof noVector);
    std::memcpy(bytes + 20, &module, sizeof module);
}

int settings(RdiSession& s, unsigned type, ARMword* arg1, ARMword* arg2) {
    RDI_ModuleRecord& m = s.module();
    switch (type) {
        case RDIInfo_Modules:
            if (*arg1 != 0 && arg2) describeModule(arg2, &m);
            *arg1 = 1;
            return RDIError_NoError;
        case RDIInfo_DownloadBlockSize: *arg1 = kPreferredWrite; return RDIError_NoError;
        case RDIInfo_GetCacheSelected: *arg1 = static_cast<ARMword>(s.cp15.cacheSelected); return 0;
        case RDIInfo_SetCacheSelected: s.cp15.cacheSelected = static_cast<int>(*arg1); return 0;
        case RDIInfo_GetMemoryArea: *arg1 = static_cast<ARMword>(s.cp15.memoryArea); return 0;
        case RDIInfo_SetMemoryArea: s.cp15.memoryArea = static_cast<int>(*arg1); return 0;
        case RDIInfo_GetByteSex: *arg1 = static_cast<ARMword>(s.byteSex); return 0;
        case RDIInfo_SetByteSex:
            s.byteSex = static_cast<int>(*arg1);
            s.bigEndian = *arg1 == 1;
            return RDIError_NoError;
        case RDIInfo_GetLog: *arg1 = static_cast<ARMword>(s.callLog.load()); return 0;
        case RDIInfo_SetLog: s.callLog = static_cast<int>(*arg1); return 0;
        default: return RDIError_UnimplementedMessage;
    }
}

}  // namespace

int info(void*, unsigned type, ARMword* arg1, ARMword* arg2) {
    RdiSession& s = session();
    if (!s.isOpen()) return RDIError_NotInitialised;
    ARMword scratch = 0;
    if (!arg1) arg1 = &scratch;
    s.trace("RDI_Info(%u, 0x%08lX)", type, static_cast<unsigned long>(*arg1));
    if (type == RDIInfo_BeginDownload || type == RDIInfo_EndDownload) {
        return withSession([&](RdiSession& locked) {
            int32_t rc = 0;
            if (type == RDIInfo_BeginDownload) {
                rc = locked.beginDownload();
            } else {
                locked.endDownload();
                rc = locked.module().downloadResult;
                *arg1 = 0;
            }
            const int result = locked.mapError(rc);
            locked.traceExitValue(rc, result);
            return result;
        });
    }
    return guarded([&] {
        const int result = settings(s, type, arg1, arg2);
        s.trace(" => (%i)\n", result);
        return result;
    });
}

}  // namespace tov::rdi
