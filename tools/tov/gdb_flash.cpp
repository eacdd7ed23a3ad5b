// One flash pass for the GDB client through the workflow's batch pass, told to the server's user.
#include "gdb_flash.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "api_flash_access.h"
#include "file_data.h"
#include "file_transfer.h"
#include "files/flash_workflow.h"
#include "output.h"

namespace tov::cli {

namespace {

constexpr const char* kCommand = "gdbserver";
constexpr int32_t kVerifyFailed = -1210;

gdb::FlashFailure failed(gdb::FlashFailure step, int32_t code, const char* what, uint32_t at) {
    reportApiError(kCommand, code);
    std::fprintf(stderr, "tov: %s: %s at 0x%08X failed\n", kCommand, what,
                 static_cast<unsigned>(at));
    return step;
}

}  // namespace

gdb::FlashFailure GdbFlash::program(const gdb::FlashBatch& batch) {
    using Step = files::FlashOutcome::Step;
    const auto start = std::chrono::steady_clock::now();
    files::Image writes;
    for (const auto& [address, bytes] : batch.writes) {
        writes.segments.push_back({address, bytes});
        writes.dataBytes += bytes.size();
    }
    ApiFlashAccess access;
    files::FlashOutcome outcome;
    const int32_t result = files::runFlashBatch(access, setup_, options_, unit_, writes.segments,
                                                batch.erases, outcome);
    switch (outcome.failed) {
        case Step::kNone:
            break;
        case Step::kErase:
            return failed(gdb::FlashFailure::Erase, result, "erasing", outcome.failedAt);
        case Step::kProgram:
            reportApiError(kCommand, result);
            if (options_.erase == EraseChoice::kNone) {
                std::fprintf(stderr,
                             "tov: %s: the flash may need erasing first: leave out --erase "
                             "none to erase the sectors GDB loads into\n",
                             kCommand);
            }
            return gdb::FlashFailure::Program;
        case Step::kVerify:
            if (result != kVerifyFailed)
                return failed(gdb::FlashFailure::Verify, result, "verifying", outcome.failedAt);
            std::fprintf(stderr, "tov: %s: the flash at 0x%08X differs from what was written\n",
                         kCommand, static_cast<unsigned>(outcome.failedAt));
            return gdb::FlashFailure::Verify;
        default:
            reportApiError(kCommand, result);
            return gdb::FlashFailure::Program;
    }
    const char* what = options_.erase == EraseChoice::kChip ? "chip banks" : "sectors";
    if (writes.segments.empty()) {
        std::printf("gdbserver: flash: %s erased %zu in %.2f s\n", what, outcome.erased,
                    secondsSince(start));
    } else {
        std::printf(
            "gdbserver: flash: %s: %s erased %zu, programmed %zu, skipped %zu%s in %.2f s\n",
            dataSummary(fileDataOf(writes), 0).c_str(), what, outcome.erased,
            outcome.plan.toProgram().size(), outcome.plan.skipped.size(),
            options_.verify ? ", verified" : "", secondsSince(start));
    }
    std::fflush(stdout);
    return gdb::FlashFailure::None;
}

}  // namespace tov::cli
