// The setup-show command of tov: reads the setup stored in the probe's setup sector and prints
// its working mode and init entries as the setup program wrote them.
#include <cstdio>
#include <ctime>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "maint/exported_loader_link.h"
#include "maint/setup_sector.h"
#include "output.h"
#include "probe_session.h"
#include "setup/code_list.h"
#include "setup/value_tables.h"

namespace tov::cli {
namespace {

// The table's text of an index, or the number itself when the table has none.
template <size_t N>
std::string named(const std::array<std::string_view, N>& table, uint32_t index) {
    if (const auto text = setup::tableText(table, index)) return std::string(*text);
    return std::to_string(index) + " (unknown)";
}

std::string utcText(uint32_t seconds) {
    const std::time_t t = seconds;
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

void printBlock(const maint::SetupBlock& b) {
    std::printf("setup ID:     %s\n", b.setupId.c_str());
    std::printf("setup time:   %u (%s)\n", b.time, utcText(b.time).c_str());
    std::printf("line rate:    %u\n", b.lineRate);
    std::printf("workspace:    0x%08X\n", b.workspace);
    std::printf("run time:     %u ms\n", b.runTime);
    std::printf("CPU type:     %s\n", named(setup::kCpuTypes, b.cpuType).c_str());
    std::printf("startup:      %s\n", named(setup::kStartupModes, b.startupMode).c_str());
    std::printf("breakpoints:  %s\n", named(setup::kBreakModes, b.breakMode).c_str());
    std::printf("trap mask:    0x%02X\n", b.trapMask);
    std::printf("JTAG clock:   %s\n", named(setup::kJtagClocks, b.jtagClock).c_str());
    std::printf("endianness:   %s\n", b.bigEndian ? "big" : "little");
    std::printf("scan chain:   %u before (IR %u), %u after (IR %u)\n", b.scanPredCount,
                b.scanPredIrLength, b.scanSuccCount, b.scanSuccIrLength);
}

}  // namespace

int runSetupShow(const Invocation& call) {
    requireArgumentCount(call, 0, 0, "");
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    maint::ExportedLoaderLink link({}, maint::ExportedLoaderLink::Start::kAlreadyOpen);
    maint::StoredSetupSector stored;
    if (const int32_t result = maint::readSetupSector(link, stored); result != 0) {
        return reportApiError(call.command, result);
    }
    if (!stored.block) {
        std::printf("no setup stored\n");
    } else {
        printBlock(*stored.block);
    }
    if (stored.entries.empty()) {
        std::printf("init entries: none\n");
        return kExitOk;
    }
    std::printf("init entries: %zu\n", stored.entries.size());
    for (size_t i = 0; i < stored.entries.size(); ++i) {
        const maint::InitEntry& e = stored.entries[i];
        const std::string_view mnemonic = setup::mnemonicOf(e.type);
        std::printf("  %4zu: %-6s 0x%08X 0x%08X\n", i,
                    mnemonic.empty() ? "?" : std::string(mnemonic).c_str(), e.address, e.value);
    }
    return kExitOk;
}

}  // namespace tov::cli
