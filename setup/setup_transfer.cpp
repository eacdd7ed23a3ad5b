// The setup transfer over the library's exported connect, transaction and disconnect.
#include "setup/setup_transfer.h"

#include <chrono>

#include "include/tovlink.h"
#include "link/error_codes.h"
#include "maint/exported_loader_link.h"
#include "maint/loader_requests.h"
#include "setup/value_tables.h"

namespace tov::setup {

std::string transferRefusal(uint32_t baudIndex, const CCodeList& initList) {
    if (baudIndex >= kLineRates.size()) {
        return "The setup's line rate index " + std::to_string(baudIndex) +
               " is not one of 0 to 4; choose a line rate under Setup > Communication first.";
    }
    if (initList.size() > maint::kMaxInitEntries) {
        return "The init list has " + std::to_string(initList.size()) +
               " items, but the probe's setup sector holds at most " +
               std::to_string(maint::kMaxInitEntries) + ". Nothing was written.";
    }
    return {};
}

std::string modeRangeProblem(const WorkingMode& mode) {
    struct Check {
        const char* name;
        uint32_t value;
        uint32_t low;
        uint32_t high;
    };
    const Check checks[] = {
        {"Run Time", mode.runTime, 100, 32000},
        {"Predecessor", mode.scanPredCount, 0, 8},
        {"Predecessor IR length", mode.scanPredIrLength, 0, 255},
        {"Successor", mode.scanSuccCount, 0, 8},
        {"Successor IR length", mode.scanSuccIrLength, 0, 255},
    };
    for (const Check& c : checks) {
        if (c.value < c.low || c.value > c.high) {
            return std::string(c.name) + " " + std::to_string(c.value) +
                   ": Please enter an integer between " + std::to_string(c.low) + " and " +
                   std::to_string(c.high) + ".";
        }
    }
    return {};
}

maint::SetupBlock setupBlockOf(const WorkingMode& mode, uint32_t baudIndex, uint32_t time) {
    maint::SetupBlock block;
    block.time = time;
    block.lineRate = kLineRates.at(baudIndex);
    block.workspace = mode.workspace;
    block.runTime = static_cast<uint16_t>(mode.runTime);
    block.cpuType = static_cast<uint8_t>(mode.cpuType);
    block.startupMode = static_cast<uint8_t>(mode.startupMode);
    block.breakMode = static_cast<uint8_t>(mode.breakMode);
    block.trapMask = static_cast<uint8_t>(mode.trapMask);
    block.jtagClock = static_cast<uint8_t>(mode.jtagClock);
    block.bigEndian = static_cast<uint8_t>(mode.bigEndian);
    block.scanPredCount = static_cast<uint8_t>(mode.scanPredCount);
    block.scanPredIrLength = static_cast<uint8_t>(mode.scanPredIrLength);
    block.scanSuccCount = static_cast<uint8_t>(mode.scanSuccCount);
    block.scanSuccIrLength = static_cast<uint8_t>(mode.scanSuccIrLength);
    block.setupId = mode.setupId;
    return block;
}

std::vector<maint::InitEntry> initEntriesOf(const CCodeList& initList) {
    std::vector<maint::InitEntry> entries;
    entries.reserve(initList.size());
    for (size_t i = 0; i < initList.size(); ++i) {
        const ItemFields f = readItem(initList.at(i));
        entries.push_back({f.type, f.address, f.value});
    }
    return entries;
}

int32_t transmitSetup(const WorkingMode& mode, uint32_t baudIndex, const CCodeList& initList,
                      const std::string& port, const StatusSink& status) {
    if (!transferRefusal(baudIndex, initList).empty()) return link::kInvalidParameter;
    status(kStatusConnecting);
    int32_t result = TOV_Connect(port.c_str());
    maint::ExportedLoaderLink link({}, maint::ExportedLoaderLink::Start::kAlreadyOpen);
    if (result >= 0) {
        status(kStatusWriting);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const auto time = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::seconds>(now).count());
        const std::vector<maint::InitEntry> entries = initEntriesOf(initList);
        result = maint::writeSetupSector(link, setupBlockOf(mode, baudIndex, time), entries);
    }
    // The probe is told the transfer ended whatever happened; its answer does not matter.
    maint::closingRequest(link);
    TOV_Disconnect();
    result = result < 0 ? result : link::kOk;
    status(result == link::kOk ? kStatusPassed : kStatusFailed);
    return result;
}

}  // namespace tov::setup
