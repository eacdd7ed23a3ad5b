// One flash pass for the GDB client: plan the units its writes touch, add those it asked to
// erase, then compare, erase, program and verify as tov flash does, and tell the server's user.
#include "gdb_flash.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <vector>

#include "file_data.h"
#include "file_transfer.h"
#include "flash_steps.h"
#include "output.h"

namespace tov::cli {

namespace {

constexpr const char* kCommand = "gdbserver";

gdb::FlashFailure failed(gdb::FlashFailure step, int32_t code, const char* what, uint32_t at) {
    reportApiError(kCommand, code);
    std::fprintf(stderr, "tov: %s: %s at 0x%08X failed\n", kCommand, what,
                 static_cast<unsigned>(at));
    return step;
}

}  // namespace

gdb::FlashFailure GdbFlash::program(const gdb::FlashBatch& batch) {
    const auto start = std::chrono::steady_clock::now();
    FileData data;
    for (const auto& [address, bytes] : batch.writes) {
        for (size_t i = 0; i < bytes.size(); ++i)
            data.bytes.emplace_back(address + static_cast<uint32_t>(i), bytes[i]);
        data.dataBytes += bytes.size();
        if (!data.ranges.empty() && data.ranges.back().end == address)
            data.ranges.back().end += bytes.size();
        else
            data.ranges.push_back({address, address + uint64_t{bytes.size()}});
    }
    FlashPlan plan = planFlash(data, unit_);

    // The set-up is made again for each pass: a reset or another request in between may have
    // changed the probe's write mode.
    int32_t result = applyFlashSetup(setup_);
    if (result != 0) {
        reportApiError(kCommand, result);
        return gdb::FlashFailure::Program;
    }
    if (options_.skipUnchanged && (result = findUnchangedUnits(plan)) != 0) {
        reportApiError(kCommand, result);
        return gdb::FlashFailure::Program;
    }
    const std::vector<uint64_t> toProgram = unitsToProgram(plan);
    // Units asked to be erased that hold nothing of the writes (GDB's flash-erase) are erased
    // all the same; those found unchanged are left alone.
    std::set<uint64_t> toErase(toProgram.begin(), toProgram.end());
    for (const auto& [address, length] : batch.erases) {
        for (uint64_t unit = address - address % unit_; unit < uint64_t{address} + length;
             unit += unit_) {
            if (!plan.units.contains(unit)) toErase.insert(unit);
        }
    }
    if (options_.erase != EraseChoice::kNone) {
        uint32_t failedAt = 0;
        result = eraseUnits({toErase.begin(), toErase.end()}, options_.erase, failedAt);
        if (result != 0) return failed(gdb::FlashFailure::Erase, result, "erasing", failedAt);
    }
    if ((result = programUnits(plan)) != 0) {
        reportApiError(kCommand, result);
        if (options_.erase == EraseChoice::kNone) {
            std::fprintf(stderr,
                         "tov: %s: the flash may need erasing first: leave out --erase "
                         "none to erase the sectors GDB loads into\n",
                         kCommand);
        }
        return gdb::FlashFailure::Program;
    }
    if (options_.verify) {
        for (const uint64_t unit : toProgram) {
            if (!unitUnchanged(plan.units.at(unit), result)) {
                if (result != 0)
                    return failed(gdb::FlashFailure::Verify, result, "verifying",
                                  static_cast<uint32_t>(unit));
                std::fprintf(stderr, "tov: %s: the flash at 0x%08X differs from what was written\n",
                             kCommand, static_cast<unsigned>(unit));
                return gdb::FlashFailure::Verify;
            }
        }
    }
    const char* what = options_.erase == EraseChoice::kChip ? "chip banks" : "sectors";
    const size_t erased = options_.erase == EraseChoice::kNone ? 0 : toErase.size();
    if (data.bytes.empty()) {
        std::printf("gdbserver: flash: %s erased %zu in %.2f s\n", what, erased,
                    secondsSince(start));
    } else {
        std::printf(
            "gdbserver: flash: %s: %s erased %zu, programmed %zu, skipped %zu%s in %.2f s\n",
            dataSummary(data, 0).c_str(), what, erased, toProgram.size(), plan.skipped.size(),
            options_.verify ? ", verified" : "", secondsSince(start));
    }
    std::fflush(stdout);
    return gdb::FlashFailure::None;
}

}  // namespace tov::cli
