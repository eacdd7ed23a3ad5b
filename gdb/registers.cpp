// The client's register numbers mapped onto the probe's register groups.
#include "gdb/registers.h"

#include <array>

#include "gdb/packet.h"

namespace tov::gdb {
namespace {

constexpr uint16_t kCurrentMode = 600;
constexpr uint16_t kCpsrGroup = 601;
// The SPSR of the current mode: its group follows from the CPSR's mode bits.
constexpr uint16_t kCurrentSpsr = 0xFFFF;

struct Banked {
    const char* name;
    uint16_t group;
    uint16_t number;
};

// After r0..r15 and the CPSR (numbers 0..16): the current SPSR, then each mode's own registers.
constexpr std::array<Banked, 28> kBanked{{
    {"spsr", kCurrentSpsr, 0}, {"r8_usr", 603, 8},   {"r9_usr", 603, 9},   {"r10_usr", 603, 10},
    {"r11_usr", 603, 11},      {"r12_usr", 603, 12}, {"r13_usr", 603, 13}, {"r14_usr", 603, 14},
    {"r8_fiq", 604, 8},        {"r9_fiq", 604, 9},   {"r10_fiq", 604, 10}, {"r11_fiq", 604, 11},
    {"r12_fiq", 604, 12},      {"r13_fiq", 604, 13}, {"r14_fiq", 604, 14}, {"spsr_fiq", 605, 0},
    {"r13_svc", 606, 13},      {"r14_svc", 606, 14}, {"spsr_svc", 607, 0}, {"r13_abt", 608, 13},
    {"r14_abt", 608, 14},      {"spsr_abt", 609, 0}, {"r13_irq", 610, 13}, {"r14_irq", 610, 14},
    {"spsr_irq", 611, 0},      {"r13_und", 612, 13}, {"r14_und", 612, 14}, {"spsr_und", 613, 0},
}};

// VFP: d0..d15 are the probe's floating-point registers 0..15; the FPSCR is kept in the low word
// of floating-point register 16.
constexpr uint16_t kDoubles = 16;
constexpr uint16_t kFpscrRegister = kDoubles;
constexpr size_t kFpSize = 8;

constexpr uint16_t kFirstBanked = kCoreRegisterCount;
constexpr uint16_t kFirstVfp = kFirstBanked + kBanked.size();

constexpr const char* kCoreNames[kCoreRegisterCount] = {"r0",  "r1", "r2", "r3", "r4",  "r5",
                                                        "r6",  "r7", "r8", "r9", "r10", "r11",
                                                        "r12", "sp", "lr", "pc", "cpsr"};

RegisterDescriptor core(uint16_t index) {
    return index < 16 ? RegisterDescriptor{kCurrentMode, index} : RegisterDescriptor{kCpsrGroup, 0};
}

// The SPSR group of a CPSR mode; 0 for User and System mode, which have none.
uint16_t spsrGroup(uint32_t cpsr) {
    switch (cpsr & 0x1F) {
        case 0x11:
            return 605;
        case 0x12:
            return 611;
        case 0x13:
            return 607;
        case 0x17:
            return 609;
        case 0x1B:
            return 613;
        default:
            return 0;
    }
}

std::string reg(const std::string& name, unsigned number, unsigned bits, const char* type) {
    return "    <reg name=\"" + name + "\" bitsize=\"" + std::to_string(bits) + "\" regnum=\"" +
           std::to_string(number) + "\"" + (type ? std::string(" type=\"") + type + "\"" : "") +
           "/>\n";
}

uint32_t littleWord(std::span<const uint8_t> b) {
    return b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24;
}

}  // namespace

RegisterAccess::Resolved RegisterAccess::resolve(uint16_t index, RegisterDescriptor& out) {
    if (index < kFirstBanked) {
        out = core(index);
        return Resolved::Found;
    }
    const Banked& banked = kBanked[index - kFirstBanked];
    out = {banked.group, banked.number};
    if (banked.group != kCurrentSpsr) return Resolved::Found;
    uint32_t cpsr = 0;
    const RegisterDescriptor cpsrDescriptor = core(16);
    if (probe_.registerGet(1, &cpsrDescriptor, &cpsr) != 0) return Resolved::Failed;
    out.group = spsrGroup(cpsr);
    return out.group == 0 ? Resolved::NotInThisMode : Resolved::Found;
}

void RegisterAccess::detectVfp() {
    uint8_t bytes[(kFpscrRegister + 1) * kFpSize];
    vfp_ = probe_.fpRegGet(0, kFpscrRegister, bytes) == 0;
}

uint16_t RegisterAccess::count() const {
    return vfp_ ? kFirstVfp + kDoubles + 1 : kFirstVfp;
}

std::string RegisterAccess::targetDescription() const {
    std::string text =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n"
        "<target version=\"1.0\">\n"
        "  <architecture>arm</architecture>\n"
        "  <feature name=\"org.gnu.gdb.arm.core\">\n";
    for (unsigned i = 0; i < kCoreRegisterCount; ++i) {
        text += reg(kCoreNames[i], i, 32, i == 13 ? "data_ptr" : i == 15 ? "code_ptr" : nullptr);
    }
    text += "  </feature>\n  <feature name=\"org.tov.arm.modes\">\n";
    for (unsigned i = 0; i < kBanked.size(); ++i)
        text += reg(kBanked[i].name, kFirstBanked + i, 32, nullptr);
    text += "  </feature>\n";
    if (vfp_) {
        text += "  <feature name=\"org.gnu.gdb.arm.vfp\">\n";
        for (unsigned i = 0; i < kDoubles; ++i)
            text += reg("d" + std::to_string(i), kFirstVfp + i, 64, "ieee_double");
        text += reg("fpscr", kFirstVfp + kDoubles, 32, "int");
        text += "  </feature>\n";
    }
    return text + "</target>\n";
}

std::optional<std::string> RegisterAccess::read(uint16_t index) {
    if (index >= count()) return std::nullopt;
    if (index >= kFirstVfp) {
        const uint16_t fp = index - kFirstVfp;
        uint8_t bytes[kFpSize];
        if (probe_.fpRegGet(fp, fp, bytes) != 0) return std::nullopt;
        return toHex(std::span<const uint8_t>(bytes, fp == kFpscrRegister ? 4 : kFpSize));
    }
    RegisterDescriptor descriptor{};
    const Resolved resolved = resolve(index, descriptor);
    if (resolved == Resolved::Failed) return std::nullopt;
    if (resolved == Resolved::NotInThisMode) return std::string(8, 'x');
    uint32_t value = 0;
    if (probe_.registerGet(1, &descriptor, &value) != 0) return std::nullopt;
    return wordHex(value);
}

bool RegisterAccess::write(uint16_t index, std::span<const uint8_t> bytes) {
    if (index >= count()) return false;
    if (index >= kFirstVfp) {
        const uint16_t fp = index - kFirstVfp;
        uint8_t value[kFpSize] = {};
        if (fp == kFpscrRegister) {
            if (bytes.size() != 4 || probe_.fpRegGet(fp, fp, value) != 0) return false;
            std::copy(bytes.begin(), bytes.end(), value);
        } else {
            if (bytes.size() != kFpSize) return false;
            std::copy(bytes.begin(), bytes.end(), value);
        }
        return probe_.fpRegSet(fp, fp, value) == 0;
    }
    RegisterDescriptor descriptor{};
    if (bytes.size() != 4 || resolve(index, descriptor) != Resolved::Found) return false;
    const int32_t value = static_cast<int32_t>(littleWord(bytes));
    return probe_.registerSet(1, &descriptor, &value) == 0;
}

}  // namespace tov::gdb
