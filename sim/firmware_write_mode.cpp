// Set write mode and write block of the simulated firmware, and how data is applied per mode.
#include "sim/firmware_write_mode.h"

#include <algorithm>
#include <bit>

#include "files/flash_types.h"
#include "sim/chip_flash.h"
#include "sim/target_bus.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kSetWriteModeSize = 1 + 1 + 1 + 4 + 4 + 4;
constexpr size_t kWriteBlockHeader = 1 + 4 + 2;  // code, address, length
// Target RAM the probe claims at the workspace for its programming routine and buffers.
constexpr uint32_t kWorkspaceSize = 256;
// The probe programs these paged types in pieces of 32 bytes and takes no more per request.
constexpr size_t kPagedPiece = 32;
// The row-mask format of the 32-bit controllers' row-organised flash.
constexpr uint8_t kRowFlashType = 16;
constexpr uint32_t kRowMaskFormat = 0x80000000;
constexpr size_t kRow = 64;
constexpr uint32_t kRowBlockStride = 0x8000;

bool inRom(uint32_t address) {
    return address >= TargetMemory::kRomFirst && address <= TargetMemory::kRomLast;
}

// The first address of the range that a plain memory write cannot store into, if any: one that
// is not accessible or lies in flash.
bool firstUnwritable(const WriteTargets& t, uint32_t address, size_t n, uint32_t& at) {
    bool found = false;
    forEachPlace(
        t.flash, t.chip, address, n, [&](uint32_t from, size_t, size_t length, BusPlace place) {
            const std::optional<uint32_t> bad =
                place == BusPlace::Memory ? t.memory.firstInaccessible(from, length) : from;
            if (bad) at = *bad;
            found = bad.has_value();
            return !found;
        });
    return found;
}

// The offset of the first byte that differs, or data.size() when none does.
size_t firstDifference(std::span<const uint8_t> found, std::span<const uint8_t> data) {
    return static_cast<size_t>(std::mismatch(data.begin(), data.end(), found.begin()).first -
                               data.begin());
}

WriteOutcome writeMemory(WriteTargets& t, uint32_t address, std::span<const uint8_t> data) {
    uint32_t at = 0;
    if (firstUnwritable(t, address, data.size(), at)) return {kWriteFailed, at};
    t.memory.write(address, data);
    // Read-only memory takes the bus cycles and keeps its contents: only reading back shows it.
    const uint64_t last = uint64_t{address} + data.size() - 1;
    const bool wraps = last > 0xFFFFFFFFu;
    if (!wraps && (last < TargetMemory::kRomFirst || address > TargetMemory::kRomLast)) return {};
    std::vector<uint8_t> back(data.size());
    t.memory.read(address, back);
    const size_t differs = firstDifference(back, data);
    if (differs < data.size()) return {kWriteFailed, address + static_cast<uint32_t>(differs)};
    return {};
}

WriteOutcome verifyMemory(const WriteTargets& t, uint32_t address, std::span<const uint8_t> data) {
    std::vector<uint8_t> found(data.size());
    WriteOutcome outcome;
    // Stretch by stretch: the on-chip flash, a flash bank's array, or plain memory.
    forEachPlace(t.flash, t.chip, address, data.size(),
                 [&](uint32_t at, size_t done, size_t length, BusPlace place) {
                     uint8_t* out = found.data() + done;
                     size_t readable = length;
                     if (place == BusPlace::Chip) {
                         t.chip.read(at, out, length);
                     } else if (place == BusPlace::Bank) {
                         t.flash.readArray(at, out, length);
                     } else if (const auto bad = t.memory.firstInaccessible(at, length)) {
                         // Bytes before the first inaccessible one are still compared first.
                         readable = *bad - at;
                         t.memory.read(at, std::span<uint8_t>(out, readable));
                     } else {
                         t.memory.read(at, std::span<uint8_t>(out, length));
                     }
                     const size_t differs = firstDifference(std::span<const uint8_t>(out, readable),
                                                            data.subspan(done, readable));
                     if (differs == length) return true;
                     outcome = {kVerifyFailed, at + static_cast<uint32_t>(differs)};
                     return false;
                 });
    return outcome;
}

// Programs stretch by stretch, so that the bytes before a failing one stay programmed.
WriteOutcome programFlash(WriteTargets& t, uint32_t address, std::span<const uint8_t> data) {
    WriteOutcome outcome;
    forEachPlace(t.flash, t.chip, address, data.size(),
                 [&](uint32_t at, size_t done, size_t length, BusPlace place) {
                     const uint8_t* bytes = data.data() + done;
                     const uint32_t detail = place == BusPlace::Chip
                                                 ? t.chip.program(at, bytes, length)
                                                 : t.flash.program(at, bytes, length);
                     if (detail != 0) outcome = {kProgramFailed, detail};
                     return detail == 0;
                 });
    return outcome;
}

