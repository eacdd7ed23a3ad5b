// tov flash: plans the sectors a file touches, leaves unchanged ones alone, erases and programs
// the rest, verifies on request, and reports each phase; --dry-run only prints the plan.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "file_transfer.h"
#include "flash_plan.h"
#include "flash_steps.h"
#include "image_input.h"
#include "output.h"
#include "probe_session.h"
#include "progress.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr int32_t kProgramFailed = -1209;
constexpr size_t kListedUnits = 8;

using Clock = std::chrono::steady_clock;

// Seconds spent in each phase, and the counts of the summary.
struct FlashReport {
    double read = 0;
    double erase = 0;
    double program = 0;
    double verify = 0;
    size_t erased = 0;
    size_t programmed = 0;
    size_t skipped = 0;
};

std::string unitList(const std::vector<uint64_t>& units) {
    std::string text;
    for (size_t i = 0; i < units.size() && i < kListedUnits; ++i) {
        char item[16];
        std::snprintf(item, sizeof item, "%s0x%08llX", i == 0 ? "" : ", ",
                      static_cast<unsigned long long>(units[i]));
        text += item;
    }
    if (units.size() > kListedUnits) text += ", ...";
    return text;
}

void printDryRun(const Invocation& call, const FileData& data, const FlashPlan& plan,
                 const std::vector<uint64_t>& toErase, EraseChoice erase, uint32_t offset) {
    const char* what = erase == EraseChoice::kChip ? "chip bank" : "sector";
    std::printf("%s: dry run, nothing is erased or programmed\n", call.command.c_str());
    if (erase == EraseChoice::kNone) {
        std::printf("would erase nothing\n");
    } else {
        std::printf("would erase %zu %s%s of 0x%X bytes%s%s\n", toErase.size(), what,
                    toErase.size() == 1 ? "" : "s", static_cast<unsigned>(plan.unit),
                    toErase.empty() ? "" : ": ", unitList(toErase).c_str());
    }
    uint64_t bytes = 0;
    for (const auto& [unit, unitBytes] : plan.units) {
        if (std::find(plan.skipped.begin(), plan.skipped.end(), unit) == plan.skipped.end())
            bytes += unitBytes.size();
    }
    std::printf("would program %llu of %s\n", static_cast<unsigned long long>(bytes),
                dataSummary(data, offset).c_str());
    if (!plan.skipped.empty()) {
        std::printf("would skip %zu unchanged %s%s: %s\n", plan.skipped.size(), what,
                    plan.skipped.size() == 1 ? "" : "s", unitList(plan.skipped).c_str());
    }
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int runFlashWorkflow(const Invocation& call, const FileCommandLine& line, const FlashSetup& setup,
                     FileFunction program) {
    const std::string& path = line.words[0];
    const FlashOptions options = flashOptionsFor(call, line, setup);
    const bool external = setup.kind == FlashKind::kExternal;
    if (!external && line.flashWorkflowGiven) {
        failUsage(call,
                  "--erase, --sector-size, --skip-unchanged and --dry-run work with external "
                  "flash set-ups; on-chip flash is erased with tov erase");
    }
    const bool planned = external && (options.erase != EraseChoice::kNone ||
                                      options.skipUnchanged || options.dryRun);
    const uint32_t unit = eraseUnitSize(setup, options);
    if (planned && unit == 0) {
        failUsage(call, "the sector size of this set-up is unknown: give --sector-size N");
    }

    // ELF, Intel HEX and raw binary files are turned into S-records before anything is planned
    // or sent.
    ImageInput input;
    if (std::string error; !input.prepare(path, line.base, error))
        return reportFailure(call.command + ": " + error);
    const std::optional<FileData> data =
        requireFileData(call, input.path(), line.offset, planned);
    if (!data) return kExitFailed;
    FlashPlan plan = planned ? planFlash(*data, unit) : FlashPlan{};
    FlashReport report;

    // A dry run without a comparison needs no probe at all.
    if (options.dryRun && !options.skipUnchanged) {
        std::vector<uint64_t> units;
        for (const auto& entry : plan.units) units.push_back(entry.first);
        printDryRun(call, *data, plan, units, options.erase, line.offset);
        return kExitOk;
    }

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    int32_t result = applyFlashSetup(setup);
    if (result != 0) return reportApiError(call.command, result);

    auto start = Clock::now();
    if (options.skipUnchanged) {
        result = findUnchangedUnits(plan);
        if (result != 0) return reportApiError(call.command, result);
        report.read = since(start);
    }
    const std::vector<uint64_t> toErase = unitsToProgram(plan);
    report.skipped = plan.skipped.size();
    report.programmed = planned ? toErase.size() : 0;
    if (options.dryRun) {
        printDryRun(call, *data, plan, toErase, options.erase, line.offset);
        return kExitOk;
    }

    start = Clock::now();
    if (options.erase != EraseChoice::kNone) {
        uint32_t failedAt = 0;
        result = eraseUnits(toErase, options.erase, failedAt);
        if (result != 0) {
            reportApiError(call.command, result);
            std::fprintf(stderr, "tov: %s: erasing at 0x%08X failed\n", call.command.c_str(),
                         static_cast<unsigned>(failedAt));
            return kExitFailed;
        }
        report.erased = toErase.size();
        report.erase = since(start);
    }

    start = Clock::now();
    uint32_t detail = 0;
    if (plan.skipped.empty()) {
        result = runWithDataProgress(call, input.path(), line.offset, program, *data, detail);
    } else {
        result = programUnits(plan);
    }
    report.program = since(start);
    if (result != 0) {
        reportTransferError(call, result, detail);
        if (result == kProgramFailed && options.erase == EraseChoice::kNone) {
            std::fprintf(stderr,
                         "tov: %s: the flash may need erasing first: leave out --erase "
                         "none to erase the sectors the file touches\n",
                         call.command.c_str());
        }
        return kExitFailed;
    }

    if (options.verify) {
        start = Clock::now();
        detail = 0;
        result = runWithDataProgress(call, input.path(), line.offset, TOV_VerifyFile2, *data, detail);
        report.verify = since(start);
        if (result != 0) return reportTransferError(call, result, detail);
    }

    std::printf("programmed %s (%s)", path.c_str(), dataSummary(*data, line.offset).c_str());
    if (planned) {
        const char* what = options.erase == EraseChoice::kChip ? "chip banks" : "sectors";
        std::printf(": %s erased %zu, programmed %zu, skipped %zu", what, report.erased,
                    report.programmed, report.skipped);
    }
    std::printf("; ");
    if (options.skipUnchanged) std::printf("compare %.2f s, ", report.read);
    if (options.erase != EraseChoice::kNone && external)
        std::printf("erase %.2f s, ", report.erase);
    std::printf("program %.2f s", report.program);
    if (options.verify) std::printf(", verify %.2f s", report.verify);
    std::printf("\n");
    return kExitOk;
}

}  // namespace tov::cli
