// The probe's own flash erase requests.
#include "sim/firmware_flash_erase.h"

#include "files/flash_types.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kEraseRequestSize = 1 + 1 + 1 + 4 + 4 + 4 + 4;
constexpr uint32_t kWorkspaceSize = 256;

bool inRom(uint32_t address) {
    return address >= TargetMemory::kRomFirst && address <= TargetMemory::kRomLast;
}

bool usableWorkspace(const TargetMemory& memory, const FlashBanks& flash, uint32_t workspace) {
    const uint32_t last = workspace + kWorkspaceSize - 1;
    return last > workspace && memory.accessible(workspace, kWorkspaceSize) && !inRom(workspace) &&
           !inRom(last) && !flash.overlaps(workspace, kWorkspaceSize);
}

}  // namespace

std::vector<uint8_t> flashErase(FlashBanks& flash, const TargetMemory& memory,
                                std::span<const uint8_t> request) {
    if (request.size() != kEraseRequestSize) return {kFlashErase, kEraseBadParameter};
    const files::FlashType* type = files::findFlashType(request[1]);
    if (!type || type->erase != files::EraseMethod::kInProbe)
        return {kFlashErase, kEraseUnknownType};
    const bool sector = request[2] != 0;
    const uint32_t address = readU32(request, 7);
    const uint32_t workspace = readU32(request, 11);
    if (!usableWorkspace(memory, flash, workspace)) return {kFlashErase, kEraseNoWorkspace};
    if (!flash.startProbeErase(address, sector)) return {kFlashErase, kEraseBadParameter};
    return {kFlashErase, kEraseStarted};
}

std::vector<uint8_t> flashEraseResult(FlashBanks& flash, std::span<const uint8_t> request) {
    if (request.size() != 1) return {kUnknownRequestAnswer};
    const FlashBanks::ProbeEraseState state = flash.waitProbeErase();
    std::vector<uint8_t> answer{kFlashEraseResult, static_cast<uint8_t>(state.failed ? 1 : 0)};
    appendU32(answer, state.failed ? state.detail : 0);
    return answer;
}

}  // namespace tov::sim
