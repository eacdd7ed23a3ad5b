// RDI_SetBreak, RDI_ClearBreak, RDI_SetWatch and RDI_ClearWatch on the probe's points; the
// probe's identifiers are the debugger's point handles.
#include "rdi/procedures.h"

namespace tov::rdi {
namespace {

constexpr unsigned kTypeMask = 0xF;
constexpr uint32_t kBreakKind = 1;
constexpr uint16_t kWatchSized = 0x40;
constexpr uint16_t kWatchMasked = 0x80;
constexpr uint16_t kWatchReads = 0x02;
constexpr uint16_t kWatchWrites = 0x04;
constexpr unsigned kReadTypes = RDIWatch_ByteRead | RDIWatch_HalfRead | RDIWatch_WordRead;
constexpr unsigned kWriteTypes = RDIWatch_ByteWrite | RDIWatch_HalfWrite | RDIWatch_WordWrite;
// The library's and the probe's invalid-parameter codes: the probe knows no such point.
constexpr int32_t kInvalidParameter = -1202;
constexpr int32_t kProbeInvalidParameter = -2102;

// The access size a sized watchpoint covers, by the RDI data type.
uint32_t watchSize(unsigned dataType) {
    switch (dataType) {
        case 1: case 8: case 9: return 1;
        case 2: case 16: case 18: return 2;
        case 4: case 32: case 36: return 4;
        default: return 0;
    }
}

// The answer of an add request: a non-negative identifier is the handle.
int pointAdded(RdiSession& s, int32_t answer, RDI_PointHandle* handle) {
    if (answer >= 0) {
        if (handle) *handle = static_cast<RDI_PointHandle>(answer);
        s.traceExitValue(0, answer);
        return RDIError_NoError;
    }
    if (handle) *handle = static_cast<RDI_PointHandle>(-1);
    s.traceExit(answer);
    return s.mapError(answer);
}

// The answer of a delete request: a handle the probe does not know is no such point.
int pointDeleted(RdiSession& s, int32_t rc) {
    s.traceExit(rc);
    if (rc == kInvalidParameter || rc == kProbeInvalidParameter) return RDIError_NoSuchPoint;
    return s.mapError(rc);
}

}  // namespace

int setBreak(RDI_ModuleHandle, ARMword address, unsigned type, ARMword, RDI_ThreadHandle,
             RDI_PointHandle* handle) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_SetBreak(addr=0x%08lX, type=0x%02X)", static_cast<unsigned long>(address),
                type);
        if ((type & kTypeMask) != RDIPoint_EQ) return RDIError_UnimplementedType;
        const uint32_t at = (type & RDIPoint_16Bit) ? (address | 1u) : address;
        return pointAdded(s, s.connection().target().breakAdd(at, kBreakKind), handle);
    });
}

int clearBreak(RDI_ModuleHandle, RDI_PointHandle handle) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_ClearBreak(%u)", static_cast<unsigned>(handle));
        return pointDeleted(s, s.connection().target().breakDelete(static_cast<int32_t>(handle)));
    });
}

int setWatch(RDI_ModuleHandle, ARMword address, unsigned type, unsigned dataType, ARMword bound,
             RDI_ThreadHandle, RDI_PointHandle* handle) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_SetWatch(addr=0x%08lX, bound=0x%08lX, type=0x%02X, datatype=0x%02X)",
                static_cast<unsigned long>(address), static_cast<unsigned long>(bound), type,
                dataType);
        uint16_t mode = 0;
        uint32_t extent = 0;
        if ((type & kTypeMask) == RDIPoint_EQ) {
            mode = kWatchSized;
            extent = watchSize(dataType);
        } else if ((type & kTypeMask) == RDIPoint_MASK) {
            mode = kWatchMasked;
            extent = bound;
        } else {
            s.log(" => FAILED (UnimplementedType)\n");
            return RDIError_UnimplementedType;
        }
        if (dataType & kReadTypes) mode |= kWatchReads;
        if (dataType & kWriteTypes) mode |= kWatchWrites;
        return pointAdded(s, s.connection().target().watchAdd(mode, address, extent, 1, 0),
                          handle);
    });
}

int clearWatch(RDI_ModuleHandle, RDI_PointHandle handle) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_ClearWatch(%u)", static_cast<unsigned>(handle));
        return pointDeleted(s, s.connection().target().watchDelete(static_cast<int32_t>(handle)));
    });
}

}  // namespace tov::rdi
