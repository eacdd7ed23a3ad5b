// Comparing, erasing, programming and verifying the planned flash units.
#include "files/flash_workflow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>

#include "link/error_codes.h"

namespace tov::files {

namespace {

constexpr uint16_t kReadPiece = 0x8000;

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// True when target memory holds every byte of the runs already; false also when a read fails,
// with `error` set.
bool unitUnchanged(FlashAccess& access, const std::vector<FlashRun>& runs, int32_t& error) {
    std::vector<uint8_t> found;
    for (const FlashRun& run : runs) {
        for (size_t done = 0; done < run.bytes.size(); done += kReadPiece) {
            const auto piece =
                static_cast<uint16_t>(std::min<size_t>(kReadPiece, run.bytes.size() - done));
            found.resize(piece);
            error = access.read(run.address + static_cast<uint32_t>(done), piece, found.data());
            if (error != 0) return false;
            if (!std::equal(found.begin(), found.end(), run.bytes.begin() + done)) return false;
        }
    }
    return true;
}

int32_t findUnchangedUnits(FlashAccess& access, FlashOutcome& outcome) {
    int32_t error = 0;
    for (const auto& [address, runs] : outcome.plan.units) {
        if (unitUnchanged(access, runs, error)) outcome.plan.skipped.push_back(address);
        if (error != 0) {
            outcome.failed = FlashOutcome::Step::kCompare;
            outcome.failedAt = static_cast<uint32_t>(address);
            return error;
        }
    }
    return 0;
}

int32_t eraseUnits(FlashAccess& access, const std::vector<uint64_t>& units, FlashOutcome& outcome) {
    for (const uint64_t unit : units) {
        const int32_t result = access.erase(static_cast<uint32_t>(unit), outcome.options.erase);
        if (result != 0) {
            outcome.failed = FlashOutcome::Step::kErase;
            outcome.failedAt = static_cast<uint32_t>(unit);
            return result;
        }
        ++outcome.erased;
    }
    return 0;
}

int32_t programUnits(FlashAccess& access, const FlashPlan& plan) {
    for (const auto& [unit, runs] : plan.units) {
        if (plan.isSkipped(unit)) continue;
        for (const FlashRun& run : runs) {
            const int32_t rc = access.writeBlock(
                run.address, static_cast<uint16_t>(run.bytes.size()), run.bytes.data());
            if (rc != 0) return rc;
        }
    }
    return 0;
}

int32_t refuse(FlashOutcome& outcome, std::string problem) {
    outcome.failed = FlashOutcome::Step::kOptions;
    outcome.problem = std::move(problem);
    return link::kInvalidParameter;
}

}  // namespace

FlashOptions optionsForSetup(const FlashSettings& setup, FlashOptions options, bool eraseNamed) {
    if (setup.kind == FlashKind::kExternal && !eraseNamed && !flashTypeErases(setup.type))
        options.erase = EraseChoice::kNone;
    return options;
}

int32_t runFlashWorkflow(FlashAccess& access, const Image& image, const FlashSettings& setup,
                         const FlashOptions& options, FlashOutcome& outcome) {
    outcome = FlashOutcome{};
    outcome.options = options;
    const bool external = setup.kind == FlashKind::kExternal;
    if (!external && (options.erase == EraseChoice::kChip || options.sectorSize != 0 ||
                      options.skipUnchanged || options.dryRun)) {
        return refuse(outcome,
                      "erasing by sector or chip, sector sizes, skipping unchanged sectors and "
                      "dry runs work with external flash set-ups; on-chip flash is erased "
                      "with its own erase call");
    }
    const bool ranged = options.rangeSize != 0;
    if (!external && ranged)
        return refuse(outcome, "a flash range works with external flash set-ups");
    Image inRange;
    if (ranged) {
        splitImage(image, options.rangeBase, options.rangeSize, inRange, outcome.memory);
        if (options.refuseOutside && !outcome.memory.segments.empty()) {
            const ImageSegment& first = outcome.memory.segments.front();
            char text[96];
            std::snprintf(
                text, sizeof text,
                "the data at 0x%08X-0x%08llX lies outside the flash at 0x%08X-0x%08llX",
                static_cast<unsigned>(first.address),
                static_cast<unsigned long long>(first.address + first.bytes.size() - 1),
                static_cast<unsigned>(options.rangeBase),
                static_cast<unsigned long long>(options.rangeBase + options.rangeSize - 1));
            return refuse(outcome, text);
        }
    }
    const Image& flash = ranged ? inRange : image;
    outcome.planned = external && (options.erase != EraseChoice::kNone || options.skipUnchanged ||
                                   options.dryRun || ranged);
    const uint32_t unit = eraseUnitSize(setup, options);
    if (outcome.planned && unit == 0)
        return refuse(outcome, "the sector size of this set-up is unknown: give a sector size");
    if (outcome.planned) outcome.plan = planFlash(flash.segments, unit);

    // A dry run without a comparison needs no probe at all.
    if (options.dryRun && !options.skipUnchanged) {
        outcome.toErase = outcome.plan.toProgram();
        return 0;
    }
    int32_t result = access.applySetup(setup);
    if (result != 0) {
        outcome.failed = FlashOutcome::Step::kSetup;
        return result;
    }
    auto start = Clock::now();
    if (options.skipUnchanged) {
        result = findUnchangedUnits(access, outcome);
        if (result != 0) return result;
        outcome.compareSeconds = since(start);
    }
    outcome.toErase = outcome.plan.toProgram();
    if (options.dryRun) return 0;

    if (options.erase != EraseChoice::kNone && outcome.planned) {
        start = Clock::now();
        result = eraseUnits(access, outcome.toErase, outcome);
        if (result != 0) return result;
        outcome.eraseSeconds = since(start);
    }
    start = Clock::now();
    // The whole file goes the fast way when it is all flash and nothing is left out.
    result = outcome.plan.skipped.empty() && !ranged ? access.writeImage(image, outcome.detail)
                                                     : programUnits(access, outcome.plan);
    if (result != 0) {
        outcome.programSeconds = since(start);
        outcome.failed = FlashOutcome::Step::kProgram;
        return result;
    }
    if (!outcome.memory.segments.empty() &&
        (result = access.loadMemory(outcome.memory, outcome.detail)) != 0) {
        outcome.failed = FlashOutcome::Step::kMemory;
        return result;
    }
    outcome.programSeconds = since(start);
    if (options.verify) {
        start = Clock::now();
        outcome.detail = 0;
        result = access.verifyImage(image, outcome.detail);
        outcome.verifySeconds = since(start);
        if (result != 0) {
            outcome.failed = FlashOutcome::Step::kVerify;
            return result;
        }
    }
    return 0;
}

int32_t runFlashBatch(FlashAccess& access, const FlashSettings& setup, const FlashOptions& options,
                      uint32_t unit, const std::vector<ImageSegment>& writes,
                      const std::vector<std::pair<uint32_t, uint32_t>>& erases,
                      FlashOutcome& outcome) {
    outcome = FlashOutcome{};
    outcome.options = options;
    outcome.planned = true;
    outcome.plan = planFlash(writes, unit);
    // The set-up is made again for each pass: a reset or another request in between may have
    // changed the probe's write mode.
    int32_t result = access.applySetup(setup);
    if (result != 0) {
        outcome.failed = FlashOutcome::Step::kSetup;
        return result;
    }
    if (options.skipUnchanged && (result = findUnchangedUnits(access, outcome)) != 0) return result;
    const std::vector<uint64_t> toProgram = outcome.plan.toProgram();
    // Units asked to be erased that hold nothing of the writes are erased all the same; those
    // found unchanged are left alone.
    std::set<uint64_t> toErase(toProgram.begin(), toProgram.end());
    for (const auto& [address, length] : erases) {
        for (uint64_t at = address - address % unit; at < uint64_t{address} + length; at += unit) {
            if (!outcome.plan.units.contains(at)) toErase.insert(at);
        }
    }
    outcome.toErase.assign(toErase.begin(), toErase.end());
    if (options.erase != EraseChoice::kNone &&
        (result = eraseUnits(access, outcome.toErase, outcome)) != 0)
        return result;
    if ((result = programUnits(access, outcome.plan)) != 0) {
        outcome.failed = FlashOutcome::Step::kProgram;
        return result;
    }
    if (options.verify) {
        for (const uint64_t at : toProgram) {
            if (unitUnchanged(access, outcome.plan.units.at(at), result)) continue;
            outcome.failed = FlashOutcome::Step::kVerify;
            outcome.failedAt = static_cast<uint32_t>(at);
            return result != 0 ? result : link::kVerifyFailed;
        }
    }
    return 0;
}

}  // namespace tov::files
