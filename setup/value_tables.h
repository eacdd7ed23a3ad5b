// The value tables of a setup: what each stored index means and the text it is shown with.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tov::setup {

inline constexpr std::array<std::string_view, 1> kCpuTypes = {"ARM1136"};
inline constexpr std::array<std::string_view, 3> kStartupModes = {"RESET", "STOP", "RUN"};
inline constexpr std::array<std::string_view, 3> kStartupLabels = {"Reset", "Stop", "Run"};
inline constexpr std::array<std::string_view, 2> kBreakModes = {"SOFT", "HARD"};
inline constexpr std::array<std::string_view, 2> kBreakLabels = {"Software", "Hardware"};
inline constexpr std::array<std::string_view, 11> kJtagClocks = {
    "Adaptive", "16 MHz", "8 MHz",  "4 MHz",  "1 MHz", "500 kHz",
    "200 kHz",  "100 kHz", "50 kHz", "20 kHz", "10 kHz"};
inline constexpr std::array<uint32_t, 5> kLineRates = {9600, 19200, 38400, 57600, 115200};

// Exception trap bits (the ARM11 vector catch register layout).
enum TrapBit : uint32_t {
    kTrapReset = 0x01,
    kTrapUndefined = 0x02,
    kTrapSwi = 0x04,
    kTrapPrefetchAbort = 0x08,
    kTrapDataAbort = 0x10,
    kTrapReserved = 0x20,
    kTrapIrq = 0x40,
    kTrapFiq = 0x80,
};

// The table text of an index, or nullopt for an index outside the table.
template <size_t N>
std::optional<std::string_view> tableText(const std::array<std::string_view, N>& table,
                                          uint32_t index) {
    if (index >= N) return std::nullopt;
    return table[index];
}

// The index of an exact, case-sensitive text, or nullopt.
template <size_t N>
std::optional<uint32_t> tableIndex(const std::array<std::string_view, N>& table,
                                   std::string_view text) {
    for (size_t i = 0; i < N; ++i) {
        if (table[i] == text) return static_cast<uint32_t>(i);
    }
    return std::nullopt;
}

}  // namespace tov::setup
