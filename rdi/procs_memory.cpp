// RDI_Read, RDI_Write, RDI_CPURead, RDI_CPUWrite, RDI_CPRead and RDI_CPWrite.
#include <algorithm>

#include "link/error_codes.h"
#include "rdi/procedures.h"

namespace tov::rdi {
namespace {

// The memory requests take a 16-bit count; longer transfers go in pieces of whole blocks.
constexpr uint32_t kMemoryPiece = 0xFC00;

template <typename Transfer>
int32_t inPieces(uint32_t count, Transfer transfer) {
    for (uint32_t done = 0; done < count;) {
        const uint32_t piece = std::min(count - done, kMemoryPiece);
        int32_t rc = transfer(done, static_cast<uint16_t>(piece));
        if (rc != 0) return rc;
        done += piece;
    }
    return 0;
}

int finish(RdiSession& s, int32_t rc) {
    const int result = s.mapError(rc);
    s.traceExit(rc);
    return result;
}

}  // namespace

int read(RDI_ModuleHandle, ARMword source, void* dest, unsigned* nbytes, RDI_AccessType type) {
    return withSession([&](RdiSession& s) {
        const unsigned count = nbytes ? *nbytes : 0;
        s.trace("RDI_Read(0x%08lX, %u, %u)", static_cast<unsigned long>(source), count, type);
        if (count > 0 && !dest) return finish(s, link::kInvalidParameter);
        auto* buffer = static_cast<uint8_t*>(dest);
        target::TargetLink& target = s.connection().target();
        const int32_t rc = inPieces(count, [&](uint32_t done, uint16_t piece) {
            return target.memoryRead(source + done, static_cast<uint16_t>(type), piece,
                                     buffer + done);
        });
        return finish(s, rc);
    });
}

int write(RDI_ModuleHandle, const void* source, ARMword dest, unsigned* nbytes,
          RDI_AccessType type) {
    return withSession([&](RdiSession& s) {
        const unsigned count = nbytes ? *nbytes : 0;
        s.trace("RDI_Write(0x%08lX, %u, %u)", static_cast<unsigned long>(dest), count, type);
        if (count > 0 && !source) return finish(s, link::kInvalidParameter);
        const auto* data = static_cast<const uint8_t*>(source);
        if (s.module().downloadActive) return finish(s, s.downloadWrite(dest, data, count));
        target::TargetLink& target = s.connection().target();
        const int32_t rc = inPieces(count, [&](uint32_t done, uint16_t piece) {
            return target.memoryWrite(dest + done, static_cast<uint16_t>(type), piece, data + done);
        });
        return finish(s, rc);
    });
}

int cpuRead(RDI_ModuleHandle, unsigned mode, uint32_t mask, ARMword* state) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_CPURead(%u, 0x%08lX)", mode, static_cast<unsigned long>(mask));
        s.endDownload();
        const RegisterList list = cpuRegisters(mode, mask);
        if (list.count > 0 && !state) return finish(s, link::kInvalidParameter);
        return finish(s, s.connection().target().registerGet(list.count, list.items, state));
    });
}

int cpuWrite(RDI_ModuleHandle, unsigned mode, uint32_t mask, const ARMword* state) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_CPUWrite(%u, 0x%08lX)", mode, static_cast<unsigned long>(mask));
        s.endDownload();
        const RegisterList list = cpuRegisters(mode, mask);
        if (list.count > 0 && !state) return finish(s, link::kInvalidParameter);
        const auto* values = reinterpret_cast<const int32_t*>(state);
        return finish(s, s.connection().target().registerSet(list.count, list.items, values));
    });
}

int cpRead(RDI_ModuleHandle, unsigned cpnum, uint32_t mask, ARMword* state) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_CPRead(%u, 0x%08lX)", cpnum, static_cast<unsigned long>(mask));
        const RegisterList list =
            coprocessorRegisters(cpnum, mask, s.module().info.cpuType, s.cp15);
        if (list.count > 0 && !state) return finish(s, link::kInvalidParameter);
        return finish(s, s.connection().target().registerGet(list.count, list.items, state));
    });
}

int cpWrite(RDI_ModuleHandle, unsigned cpnum, uint32_t mask, const ARMword* state) {
    return withSession([&](RdiSession& s) {
        s.trace("RDI_CPWrite(%u, 0x%08lX)", cpnum, static_cast<unsigned long>(mask));
        const RegisterList list =
            coprocessorRegisters(cpnum, mask, s.module().info.cpuType, s.cp15);
        if (list.count > 0 && !state) return finish(s, link::kInvalidParameter);
        const auto* values = reinterpret_cast<const int32_t*>(state);
        return finish(s, s.connection().target().registerSet(list.count, list.items, values));
    });
}

}  // namespace tov::rdi
