// Set write mode and write block of the simulated firmware, and how data is applied per mode.
#include "sim/firmware_write_mode.h"

#include "files/flash_types.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kSetWriteModeSize = 1 + 1 + 1 + 4 + 4 + 4;
constexpr size_t kWriteBlockHeader = 1 + 4 + 2;  // code, address, length
// Target RAM the probe claims at the workspace for its programming routine and buffers.
constexpr uint32_t kWorkspaceSize = 256;

bool inRom(uint32_t address) {
    return address >= TargetMemory::kRomFirst && address <= TargetMemory::kRomLast;
}

// The first address of the range that a plain memory write cannot store into, if any.
bool firstUnwritable(const TargetMemory& memory, const FlashBanks& flash, uint32_t address,
                     size_t n, uint32_t& at) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = address + static_cast<uint32_t>(i);
        if (!memory.accessible(a, 1) || flash.contains(a)) {
            at = a;
            return true;
        }
    }
    return false;
}

WriteOutcome writeMemory(TargetMemory& memory, const FlashBanks& flash, uint32_t address,
                         std::span<const uint8_t> data) {
    uint32_t at = 0;
    if (firstUnwritable(memory, flash, address, data.size(), at)) return {kWriteFailed, at};
    memory.write(address, data);
    // Read-only memory takes the bus cycles and keeps its contents: only reading back shows it.
    std::vector<uint8_t> back(data.size());
    memory.read(address, back);
    for (size_t i = 0; i < data.size(); ++i) {
        if (back[i] != data[i]) return {kWriteFailed, address + static_cast<uint32_t>(i)};
    }
    return {};
}

WriteOutcome verifyMemory(const TargetMemory& memory, const FlashBanks& flash, uint32_t address,
                          std::span<const uint8_t> data) {
    for (size_t i = 0; i < data.size(); ++i) {
        const uint32_t a = address + static_cast<uint32_t>(i);
        uint8_t value = 0;
        if (flash.contains(a)) {
            flash.readArray(a, &value, 1);
        } else if (!memory.read(a, std::span<uint8_t>(&value, 1))) {
            return {kVerifyFailed, a};
        }
        if (value != data[i]) return {kVerifyFailed, a};
    }
    return {};
}

bool validBusWidth(uint8_t width) {
    return width == 1 || width == 2 || width == 4 || width == 8;
}

// A bank mask is a run of ones from the top: the bank size is a power of two below 4 GiB.
bool validAddressMask(uint32_t mask) {
    const uint32_t offsets = ~mask;
    return mask != 0 && (offsets & (offsets + 1)) == 0;
}

uint8_t checkFlashMode(const files::FlashType& type, const TargetMemory& memory,
                       const FlashBanks& flash, uint8_t busWidth, uint32_t mask,
                       uint32_t workspace) {
    if (!validBusWidth(busWidth) || busWidth < type.chipWidth || !validAddressMask(mask)) {
        return kWriteModeBadParameter;
    }
    const uint32_t last = workspace + kWorkspaceSize - 1;
    if (last < workspace || !memory.accessible(workspace, kWorkspaceSize) || inRom(workspace) ||
        inRom(last) || flash.overlaps(workspace, kWorkspaceSize)) {
        return kWriteModeNoWorkspace;
    }
    return kWriteModeOk;
}

}  // namespace

WriteOutcome applyWrite(const WriteMode& mode, TargetMemory& memory, FlashBanks& flash,
                        uint32_t address, std::span<const uint8_t> data) {
    switch (mode.mode) {
        case WriteMode::kWrite:
            return writeMemory(memory, flash, address, data);
        case WriteMode::kVerify:
            return verifyMemory(memory, flash, address, data);
        default: {
            const uint32_t detail = flash.program(address, data.data(), data.size());
            if (detail != 0) return {kProgramFailed, detail};
            return {};
        }
    }
}

std::vector<uint8_t> setWriteMode(WriteMode& mode, const TargetMemory& memory,
                                  const FlashBanks& flash, std::span<const uint8_t> request) {
    if (request.size() != kSetWriteModeSize) return {kSetWriteMode, kWriteModeBadParameter};
    WriteMode wanted;
    wanted.mode = request[1];
    wanted.accessOrBusWidth = request[2];
    wanted.addressMask = readU32(request, 3);
    wanted.workspace = readU32(request, 7);
    wanted.parameter = readU32(request, 11);
    if (wanted.mode != WriteMode::kWrite && wanted.mode != WriteMode::kVerify) {
        const files::FlashType* type = files::findFlashType(wanted.mode);
        if (!type) return {kSetWriteMode, kWriteModeUnknown};
        const uint8_t status = checkFlashMode(*type, memory, flash, wanted.accessOrBusWidth,
                                              wanted.addressMask, wanted.workspace);
        if (status != kWriteModeOk) return {kSetWriteMode, status};
    }
    mode = wanted;
    return {kSetWriteMode, kWriteModeOk};
}

std::vector<uint8_t> writeBlock(const WriteMode& mode, TargetMemory& memory, FlashBanks& flash,
                                std::span<const uint8_t> request) {
    std::vector<uint8_t> answer{kWriteBlock};
    if (request.size() < kWriteBlockHeader ||
        request.size() != kWriteBlockHeader + readU16(request, 5)) {
        answer.push_back(kBadRequest);
        appendU32(answer, 0);
        return answer;
    }
    const uint32_t address = readU32(request, 1);
    const std::span<const uint8_t> data = request.subspan(kWriteBlockHeader);
    const WriteOutcome outcome = applyWrite(mode, memory, flash, address, data);
    answer.push_back(outcome.status);
    appendU32(answer,
              outcome.status == kWriteOk ? static_cast<uint32_t>(data.size()) : outcome.detail);
    return answer;
}

}  // namespace tov::sim
