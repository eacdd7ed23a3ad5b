// The ARM core's registers as the simulated firmware keeps them: banked core registers addressed
// by (group, number), coprocessor registers, and the floating-point and vector register files.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>

namespace tov::sim {

// Register state of the simulated core, with the ARM mode banking behind group 600.
//
// Groups: 600 current mode r0..r14 and 15 = PC, plus the pseudo-registers 8101 (semihosting
// vector) and 8102 (vector catch); 601 CPSR (number 0); 602 debug coprocessor, numbers 0..31;
// 603 User/System r0..r14; 604/605 FIQ r0..r14 and SPSR_fiq; 606/607 Supervisor; 608/609 Abort;
// 610/611 IRQ; 612/613 Undefined; 614 system control coprocessor, any number (unwritten ones
// read 0, number 0 reads the main ID). r0..r7 are shared by all modes, r8..r12 by all but FIQ,
// r13/r14 and the SPSR are banked per mode as on the core. Any other (group, number) is unknown.
class RegisterFile {
public:
    static constexpr uint16_t kGroupCurrent = 600;
    static constexpr uint16_t kGroupCpsr = 601;
    static constexpr uint16_t kGroupCp0 = 602;
    static constexpr uint16_t kGroupCp15 = 614;
    static constexpr uint16_t kNumberPc = 15;
    static constexpr uint16_t kSemihostingVector = 8101;
    static constexpr uint16_t kVectorCatch = 8102;

    static constexpr uint32_t kResetCpsr = 0x000001D3;  // Supervisor, IRQ and FIQ masked
    static constexpr uint32_t kMainId = 0x4100B000;
    static constexpr uint32_t kThumbBit = 1u << 5;

    static constexpr size_t kFpCount = 128;
    static constexpr size_t kFpSize = 8;
    static constexpr size_t kVectorCount = 64;
    static constexpr size_t kVectorSize = 16;

    RegisterFile() { reset(); }

    // Back to the values after a target reset.
    void reset();

    bool known(uint16_t group, uint16_t number) const;
    // The value, or nothing for an unknown register.
    std::optional<uint32_t> read(uint16_t group, uint16_t number) const;
    // False (and nothing written) for an unknown register.
    bool write(uint16_t group, uint16_t number, uint32_t value);

    uint32_t pc() const { return pc_; }
    void setPc(uint32_t pc) { pc_ = pc; }
    uint32_t cpsr() const { return cpsr_; }
    // Bytes per instruction in the current state: 2 in Thumb state, else 4.
    uint32_t instructionSize() const { return (cpsr_ & kThumbBit) ? 2 : 4; }

    std::span<uint8_t> fpBytes() { return fp_; }
    std::span<uint8_t> vectorBytes() { return vectors_; }

private:
    enum Bank : uint8_t { kUser, kFiq, kSupervisor, kAbort, kIrq, kUndefined, kBankCount };

    static Bank bankOfMode(uint32_t mode);
    // The storage of r0..r14 of a bank, or of an SPSR; nullptr for an unknown register. The
    // system control coprocessor (a sparse map) is handled by read and write themselves.
    const uint32_t* slot(uint16_t group, uint16_t number) const;
    uint32_t* slot(uint16_t group, uint16_t number) {
        return const_cast<uint32_t*>(std::as_const(*this).slot(group, number));
    }
    const uint32_t* bankedSlot(Bank bank, uint16_t number) const;

    std::array<uint32_t, 8> low_{};                           // r0..r7
    std::array<uint32_t, 5> high_{};                          // r8..r12 outside FIQ mode
    std::array<uint32_t, 5> fiqHigh_{};                       // r8..r12 in FIQ mode
    std::array<std::array<uint32_t, 2>, kBankCount> spLr_{};  // r13, r14 per bank
    std::array<uint32_t, kBankCount> spsr_{};                 // unused for the User bank
    uint32_t pc_ = 0;
    uint32_t cpsr_ = kResetCpsr;
    uint32_t semihostingVector_ = 0;
    uint32_t vectorCatch_ = 0;
    std::array<uint32_t, 32> cp0_{};
    std::map<uint16_t, uint32_t> cp15_;
    std::array<uint8_t, kFpCount * kFpSize> fp_{};
    std::array<uint8_t, kVectorCount * kVectorSize> vectors_{};
};

}  // namespace tov::sim
