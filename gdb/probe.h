// What the GDB server needs of a probe: the semihosting front end's requests plus stepping,
// reset, points and the probe's command interpreter (over the exported API: api_probe.h).
#pragma once

#include <cstdint>
#include <string>

#include "semihost/probe_access.h"

namespace tov::gdb {

class Probe : public semihost::ProbeRequests {
public:
    // One instruction; `pc` receives where the target stopped.
    virtual int32_t step(uint32_t& pc) = 0;
    virtual int32_t reset() = 0;
    // The new identifier (> 0) or an error code.
    virtual int32_t breakAdd(uint32_t address) = 0;
    virtual int32_t breakDelete(int32_t id) = 0;
    // `mode` is the probe's watch mode (accesses and sized/masked), `size` 1, 2 or 4 bytes.
    virtual int32_t watchAdd(uint16_t mode, uint32_t address, uint32_t size) = 0;
    virtual int32_t watchDelete(int32_t id) = 0;
    virtual int32_t directCommand(const std::string& text, std::string& reply) = 0;
    // Floating-point registers first..last, 8 raw bytes each as the probe keeps them. A probe
    // without them refuses.
    virtual int32_t fpRegGet(uint16_t, uint16_t, uint8_t*) { return -1; }
    virtual int32_t fpRegSet(uint16_t, uint16_t, const uint8_t*) { return -1; }
    virtual std::string errorText(int32_t code) = 0;
};

}  // namespace tov::gdb