// Unpacks a row-mask block: row k (bit 7 - k of the mask) at address + k * 0x8000.
WriteOutcome programRows(WriteTargets& t, uint32_t address, std::span<const uint8_t> data) {
    if (data.empty()) return {kBadRequest, address};
    const uint8_t mask = data[0];
    const size_t rows = static_cast<size_t>(std::popcount(mask));
    if (data.size() != 1 + kRow * rows) return {kBadRequest, address};
    size_t next = 1;
    for (uint32_t k = 0; k < 8; ++k) {
        if ((mask & (0x80 >> k)) == 0) continue;
        const WriteOutcome outcome =
            programFlash(t, address + k * kRowBlockStride, data.subspan(next, kRow));
        if (outcome.status != kWriteOk) return outcome;
        next += kRow;
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

bool validExternal(const files::FlashType* type, uint8_t busWidth, uint32_t mask) {
    return type && validBusWidth(busWidth) && busWidth >= type->chipWidth && validAddressMask(mask);
}

// On-chip flash has no banks to mask: the set-ups send 0 or a mask of their own making.
bool validOnChip(uint8_t type, uint8_t busWidth) {
    return isOnChipFlashType(type) && (busWidth == 1 || busWidth == 2 || busWidth == 4);
}

uint8_t checkFlashMode(const WriteTargets& t, const WriteMode& wanted) {
    const files::FlashType* type = files::findFlashType(wanted.mode);
    if (!type && !isOnChipFlashType(wanted.mode)) return kWriteModeUnknown;
    if (!validOnChip(wanted.mode, wanted.accessOrBusWidth) &&
        !validExternal(type, wanted.accessOrBusWidth, wanted.addressMask)) {
        return kWriteModeBadParameter;
    }
    if (!usableWorkspace(t.memory, t.flash, t.chip, wanted.workspace)) return kWriteModeNoWorkspace;
    return kWriteModeOk;
}

bool pagedPieces(uint8_t mode) {
    return mode == 14 || mode == 18 || mode == 20;
}

}  // namespace

bool usableWorkspace(const TargetMemory& memory, const FlashBanks& flash, const ChipFlash& chip,
                     uint32_t workspace) {
    const uint32_t last = workspace + kWorkspaceSize - 1;
    return last > workspace && memory.accessible(workspace, kWorkspaceSize) && !inRom(workspace) &&
           !inRom(last) && !flash.overlaps(workspace, kWorkspaceSize) &&
           !chip.overlaps(workspace, kWorkspaceSize);
}

WriteOutcome applyWrite(const WriteMode& mode, WriteTargets& targets,
                        ProgrammedBlock::Source source, uint32_t address,
                        std::span<const uint8_t> data) {
    switch (mode.mode) {
        case WriteMode::kWrite:
            return writeMemory(targets, address, data);
        case WriteMode::kVerify:
            return verifyMemory(targets, address, data);
        default:
            break;
    }
    if (targets.log && targets.log->size() < kProgrammedBlocksKept) {
        targets.log->push_back({source, address, static_cast<uint32_t>(data.size()),
                                data.empty() ? uint8_t{0xFF} : data[0]});
    }
    if (mode.mode == kRowFlashType && (mode.parameter & kRowMaskFormat) != 0) {
        return programRows(targets, address, data);
    }
    return programFlash(targets, address, data);
}

std::vector<uint8_t> setWriteMode(WriteMode& mode, const WriteTargets& targets,
                                  std::span<const uint8_t> request) {
    if (request.size() != kSetWriteModeSize) return {kSetWriteMode, kWriteModeBadParameter};
    WriteMode wanted;
    wanted.mode = request[1];
    wanted.accessOrBusWidth = request[2];
    wanted.addressMask = readU32(request, 3);
    wanted.workspace = readU32(request, 7);
    wanted.parameter = readU32(request, 11);
    if (wanted.mode != WriteMode::kWrite && wanted.mode != WriteMode::kVerify) {
        const uint8_t status = checkFlashMode(targets, wanted);
        if (status != kWriteModeOk) return {kSetWriteMode, status};
    }
    mode = wanted;
    return {kSetWriteMode, kWriteModeOk};
}

std::vector<uint8_t> writeBlock(const WriteMode& mode, WriteTargets& targets,
                                std::span<const uint8_t> request) {
    std::vector<uint8_t> answer{kWriteBlock};
    if (request.size() < kWriteBlockHeader ||
        request.size() != kWriteBlockHeader + readU16(request, 5) ||
        (pagedPieces(mode.mode) && request.size() - kWriteBlockHeader > kPagedPiece)) {
        answer.push_back(kBadRequest);
        appendU32(answer, 0);
        return answer;
    }
    const uint32_t address = readU32(request, 1);
    const std::span<const uint8_t> data = request.subspan(kWriteBlockHeader);
    const WriteOutcome outcome =
        applyWrite(mode, targets, ProgrammedBlock::Source::WriteBlock, address, data);
    answer.push_back(outcome.status);
    appendU32(answer,
              outcome.status == kWriteOk ? static_cast<uint32_t>(data.size()) : outcome.detail);
    return answer;
}

}  // namespace tov::sim
