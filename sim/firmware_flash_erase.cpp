// The probe's own flash erase requests.
#include "sim/firmware_flash_erase.h"

#include "files/flash_types.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kEraseRequestSize = 1 + 1 + 1 + 4 + 4 + 4 + 4;

bool erasedOnBanks(uint8_t code) {
    const files::FlashType* type = files::findFlashType(code);
    return type && type->erase == files::EraseMethod::kInProbe;
}

}  // namespace

std::vector<uint8_t> flashErase(WriteTargets& targets, std::span<const uint8_t> request) {
    if (request.size() != kEraseRequestSize) return {kFlashErase, kEraseBadParameter};
    const uint8_t type = request[1];
    if (!erasedOnBanks(type) && !isOnChipFlashType(type)) return {kFlashErase, kEraseUnknownType};
    const bool sector = request[2] != 0;
    const uint32_t selection = readU32(request, 3);
    const uint32_t address = readU32(request, 7);
    const uint32_t workspace = readU32(request, 11);
    if (!usableWorkspace(targets.memory, targets.flash, targets.chip, workspace)) {
        return {kFlashErase, kEraseNoWorkspace};
    }
    if (isOnChipFlashType(type) && targets.chip.contains(address)) {
        // The on-chip erase is done by the time the probe answers; its result waits for 0x91.
        const bool erased = targets.chip.erase(address, sector, selection);
        return {kFlashErase, erased ? kEraseStarted : kEraseBadParameter};
    }
    if (!erasedOnBanks(type) || !targets.flash.startProbeErase(address, sector)) {
        return {kFlashErase, kEraseBadParameter};
    }
    targets.chip.forgetErase();
    return {kFlashErase, kEraseStarted};
}

std::vector<uint8_t> flashEraseResult(WriteTargets& targets, std::span<const uint8_t> request) {
    if (request.size() != 1) return {kUnknownRequestAnswer};
    bool failed = false;
    uint32_t detail = 0;
    if (const auto& chip = targets.chip.lastErase()) {
        failed = chip->failed;
        detail = chip->firstFailed;
    } else {
        const FlashBanks::ProbeEraseState state = targets.flash.waitProbeErase();
        failed = state.failed;
        detail = state.detail;
    }
    std::vector<uint8_t> answer{kFlashEraseResult, static_cast<uint8_t>(failed ? 1 : 0)};
    appendU32(answer, failed ? detail : 0);
    return answer;
}

}  // namespace tov::sim
