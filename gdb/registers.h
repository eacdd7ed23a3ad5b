// The registers the GDB client sees, in the order of the register packets: the core registers
// of the current mode (r0..r15) and the CPSR, the current mode's SPSR and the banked registers
// of every mode, and the VFP registers when the target has them. The target description the
// client gets is built from the same table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "gdb/probe.h"

namespace tov::gdb {

// Registers of the 'g' and 'G' packets: r0..r12, sp, lr, pc, cpsr.
inline constexpr uint16_t kCoreRegisterCount = 17;

class RegisterAccess {
public:
    explicit RegisterAccess(Probe& probe) : probe_(probe) {}

    // Asks the probe once whether the target has VFP registers.
    void detectVfp();
    bool hasVfp() const { return vfp_; }
    uint16_t count() const;
    std::string targetDescription() const;

    // The register's value in the client's hex form, "x.." when the register has no value in
    // the current mode, or nothing when the probe failed or the number is unknown.
    std::optional<std::string> read(uint16_t index);
    // `bytes` in target byte order, as many as the register has. False when refused.
    bool write(uint16_t index, std::span<const uint8_t> bytes);

private:
    enum class Resolved { Found, NotInThisMode, Failed };
    // The probe's descriptor of a core or banked register (index below the VFP registers).
    Resolved resolve(uint16_t index, RegisterDescriptor& out);

    Probe& probe_;
    bool vfp_ = false;
};

}  // namespace tov::gdb
