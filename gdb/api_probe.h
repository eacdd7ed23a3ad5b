// The GDB server's probe over the exported TOV_* API, kept apart from the session so that the
// server's core links without the library.
#pragma once

#include "gdb/probe.h"
#include "semihost/api_requests.h"

namespace tov::gdb {

// The probe behind the library's one connection.
class ApiProbe : public Probe {
public:
    int32_t start() override { return requests_.start(); }
    int32_t halt() override { return requests_.halt(); }
    int32_t state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) override {
        return requests_.state(state, error, count, values);
    }
    int32_t registerGet(uint16_t count, const RegisterDescriptor* registers,
                        uint32_t* values) override {
        return requests_.registerGet(count, registers, values);
    }
    int32_t registerSet(uint16_t count, const RegisterDescriptor* registers,
                        const int32_t* values) override {
        return requests_.registerSet(count, registers, values);
    }
    int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) override {
        return requests_.memoryRead(address, count, buffer);
    }
    int32_t memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) override {
        return requests_.memoryWrite(address, count, data);
    }
    int32_t step(uint32_t& pc) override;
    int32_t reset() override;
    int32_t breakAdd(uint32_t address) override;
    int32_t breakDelete(int32_t id) override;
    int32_t watchAdd(uint16_t mode, uint32_t address, uint32_t size) override;
    int32_t watchDelete(int32_t id) override;
    int32_t directCommand(const std::string& text, std::string& reply) override;
    int32_t fpRegGet(uint16_t first, uint16_t last, uint8_t* data) override;
    int32_t fpRegSet(uint16_t first, uint16_t last, const uint8_t* data) override;
    std::string errorText(int32_t code) override;

private:
    semihost::ApiRequests requests_;
};

}  // namespace tov::gdb
