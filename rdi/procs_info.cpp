// RDI_Info: capabilities, the library's settings, the stop request, coprocessor descriptions
// and the download bracket. Codes that talk to the probe take the session lock; the others
// touch settings only, so that the stop request gets through while a program runs.
#include <cstring>
#include <optional>
#include <string>

#include "rdi/coprocessor_descriptions.h"
#include "rdi/procedures.h"

namespace tov::rdi {
namespace {

constexpr ARMword kPreferredWrite = RDI_ModuleRecord::kBufferSize;
constexpr ARMword kLevelMask = 0x700;
constexpr ARMword kHighestLevel = 0x100;
constexpr ARMword kTargetDescription = 0x01009010;
constexpr ARMword kPointCapabilities = 0x1FC;
constexpr ARMword kStepCapabilities = 4;
constexpr uint16_t kHalted = 1, kRunning = 2, kError = 3;
constexpr uint16_t kStateValues = 10;
constexpr RegisterDescriptor kSemihostingVector = {600, 8101};
constexpr RegisterDescriptor kVectorCatch = {600, 8102};

// The module description the debugger asks for with RDIInfo_Modules, laid out as the header
// declares it; copied whole, since the debugger's record need not be aligned for it.
void describeModule(ARMword* record, RDI_ModuleRecord* module) {
    RDI_ModuleDesc description = {};
    std::memcpy(description.type, "ARM", 4);
    std::memcpy(description.name, "ARM1", 5);
    description.rdi = nullptr;
    description.handle = module;
    std::memcpy(record, &description, sizeof description);
}

int coprocessorDescription(RdiSession& s, ARMword coprocessor, ARMword* record) {
    const auto ranges = coprocessorRanges(coprocessor, s.module().info.cpuType);
    if (ranges.empty()) return RDIError_UnknownCoPro;
    if (record) {
        const std::vector<uint8_t> bytes = coprocessorRecord(ranges);
        std::memcpy(record, bytes.data(), bytes.size());
    }
    return RDIError_NoError;
}

// The codes that only read or write the library's own state.
int settings(RdiSession& s, unsigned type, ARMword* arg1, ARMword* arg2, const void* text) {
    RDI_ModuleRecord& m = s.module();
    switch (type) {
        case RDIInfo_Target:
            if ((*arg1 & kLevelMask) > kHighestLevel) return RDIError_IncompatibleRDILevels;
            *arg1 = kTargetDescription;
            if (arg2) *arg2 = 0;
            return 0;
        case RDIInfo_Points:
            *arg1 = kPointCapabilities;
            return 0;
        case RDIInfo_Step:
            *arg1 = kStepCapabilities;
            return 0;
        case RDIInfo_SemiHosting:
        case RDIInfo_CoPro:
        case RDIInfo_Icebreaker:
        case 0x20:
        case 0x21:
        case 0x22:
        case 0x23:
        case RDIInfo_Nothing:
            return 0;
        case RDIInfo_SetTopMem:
            s.semihosting().setTopOfMemory(*arg1);
            return 0;
        case RDIInfo_Modules:
            if (*arg1 != 0 && arg2) describeModule(arg2, &m);
            *arg1 = 1;
            return 0;
        case RDISignal_Stop:
            s.stopRequest = true;
            return 0;
        case RDISemiHosting_GetState:
            *arg1 = static_cast<ARMword>(s.semihostingState);
            return 0;
        case RDISemiHosting_GetVector:
            *arg1 = s.semihostingVector;
            return 0;
        case RDIInfo_DownloadBlockSize:
            *arg1 = kPreferredWrite;
            return 0;
        case RDIInfo_GetAddressSetting:
            *arg1 = s.addressSetting;
            return 0;
        case RDIInfo_SetAddressSetting:
            s.addressSetting = *arg1;
            return 0;
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
        case RDISet_Cmdline: {
            // Only as much of the text is read as the command line holds.
            const char* line = static_cast<const char*>(text);
            const size_t length = line ? strnlen(line, semihost::Service::kMaxCommandLine) : 0;
            s.semihosting().setCommandLine(std::string(line ? line : "", length));
            return 0;
        }
        case RDIInfo_GetByteSex:
            *arg1 = static_cast<ARMword>(s.byteSex);
            return 0;
        case RDIInfo_SetByteSex:
            s.byteSex = static_cast<int>(*arg1);
            s.bigEndian = *arg1 == 1;
            return 0;
        case RDIInfo_RequestCoProDesc:
            s.trace(" RequestCoProDesc");
            return coprocessorDescription(s, *arg1, arg2);
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

int canExecute(RdiSession& s) {
    uint16_t state = 0;
    int32_t error = 0;
    uint32_t value = 0;
    uint16_t count = kStateValues;
    uint32_t values[kStateValues] = {};
    const int32_t rc = s.connection().target().state(state, error, value, count, values);
    if (rc != 0) return s.mapError(rc);
    switch (state) {
        case kHalted:
            return 0;
        case kRunning:
            return RDIError_TargetRunning;
        case kError:
            return s.mapError(static_cast<int16_t>(error));
        default:
            return RDIError_TargetBroken;
    }
}

// The semihosting vector as the probe knows it: 0 while semihosting is off.
int32_t writeSemihosting(RdiSession& s) {
    const int32_t vector = s.semihostingState == 1 ? static_cast<int32_t>(s.semihostingVector) : 0;
    return s.connection().target().registerSet(1, &kSemihostingVector, &vector);
}

// The codes that talk to the probe, with the lock held; nothing when `type` is not one.
std::optional<int> probeCode(RdiSession& s, unsigned type, ARMword* arg1) {
    target::TargetLink& target = s.connection().target();
    switch (type) {
        case RDIInfo_CanTargetExecute:
            return canExecute(s);
        case RDIInfo_ForceSystemReset: {
            const int32_t rc = target.reset(0);
            s.module().downloadActive = false;
            return s.mapError(rc);
        }
        case RDIVector_Catch: {
            if ((s.module().info.cpuType >> 8) == 0x87) return RDIError_UnimplementedMessage;
            const int32_t caught = static_cast<int32_t>(*arg1 & 0xFF);
            return s.mapError(target.registerSet(1, &kVectorCatch, &caught));
        }
        case RDISemiHosting_SetState:
            s.semihostingState = static_cast<int>(*arg1);
            return s.mapError(writeSemihosting(s));
        case RDISemiHosting_SetVector:
            s.semihostingVector = *arg1;
            return s.mapError(writeSemihosting(s));
        case RDIInfo_BeginDownload:
            return s.mapError(s.beginDownload());
        case RDIInfo_EndDownload:
            s.endDownload();
            *arg1 = 0;
            return s.mapError(s.module().downloadResult);
        default:
            return std::nullopt;
    }
}

bool isProbeCode(unsigned type) {
    switch (type) {
        case RDIInfo_CanTargetExecute:
        case RDIInfo_ForceSystemReset:
        case RDIVector_Catch:
        case RDISemiHosting_SetState:
        case RDISemiHosting_SetVector:
        case RDIInfo_BeginDownload:
        case RDIInfo_EndDownload:
            return true;
        default:
            return false;
    }
}

}  // namespace

// The two argument items of an information log line: A1 (the text itself for the command line
// request, which passes a text), and the first word of A2.
void logArguments(RdiSession& s, unsigned type, const ARMword* arg1, const ARMword* arg2) {
    if (arg1 && type == RDISet_Cmdline) {
        const char* text = reinterpret_cast<const char*>(arg1);
        s.log("\"%.*s\", ", static_cast<int>(strnlen(text, semihost::Service::kMaxCommandLine)),
              text);
    } else if (arg1) {
        s.log("0x%08lX, ", static_cast<unsigned long>(*arg1));
    } else {
        s.log("NULL, ");
    }
    if (arg2)
        s.log("0x%08lX)", static_cast<unsigned long>(*arg2));
    else
        s.log("NULL)");
}

int info(void*, unsigned type, ARMword* arg1, ARMword* arg2) {
    return guarded([&] {
        RdiSession& s = session();
        if (!s.isOpen()) return RDIError_NotInitialised;
        // The exit line completes the entry line: both are written or neither, also when this
        // very call switches the call log on or off.
        const bool logging = s.callLog != 0;
        if (logging) {
            s.log("RDI_Info(%u, ", type);
            logArguments(s, type, arg1, arg2);
        }
        // The command line request passes its text, not a word, as argument 1. Codes that
        // write A1 write into a scratch word when the debugger passed none.
        const bool textArgument = type == RDISet_Cmdline;
        ARMword scratch = 0;
        ARMword* word = arg1 && !textArgument ? arg1 : &scratch;
        int result;
        if (isProbeCode(type)) {
            if (logging && type == RDIInfo_CanTargetExecute) s.log(" CanTargetExecute");
            if (logging && type == RDIInfo_ForceSystemReset) s.log(" ForceSystemReset");
            result =
                withSession([&](RdiSession& locked) { return *probeCode(locked, type, word); });
        } else {
            result = guarded([&] { return settings(s, type, word, arg2, arg1); });
        }
        if (logging) {
            s.log(" => (%i, ", result);
            logArguments(s, type, arg1, arg2);
            s.log("\n");
        }
        return result;
    });
}

}  // namespace tov::rdi
