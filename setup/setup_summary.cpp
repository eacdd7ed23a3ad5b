// Summary texts of a working mode; values outside the tables are shown as numbers.
#include "setup/setup_summary.h"

#include <array>

#include "setup/display_text.h"
#include "setup/value_tables.h"

namespace tov::setup {
namespace {

template <size_t N>
std::string tableOrNumber(const std::array<std::string_view, N>& table, uint32_t index) {
    if (const auto text = tableText(table, index)) return std::string(*text);
    return "(" + std::to_string(index) + ")";
}

struct TrapName {
    const char* name;
    uint32_t bit;
};
// In the order of the working-mode dialog's boxes; the reserved bit is never set by it.
constexpr TrapName kTrapNames[] = {{"FIQ", kTrapFiq},        {"IRQ", kTrapIrq},
                                   {"DABT", kTrapDataAbort}, {"PABT", kTrapPrefetchAbort},
                                   {"SWI", kTrapSwi},        {"UND", kTrapUndefined},
                                   {"RST", kTrapReset}};

std::string trapText(uint32_t mask) {
    std::string text;
    for (const TrapName& t : kTrapNames) {
        if (mask & t.bit) text += (text.empty() ? "" : " ") + std::string(t.name);
    }
    return text.empty() ? "none" : text;
}

}  // namespace

std::vector<SummaryLine> modeSummary(const WorkingMode& mode) {
    std::string startup = tableOrNumber(kStartupLabels, mode.startupMode);
    if (mode.startupMode == 1) startup += ", run time " + std::to_string(mode.runTime) + " ms";
    return {
        {"Identification", displayText(mode.setupId)},
        {"CPU Type", tableOrNumber(kCpuTypes, mode.cpuType)},
        {"JTAG Clock", tableOrNumber(kJtagClocks, mode.jtagClock)},
        {"Startup", startup},
        {"Breakpoint", tableOrNumber(kBreakLabels, mode.breakMode)},
        {"Memory format", mode.bigEndian ? "Big Endian" : "Little Endian"},
        {"Trap Exceptions", trapText(mode.trapMask)},
        {"JTAG Scan Chain", "Predecessor " + std::to_string(mode.scanPredCount) + ", IR length " +
                                std::to_string(mode.scanPredIrLength) + "; Successor " +
                                std::to_string(mode.scanSuccCount) + ", IR length " +
                                std::to_string(mode.scanSuccIrLength)},
    };
}

}  // namespace tov::setup
