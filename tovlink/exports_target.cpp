// Exported target access functions: argument checks and calls into the target requests.
#include "include/tovlink.h"
#include "link/error_codes.h"
#include "tovlink/export_guard.h"
#include "tovlink/link_state.h"

using tov::lib::guarded;
using tov::lib::targetLink;
namespace tl = tov::link;

namespace {

// Null output or input pointers are refused instead of crashing the caller's process.
constexpr int32_t kBadPointer = tl::kInvalidParameter;

}  // namespace

extern "C" {

int32_t TOV_TargetStart(void) {
    return guarded([&] { return targetLink().start(); });
}

int32_t TOV_TargetHalt(void) {
    return guarded([&] { return targetLink().halt(); });
}

int32_t TOV_TargetReset(void) {
    return guarded([&] { return targetLink().reset(0); });
}

int32_t TOV_TargetReset2(uint16_t value) {
    return guarded([&] { return targetLink().reset(value); });
}

int32_t TOV_TargetStep(uint32_t first, uint32_t second, uint16_t third, uint32_t* result) {
    return guarded([&] {
        if (!result) return kBadPointer;
        return targetLink().step(first, second, third, *result);
    });
}

int32_t TOV_StateGet(uint16_t* state, int32_t* error, uint32_t* value, uint16_t* valueCount,
                     uint32_t* values) {
    return guarded([&] {
        if (!state || !error || !value || !valueCount || (*valueCount > 0 && !values)) {
            return kBadPointer;
        }
        return targetLink().state(*state, *error, *value, *valueCount, values);
    });
}

int32_t TOV_TargetStartup(uint16_t value, uint32_t parameter, uint16_t entryCount,
                          const StartupEntry* entries) {
    return guarded([&] {
        if (entryCount > 0 && !entries) return kBadPointer;
        return targetLink().startup(value, parameter, entryCount, entries);
    });
}

int32_t TOV_InfoGet(TargetInfo* info) {
    return guarded([&] {
        if (!info) return kBadPointer;
        return targetLink().info(*info);
    });
}

int32_t TOV_SetBdmSpeed(uint32_t speed) {
    return guarded([&] { return targetLink().setBdmSpeed(speed); });
}

int32_t TOV_RegisterGet(uint16_t count, const RegisterDescriptor* registers, uint32_t* values) {
    return guarded([&] {
        if (count > 0 && (!registers || !values)) return kBadPointer;
        return targetLink().registerGet(count, registers, values);
    });
}

int32_t TOV_RegisterSet(uint16_t count, const RegisterDescriptor* registers,
                        const int32_t* values) {
    return guarded([&] {
        if (count > 0 && (!registers || !values)) return kBadPointer;
        return targetLink().registerSet(count, registers, values);
    });
}

int32_t TOV_FPRegGet(uint16_t first, uint16_t last, uint8_t* data) {
    return guarded([&] {
        if (!data) return kBadPointer;
        return targetLink().fpRegGet(first, last, data);
    });
}

int32_t TOV_FPRegSet(uint16_t first, uint16_t last, const uint8_t* data) {
    return guarded([&] {
        if (!data) return kBadPointer;
        return targetLink().fpRegSet(first, last, data);
    });
}

int32_t TOV_VRegGet(uint16_t first, uint16_t last, uint8_t* data) {
    return guarded([&] {
        if (!data) return kBadPointer;
        return targetLink().vRegGet(first, last, data);
    });
}

int32_t TOV_VRegSet(uint16_t first, uint16_t last, const uint8_t* data) {
    return guarded([&] {
        if (!data) return kBadPointer;
        return targetLink().vRegSet(first, last, data);
    });
}

int32_t TOV_MemoryRead(uint32_t address, uint16_t access, uint16_t count, uint8_t* buffer) {
    return guarded([&] {
        if (count > 0 && !buffer) return kBadPointer;
        return targetLink().memoryRead(address, access, count, buffer);
    });
}

int32_t TOV_MemoryWrite(uint32_t address, uint16_t access, uint16_t count, const uint8_t* data) {
    return guarded([&] {
        if (count > 0 && !data) return kBadPointer;
        return targetLink().memoryWrite(address, access, count, data);
    });
}

int32_t TOV_GetByte(uint32_t address, uint8_t* value) {
    return guarded([&] {
        if (!value) return kBadPointer;
        uint32_t v = 0;
        int32_t rc = targetLink().getItem(address, 1, v);
        if (rc == 0) *value = static_cast<uint8_t>(v);
        return rc;
    });
}

int32_t TOV_GetWord(uint32_t address, uint16_t* value) {
    return guarded([&] {
        if (!value) return kBadPointer;
        uint32_t v = 0;
        int32_t rc = targetLink().getItem(address, 2, v);
        if (rc == 0) *value = static_cast<uint16_t>(v);
        return rc;
    });
}

int32_t TOV_GetLong(uint32_t address, uint32_t* value) {
    return guarded([&] {
        if (!value) return kBadPointer;
        return targetLink().getItem(address, 4, *value);
    });
}

int32_t TOV_SetByte(uint32_t address, uint8_t value) {
    return guarded([&] { return targetLink().setItem(address, 1, value); });
}

int32_t TOV_SetWord(uint32_t address, uint16_t value) {
    return guarded([&] { return targetLink().setItem(address, 2, value); });
}

int32_t TOV_SetLong(uint32_t address, uint32_t value) {
    return guarded([&] { return targetLink().setItem(address, 4, value); });
}

int32_t TOV_BreakAdd(uint32_t address, uint32_t kind) {
    return guarded([&] { return targetLink().breakAdd(address, kind); });
}

int32_t TOV_BreakRead(uint16_t identifier, uint32_t* value) {
    return guarded([&] {
        if (!value) return kBadPointer;
        return targetLink().breakRead(identifier, *value);
    });
}

int32_t TOV_BreakDelete(int32_t identifier) {
    return guarded([&] { return targetLink().breakDelete(identifier); });
}

int32_t TOV_WatchAdd(uint16_t mode, uint32_t address, uint32_t bound, uint32_t third,
                     uint32_t fourth) {
    return guarded([&] { return targetLink().watchAdd(mode, address, bound, third, fourth); });
}

int32_t TOV_WatchDelete(int32_t identifier) {
    return guarded([&] { return targetLink().watchDelete(identifier); });
}

int32_t TOV_TerminalRead(char* text) {
    return guarded([&] {
        if (!text) return kBadPointer;
        return targetLink().terminalRead(text);
    });
}

int32_t TOV_TerminalWrite(uint8_t character) {
    return guarded([&] { return targetLink().terminalWrite(character); });
}

int32_t TOV_ChannelRead(uint16_t channel, uint16_t count, uint8_t* buffer) {
    return guarded([&] {
        if (count > 0 && !buffer) return kBadPointer;
        return targetLink().channelRead(channel, count, buffer);
    });
}

int32_t TOV_ChannelWrite(uint16_t channel, uint16_t count, const uint8_t* data) {
    return guarded([&] {
        if (count > 0 && !data) return kBadPointer;
        return targetLink().channelWrite(channel, count, data);
    });
}

int32_t TOV_DirectCommand(const char* command, uint16_t capacity, char* reply) {
    return guarded([&] {
        if (!command || (capacity > 0 && !reply)) return kBadPointer;
        return targetLink().directCommand(command, capacity, reply);
    });
}

}  // extern "C"
