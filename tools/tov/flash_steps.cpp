// Comparing, erasing and programming the planned flash units through the library.
#include "flash_steps.h"

#include <algorithm>

#include "file_transfer.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr uint16_t kEraseChipMode = 2;
constexpr uint16_t kReadPiece = 0x8000;

bool skipped(const FlashPlan& plan, uint64_t unit) {
    return std::find(plan.skipped.begin(), plan.skipped.end(), unit) != plan.skipped.end();
}

}  // namespace

FlashOptions flashOptionsFor(const Invocation& call, const FileCommandLine& line,
                             const FlashSetup& setup) {
    FlashOptions options = line.flash;
    const bool explicitErase =
        std::find(call.args.begin(), call.args.end(), "--erase") != call.args.end();
    if (setup.kind == FlashKind::kExternal && !explicitErase && !flashTypeErases(setup.type))
        options.erase = EraseChoice::kNone;
    return options;
}

uint32_t eraseUnitSize(const FlashSetup& setup, const FlashOptions& options) {
    if (options.erase == EraseChoice::kChip) {
        const uint32_t chipBytes = flashChipBytes(setup.type);
        return chipBytes == 0 ? 0 : setup.chipSize * (setup.busBits / 8u / chipBytes);
    }
    return options.sectorSize != 0 ? options.sectorSize : defaultSectorSize(setup);
}

bool unitUnchanged(const std::vector<std::pair<uint32_t, uint8_t>>& bytes, int32_t& error) {
    std::vector<uint8_t> found;
    for (const auto& [address, expected] : unitRuns(bytes)) {
        for (size_t done = 0; done < expected.size(); done += kReadPiece) {
            const auto piece =
                static_cast<uint16_t>(std::min<size_t>(kReadPiece, expected.size() - done));
            found.resize(piece);
            error = TOV_MemoryRead(address + static_cast<uint32_t>(done), 0, piece, found.data());
            if (error != 0) return false;
            if (!std::equal(found.begin(), found.end(), expected.begin() + done)) return false;
        }
    }
    return true;
}

int32_t findUnchangedUnits(FlashPlan& plan) {
    int32_t error = 0;
    for (const auto& [address, bytes] : plan.units) {
        if (unitUnchanged(bytes, error)) plan.skipped.push_back(address);
        if (error != 0) return error;
    }
    return 0;
}

std::vector<uint64_t> unitsToProgram(const FlashPlan& plan) {
    std::vector<uint64_t> units;
    for (const auto& entry : plan.units) {
        if (!skipped(plan, entry.first)) units.push_back(entry.first);
    }
    return units;
}

int32_t eraseUnits(const std::vector<uint64_t>& units, EraseChoice erase, uint32_t& failedAt) {
    for (const uint64_t unit : units) {
        const auto at = static_cast<uint32_t>(unit);
        const int32_t result = erase == EraseChoice::kChip ? TOV_FlashErase(kEraseChipMode, at)
                                                           : TOV_FlashEraseSector(at);
        if (result != 0) {
            failedAt = at;
            return result;
        }
    }
    return 0;
}

int32_t programUnits(const FlashPlan& plan) {
    for (const auto& [unit, bytes] : plan.units) {
        if (skipped(plan, unit)) continue;
        for (const auto& [address, run] : unitRuns(bytes)) {
            uint32_t result = 0;
            const int32_t rc = TOV_FlashWriteBlock(address, static_cast<uint16_t>(run.size()),
                                                   run.data(), &result);
            if (rc != 0) return rc;
        }
    }
    return 0;
}

}  // namespace tov::cli
