// The probe requests of a semihosting front end made through the exported TOV_* functions.
#pragma once

#include "semihost/probe_access.h"

namespace tov::semihost {

// Each request is the TOV_* function of the same name on the library's one connection.
class ApiRequests : public ProbeRequests {
public:
    int32_t start() override;
    int32_t halt() override;
    int32_t state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) override;
    int32_t registerGet(uint16_t count, const RegisterDescriptor* registers,
                        uint32_t* values) override;
    int32_t registerSet(uint16_t count, const RegisterDescriptor* registers,
                        const int32_t* values) override;
    int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) override;
    int32_t memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) override;
};

}  // namespace tov::semihost
