// Probe requests for the semihosting front end through the exported API.
#include "semihost/api_requests.h"

namespace tov::semihost {

int32_t ApiRequests::start() {
    return TOV_TargetStart();
}

int32_t ApiRequests::halt() {
    return TOV_TargetHalt();
}

int32_t ApiRequests::state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) {
    uint32_t value = 0;
    return TOV_StateGet(&state, &error, &value, &count, values);
}

int32_t ApiRequests::registerGet(uint16_t count, const RegisterDescriptor* registers,
                                 uint32_t* values) {
    return TOV_RegisterGet(count, registers, values);
}

int32_t ApiRequests::registerSet(uint16_t count, const RegisterDescriptor* registers,
                                 const int32_t* values) {
    return TOV_RegisterSet(count, registers, values);
}

int32_t ApiRequests::memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) {
    return TOV_MemoryRead(address, 0, count, buffer);
}

int32_t ApiRequests::memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) {
    return TOV_MemoryWrite(address, 0, count, data);
}

}  // namespace tov::semihost
