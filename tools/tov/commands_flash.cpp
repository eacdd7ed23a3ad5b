// Flash commands of tov: describe a flash set-up, erase a sector or a chip, and program an
// S-record file. Each takes the set-up itself (--type or $TOV_FLASH_TYPE), because the library
// forgets it at every connection and every tov command connects anew.
#include <cstdint>
#include <cstdio>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "file_transfer.h"
#include "flash_setup.h"
#include "output.h"
#include "probe_session.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr uint16_t kEraseChip = 2;
constexpr uint16_t kEraseSector = 0;

// The erase call for the set-up's kind of flash; on-chip flashes that the probe erases by
// itself take the blocks to erase from `selection`.
int32_t eraseFlash(const FlashSetup& setup, uint16_t mode, uint32_t address, uint32_t selection) {
    const uint16_t sector = mode == kEraseChip ? 0 : 1;
    switch (setup.kind) {
        case FlashKind::kPaged:
            return TOV_FlashEraseHC12(address, selection);
        case FlashKind::kRows:
            return TOV_FlashErase555(address, selection, sector, setup.parameter, setup.workspace);
        case FlashKind::kUc3f:
            return TOV_FlashEraseUC3F(address, selection, sector, setup.workspace);
        case FlashKind::kExternal:
        case FlashKind::kSgfm:
            break;
    }
    return mode == kEraseChip ? TOV_FlashErase(kEraseChip, address) : TOV_FlashEraseSector(address);
}

int runErase(const Invocation& call, uint16_t mode) {
    const FileCommandLine line = splitFileOptions(call, {.type = true, .select = true});
    if (line.words.size() != 1) {
        failUsage(call, "expected " + call.command + " ADDR --type SETUP [--select N]");
    }
    const uint32_t address = numberArgument(call, "ADDR", line.words[0], 0xFFFFFFFF);
    const FlashSetup setup = requireFlashSetup(call, line);

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    int32_t result = applyFlashSetup(setup);
    if (result == 0) result = eraseFlash(setup, mode, address, line.selection);
    if (result != 0) return reportApiError(call.command, result);
    const bool selected =
        setup.kind != FlashKind::kExternal && setup.kind != FlashKind::kSgfm && line.selection != 0;
    if (selected) {
        std::printf("erased the flash blocks selected by 0x%08X at 0x%08X\n",
                    static_cast<unsigned>(line.selection), static_cast<unsigned>(address));
    } else {
        std::printf("erased the flash %s at 0x%08X\n", mode == kEraseChip ? "chip" : "sector",
                    static_cast<unsigned>(address));
    }
    return kExitOk;
}

}  // namespace

int runFlashType(const Invocation& call) {
    if (call.args.size() > 1 && call.args.size() != 4) {
        failUsage(call,
                  "expected flash-type TYPE CHIPSIZE BUSBITS WORKSPACE, or one set-up text, "
                  "or none for $" +
                      std::string(kFlashTypeVariable));
    }
    FlashSetup setup;
    if (call.args.size() <= 1) {
        FileCommandLine line;
        if (call.args.size() == 1) line.typeText = call.args[0];
        setup = requireFlashSetup(call, line);
    } else {
        setup.type = static_cast<uint16_t>(numberArgument(call, "TYPE", call.args[0], 0xFFFF));
        setup.chipSize = numberArgument(call, "CHIPSIZE", call.args[1], 0xFFFFFFFF);
        setup.busBits =
            static_cast<uint16_t>(numberArgument(call, "BUSBITS", call.args[2], 0xFFFF));
        setup.workspace = numberArgument(call, "WORKSPACE", call.args[3], 0xFFFFFFFF);
        const int32_t result = applyFlashSetup(setup);
        if (result != 0) failUsage(call, refusedSetupText(result));
    }
    std::fputs(describeFlashSetup(setup).c_str(), stdout);
    const std::string text = flashSetupText(setup);
    std::printf("use:         --type %s  (or %s=%s)\n", text.c_str(), kFlashTypeVariable.data(),
                text.c_str());
    return kExitOk;
}

int runEraseSector(const Invocation& call) {
    return runErase(call, kEraseSector);
}

int runEraseChip(const Invocation& call) {
    return runErase(call, kEraseChip);
}

int runFlash(const Invocation& call) {
    const FileCommandLine line =
        splitFileOptions(call, {.offset = true, .base = true, .type = true, .flash = true});
    if (line.words.size() != 1)
        failUsage(call, "expected flash FILE [--offset N] [--base ADDR] --type SETUP");
    const FlashSetup setup = requireFlashSetup(call, line);
    // Row-organised flash of type 16 takes the whole file as one image of its rows.
    if (setup.kind == FlashKind::kRows && setup.type == 16) {
        if (line.offset != 0) failUsage(call, "--offset is not taken with a 555:16 set-up");
    }
    return runFlashWorkflow(call, line, setup);
}

}  // namespace tov::cli
