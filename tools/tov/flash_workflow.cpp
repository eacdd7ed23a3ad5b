// tov flash: the flash workflow below the tools run over the library's exports, and its report:
// each phase's time, the units erased, programmed and skipped; --dry-run prints the plan only.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "api_flash_access.h"
#include "arguments.h"
#include "file_transfer.h"
#include "files/flash_workflow.h"
#include "output.h"
#include "probe_session.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr int32_t kProgramFailed = -1209;
constexpr size_t kListedUnits = 8;

using Step = files::FlashOutcome::Step;

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

void printDryRun(const Invocation& call, const FileData& data, const files::FlashOutcome& outcome,
                 uint32_t offset) {
    const files::FlashPlan& plan = outcome.plan;
    const std::vector<uint64_t>& toErase = outcome.toErase;
    const EraseChoice erase = outcome.options.erase;
    const char* what = erase == EraseChoice::kChip ? "chip bank" : "sector";
    std::printf("%s: dry run, nothing is erased or programmed\n", call.command.c_str());
    if (erase == EraseChoice::kNone) {
        std::printf("would erase nothing\n");
    } else {
        std::printf("would erase %zu %s%s of 0x%X bytes%s%s\n", toErase.size(), what,
                    toErase.size() == 1 ? "" : "s", static_cast<unsigned>(plan.unit),
                    toErase.empty() ? "" : ": ", unitList(toErase).c_str());
    }
    std::printf("would program %llu of %s\n",
                static_cast<unsigned long long>(plan.bytesToProgram()),
                dataSummary(data, offset).c_str());
    if (!outcome.memory.segments.empty()) {
        std::printf("would write %s outside the flash as memory\n",
                    dataSummary(fileDataOf(outcome.memory), 0).c_str());
    }
    if (!plan.skipped.empty()) {
        std::printf("would skip %zu unchanged %s%s: %s\n", plan.skipped.size(), what,
                    plan.skipped.size() == 1 ? "" : "s", unitList(plan.skipped).c_str());
    }
}

int reportOutcome(const Invocation& call, int32_t result, const files::FlashOutcome& outcome) {
    switch (outcome.failed) {
        case Step::kErase:
            reportApiError(call.command, result);
            std::fprintf(stderr, "tov: %s: erasing at 0x%08X failed\n", call.command.c_str(),
                         static_cast<unsigned>(outcome.failedAt));
            return kExitFailed;
        case Step::kProgram:
            reportTransferError(call, result, outcome.detail);
            if (result == kProgramFailed && outcome.options.erase == EraseChoice::kNone) {
                std::fprintf(stderr,
                             "tov: %s: the flash may need erasing first: leave out --erase "
                             "none to erase the sectors the file touches\n",
                             call.command.c_str());
            }
            return kExitFailed;
        case Step::kVerify:
            return reportTransferError(call, result, outcome.detail);
        default:
            return reportApiError(call.command, result);
    }
}

}  // namespace

int runFlashWorkflow(const Invocation& call, const FileCommandLine& line, const FlashSetup& setup) {
    const std::string& path = line.words[0];
    FlashOptions options = files::optionsForSetup(setup, line.flash, line.eraseNamed);
    if (line.flashSize && !line.flashBase) failUsage(call, "--flash-size needs --flash-base ADDR");
    if (line.flashBase) {
        // Data outside the flash (an ELF's RAM sections) is written as memory.
        options.rangeBase = *line.flashBase;
        options.rangeSize = line.flashSize
                                ? *line.flashSize
                                : files::eraseUnitSize(setup, {.erase = EraseChoice::kChip});
        if (options.rangeSize == 0)
            failUsage(call, "the size of this set-up's flash is unknown: give --flash-size N");
    }
    const bool external = setup.kind == FlashKind::kExternal;
    if (!external && line.flashWorkflowGiven) {
        failUsage(call,
                  "--erase, --sector-size, --skip-unchanged and --dry-run work with external "
                  "flash set-ups; on-chip flash is erased with tov erase");
    }
    const bool planned = external && (options.erase != EraseChoice::kNone ||
                                      options.skipUnchanged || options.dryRun || line.flashBase);
    if (planned && files::eraseUnitSize(setup, options) == 0) {
        failUsage(call, "the sector size of this set-up is unknown: give --sector-size N");
    }

    // The file is read whole before anything is planned or sent.
    const std::optional<files::Image> image = requireImage(call, line);
    if (!image) return kExitFailed;
    const FileData data = fileDataOf(*image);
    ApiFlashAccess access(call.command, path, imageOptionsFor(line));
    files::FlashOutcome outcome;

    // A dry run without a comparison needs no probe at all.
    if (options.dryRun && !options.skipUnchanged) {
        files::runFlashWorkflow(access, *image, setup, options, outcome);
        printDryRun(call, data, outcome, line.offset);
        return kExitOk;
    }

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t result = files::runFlashWorkflow(access, *image, setup, options, outcome);
    if (result != 0) return reportOutcome(call, result, outcome);
    if (options.dryRun) {
        printDryRun(call, data, outcome, line.offset);
        return kExitOk;
    }

    std::printf("programmed %s (%s)", path.c_str(), dataSummary(data, line.offset).c_str());
    if (planned) {
        const char* what = options.erase == EraseChoice::kChip ? "chip banks" : "sectors";
        std::printf(": %s erased %zu, programmed %zu, skipped %zu", what, outcome.erased,
                    outcome.toErase.size(), outcome.plan.skipped.size());
    }
    if (!outcome.memory.segments.empty()) {
        std::printf("; %s outside the flash written as memory",
                    dataSummary(fileDataOf(outcome.memory), 0).c_str());
    }
    std::printf("; ");
    if (options.skipUnchanged) std::printf("compare %.2f s, ", outcome.compareSeconds);
    if (options.erase != EraseChoice::kNone && external)
        std::printf("erase %.2f s, ", outcome.eraseSeconds);
    std::printf("program %.2f s", outcome.programSeconds);
    if (options.verify) std::printf(", verify %.2f s", outcome.verifySeconds);
    std::printf("\n");
    return kExitOk;
}

}  // namespace tov::cli
