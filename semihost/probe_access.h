// The semihosting service over a target behind a probe: the few probe requests it needs, the
// target access made of them, and an implementation on a link connection's target requests.
#pragma once

#include <cstdint>

#include "include/tovlink.h"
#include "semihost/target_access.h"

namespace tov::target {
class TargetLink;
}

namespace tov::semihost {

// The probe requests a semihosting front end uses, with the results of the TOV_* functions of
// the same names (0 or a status or error code).
class ProbeRequests {
public:
    virtual ~ProbeRequests() = default;
    virtual int32_t start() = 0;
    virtual int32_t halt() = 0;
    // On entry `count` is the room in `values`; on return the number stored. `error` is the
    // cause of the error state.
    virtual int32_t state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) = 0;
    virtual int32_t registerGet(uint16_t count, const RegisterDescriptor* registers,
                                uint32_t* values) = 0;
    virtual int32_t registerSet(uint16_t count, const RegisterDescriptor* registers,
                                const int32_t* values) = 0;
    virtual int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) = 0;
    virtual int32_t memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) = 0;
};

// The requests on one connection's target request layer.
class LinkRequests : public ProbeRequests {
public:
    explicit LinkRequests(target::TargetLink& link) : link_(link) {}
    int32_t start() override;
    int32_t halt() override;
    int32_t state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) override;
    int32_t registerGet(uint16_t count, const RegisterDescriptor* registers,
                        uint32_t* values) override;
    int32_t registerSet(uint16_t count, const RegisterDescriptor* registers,
                        const int32_t* values) override;
    int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) override;
    int32_t memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) override;

private:
    target::TargetLink& link_;
};

// Target access through probe requests: memory in requests of at most 32 KiB, r0 and r1 of the
// current mode (group 600) read in one request, r0 written with one.
class ProbeAccess : public TargetAccess {
public:
    static constexpr uint16_t kCurrentMode = 600;

    explicit ProbeAccess(ProbeRequests& requests) : requests_(requests) {}
    int readMemory(uint32_t address, std::span<uint8_t> out) override;
    int writeMemory(uint32_t address, std::span<const uint8_t> data) override;
    int readArguments(uint32_t& r0, uint32_t& r1) override;
    int writeResult(uint32_t r0) override;

private:
    ProbeRequests& requests_;
};

}  // namespace tov::semihost
