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
        case RDIInfo_DownloadBlockSize:
            *arg1 = kPreferredWrite;
            return RDIError_NoError;
        case RDIInfo_GetCacheSelected:
            *arg1 = static_cast<ARMword>(s.cp15.cacheSelected);
            return 0;
        case RDIInfo_SetCacheSelected:
            s.cp15.cacheSelected = static_cast<int>(*arg1);
            return 0;
        case RDIInfo_GetMemoryArea:
            *arg1 = static_cast<ARMword>(s.cp15.memoryArea);
            return 0;
        case RDIInfo_SetMemoryArea:
            s.cp15.memoryArea = static_cast<int>(*arg1);
            return 0;
        case RDIInfo_GetByteSex:
            *arg1 = static_cast<ARMword>(s.byteSex);
            return 0;
        case RDIInfo_SetByteSex:
            s.byteSex = static_cast<int>(*arg1);
            s.bigEndian = *arg1 == 1;
            return RDIError_NoError;
        case RDIInfo_GetLog:
            *arg1 = static_cast<ARMword>(s.callLog.load());
            return 0;
        case RDIInfo_SetLog:
            s.callLog = static_cast<int>(*arg1);
            return 0;
        default:
            return RDIError_UnimplementedMessage;
    }
}

}  // namespace

// The two argument items of an information log line: A1, and the first word of A2.
void traceArguments(RdiSession& s, const ARMword* arg1, const ARMword* arg2) {
    if (arg1)
        s.trace("0x%08lX, ", static_cast<unsigned long>(*arg1));
    else
        s.trace("NULL, ");
    if (arg2)
        s.trace("0x%08lX)", static_cast<unsigned long>(*arg2));
    else
        s.trace("NULL)");
}

int info(void*, unsigned type, ARMword* arg1, ARMword* arg2) {
    RdiSession& s = session();
    if (!s.isOpen()) return RDIError_NotInitialised;
    s.trace("RDI_Info(%u, ", type);
    traceArguments(s, arg1, arg2);
    // Codes that write A1 write into a scratch word when the debugger passed none.
    ARMword scratch = 0;
    ARMword* word = arg1 ? arg1 : &scratch;
    int result;
    if (type == RDIInfo_BeginDownload || type == RDIInfo_EndDownload) {
        result = withSession([&](RdiSession& locked) {
            int32_t rc = 0;
            if (type == RDIInfo_BeginDownload) {
                rc = locked.beginDownload();
            } else {
                locked.endDownload();
                rc = locked.module().downloadResult;
                *word = 0;
            }
            return locked.mapError(rc);
        });
    } else {
        result = guarded([&] { return settings(s, type, word, arg2); });
    }
    s.trace(" => (%i, ", result);
    traceArguments(s, arg1, arg2);
    s.trace("\n");
    return result;
}

}  // namespace tov::rdi
