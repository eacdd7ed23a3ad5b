// Target access for the semihosting service made of probe requests.
#include "semihost/probe_access.h"

#include <algorithm>

#include "target/target_link.h"

namespace tov::semihost {
namespace {

constexpr size_t kRequestBytes = 0x8000;
constexpr uint16_t kAccessDefault = 0;

}  // namespace

int32_t LinkRequests::start() {
    return link_.start();
}

int32_t LinkRequests::halt() {
    return link_.halt();
}

int32_t LinkRequests::state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) {
    uint32_t value = 0;
    return link_.state(state, error, value, count, values);
}

int32_t LinkRequests::registerGet(uint16_t count, const RegisterDescriptor* registers,
                                  uint32_t* values) {
    return link_.registerGet(count, registers, values);
}

int32_t LinkRequests::registerSet(uint16_t count, const RegisterDescriptor* registers,
                                  const int32_t* values) {
    return link_.registerSet(count, registers, values);
}

int32_t LinkRequests::memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) {
    return link_.memoryRead(address, kAccessDefault, count, buffer);
}

int32_t LinkRequests::memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) {
    return link_.memoryWrite(address, kAccessDefault, count, data);
}

int ProbeAccess::readMemory(uint32_t address, std::span<uint8_t> out) {
    for (size_t done = 0; done < out.size();) {
        const size_t size = std::min(out.size() - done, kRequestBytes);
        const int32_t rc = requests_.memoryRead(address + static_cast<uint32_t>(done),
                                                static_cast<uint16_t>(size), out.data() + done);
        if (rc != 0) return rc;
        done += size;
    }
    return 0;
}

int ProbeAccess::writeMemory(uint32_t address, std::span<const uint8_t> data) {
    for (size_t done = 0; done < data.size();) {
        const size_t size = std::min(data.size() - done, kRequestBytes);
        const int32_t rc = requests_.memoryWrite(address + static_cast<uint32_t>(done),
                                                 static_cast<uint16_t>(size), data.data() + done);
        if (rc != 0) return rc;
        done += size;
    }
    return 0;
}

int ProbeAccess::readArguments(uint32_t& r0, uint32_t& r1) {
    const RegisterDescriptor registers[2] = {{kCurrentMode, 0}, {kCurrentMode, 1}};
    uint32_t values[2] = {};
    const int32_t rc = requests_.registerGet(2, registers, values);
    if (rc != 0) return rc;
    r0 = values[0];
    r1 = values[1];
    return 0;
}

int ProbeAccess::writeResult(uint32_t r0) {
    const RegisterDescriptor reg{kCurrentMode, 0};
    const int32_t value = static_cast<int32_t>(r0);
    return requests_.registerSet(1, &reg, &value);
}

}  // namespace tov::semihost
