// Register groups of the probe's ARM firmware and the CP15 numbering of the cores it knows.
#include "rdi/register_map.h"

#include <optional>

namespace tov::rdi {
namespace {

constexpr uint16_t kCurrent = 600;
constexpr uint16_t kCpsr = 601;
constexpr uint16_t kCp0 = 602;
constexpr uint16_t kUser = 603;
constexpr uint16_t kCp15 = 614;
constexpr uint16_t kSelected = 0x100;

struct Banks {
    uint16_t registers;
    uint16_t spsr;
};

Banks banksOfMode(uint32_t mode) {
    switch (mode | 0x10) {
        case 0x10:
        case 0x1F:
            return {kUser, kCpsr};
        case 0x11:
            return {604, 605};
        case 0x12:
            return {610, 611};
        case 0x13:
            return {606, 607};
        case 0x17:
            return {608, 609};
        case 0x1B:
            return {612, 613};
        default:
            return {kCurrent, kCpsr};
    }
}

void add(RegisterList& list, uint16_t group, uint16_t number) {
    if (list.count < 32) list.items[list.count++] = {group, number};
}

// The probe's number of CP15 register i for a CPU type, or nothing for an unknown type.
std::optional<uint16_t> cp15Number(uint16_t cpuType, uint32_t i, Cp15Selection s) {
    const bool sel = s.cacheSelected == 1;
    const auto n = static_cast<uint16_t>(i);
    const uint16_t area = static_cast<uint16_t>(0x10 + (s.memoryArea & 7));
    auto under = [sel](uint16_t selected, uint16_t otherwise) {
        return sel ? selected : otherwise;
    };
    switch (cpuType) {
        case 0x8703:
        case 0x8704:
        case 0x8812:
            return n;
        case 0x8801:
            switch (i) {
                case 0:
                case 9:
                    return under(n + kSelected, n);
                case 2:
                    return under(0x51AF, 0x12A2);
                case 3:
                    return under(0x71AF, 0x1003);
                case 5:
                    return under(0x3005, 0x1005);
                case 6:
                    return under(0x3006, 0x1006);
                default:
                    return n;
            }
        case 0x8802: {
            uint16_t base = i == 6 ? area : n;
            bool selectable = i == 2 || i == 5 || i == 6 || i == 9;
            return static_cast<uint16_t>(base + (sel && selectable ? kSelected : 0));
        }
        case 0x8803:
            if (i == 0) return under(8, 0);
            if (i == 10) return under(55, 58);
            return n;
        case 0x8811: {
            uint16_t base = i == 6 ? area : n;
            bool selectable = i == 0 || i == 2 || i == 5 || i == 9;
            bool always = i == 13 || i == 24 || i == 25;
            return static_cast<uint16_t>(base + ((sel && selectable) || always ? kSelected : 0));
        }
        case 0x8813: {
            bool selectable = i == 0 || i == 5 || i == 9 || i == 13;
            return static_cast<uint16_t>(n + (sel && selectable ? kSelected : 0));
        }
        case 0x8821:
            return under(n + 0x2000, n);
        case 0x8880:
            if (i <= 1) return under(n + 0x2000, n);
            if (i == 15) return 0x10F;
            return n;
        default:
            return std::nullopt;
    }
}

}  // namespace

RegisterList cpuRegisters(uint32_t mode, uint32_t mask) {
    const Banks banks = banksOfMode(mode);
    RegisterList list;
    for (uint16_t bit = 0; bit < 15; ++bit) {
        if (mask & (1u << bit)) add(list, banks.registers, bit);
    }
    if (mask & (1u << 16)) add(list, kCurrent, 15);
    if (mask & (1u << 17)) add(list, kCpsr, 0);
    if (mask & (1u << 18)) add(list, banks.spsr, 0);
    return list;
}

RegisterList coprocessorRegisters(uint32_t coprocessor, uint32_t mask, uint16_t cpuType,
                                  Cp15Selection selection) {
    RegisterList list;
    for (uint32_t i = 0; i < 32; ++i) {
        if (!(mask & (1u << i))) continue;
        if (coprocessor == 0) {
            add(list, kCp0, static_cast<uint16_t>(i));
        } else if (coprocessor == 15) {
            std::optional<uint16_t> n = cp15Number(cpuType, i, selection);
            if (!n) return list;
            add(list, kCp15, *n);
        }
    }
    return list;
}

}  // namespace tov::rdi
