// The firmware's write mode (Set write mode, 0x8D) and the write-block request (0x85): what data
// from a write block or a download does to the target in the current mode.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "files/write_status.h"
#include "sim/chip_flash.h"
#include "sim/flash_bank.h"
#include "sim/target_memory.h"

namespace tov::sim {

inline constexpr uint8_t kSetWriteMode = 0x8D;
inline constexpr uint8_t kWriteBlock = 0x85;

// Status bytes of Set write mode.
inline constexpr uint8_t kWriteModeOk = 0;
inline constexpr uint8_t kWriteModeUnknown = 1;
inline constexpr uint8_t kWriteModeNoWorkspace = 3;
inline constexpr uint8_t kWriteModeBadParameter = 4;

// Status bytes of a write block answer and of a download acknowledgement.
inline constexpr uint8_t kWriteOk = files::kWriteStatusOk;
inline constexpr uint8_t kWriteFailed = files::kWriteStatusNotWritten;
inline constexpr uint8_t kVerifyFailed = files::kWriteStatusDiffers;
inline constexpr uint8_t kProgramFailed = files::kWriteStatusNotProgrammed;
inline constexpr uint8_t kBadRequest = files::kWriteStatusBadRequest;

// The mode the probe was last put into; shared by write blocks and downloads.
struct WriteMode {
    static constexpr uint8_t kWrite = 0;
    static constexpr uint8_t kVerify = 1;

    uint8_t mode = kWrite;
    uint8_t accessOrBusWidth = 0;  // access code (write, verify) or bus width in bytes (flash)
    uint32_t addressMask = 0;
    uint32_t workspace = 0;
    uint32_t parameter = 0;
};

// What applying data gave: a status byte and, on failure, the address it failed at.
struct WriteOutcome {
    uint8_t status = kWriteOk;
    uint32_t detail = 0;
};

// One block the probe was given to program in a flash write mode, as it arrived (decompressed,
// still in the row-mask format where that applies).
struct ProgrammedBlock {
    enum class Source : uint8_t { WriteBlock, DownloadBlock };
    Source source = Source::WriteBlock;
    uint32_t address = 0;
    uint32_t length = 0;
    uint8_t lead = 0xFF;  // the first data byte: the mask in the row-mask format

    bool operator==(const ProgrammedBlock&) const = default;
};

// The log keeps at most this many blocks, so that a long-running simulator stays small.
inline constexpr size_t kProgrammedBlocksKept = 100000;

// Where data of write blocks and downloads lands, and the log of the flash blocks (none kept
// when `log` is null; blocks beyond kProgrammedBlocksKept are not logged).
struct WriteTargets {
    TargetMemory& memory;
    FlashBanks& flash;
    ChipFlash& chip;
    std::vector<ProgrammedBlock>* log = nullptr;
};

// True when 256 bytes of writable RAM at the workspace lie outside all flash, where the probe
// can put its programming and erase routines.
bool usableWorkspace(const TargetMemory& memory, const FlashBanks& flash, const ChipFlash& chip,
                     uint32_t workspace);

// Writes, compares or programs the data at the address, as the mode says. Writing memory fails
// at the first byte that is not accessible, lies in flash, or does not read back as written
// (read-only memory); verifying fails at the first byte that differs (flash compares its array);
// programming puts bytes in the on-chip flash region into it and all others into the flash
// banks, and fails with their detail. In type 16 with bit 31 of the parameter set, the data is
// a mask byte followed by one 64-byte row per set bit, bit 7 first: row k goes to address +
// k * 0x8000; a length that does not match the mask fails with kBadRequest.
WriteOutcome applyWrite(const WriteMode& mode, WriteTargets& targets,
                        ProgrammedBlock::Source source, uint32_t address,
                        std::span<const uint8_t> data);

// 0x8D mode u8, access code or bus width u8, address mask u32, workspace u32, parameter u32
// -> 0x8D, status. An external flash type must be in the host's table, with a bus width of 1,
// 2, 4 or 8 bytes no narrower than its chips and a mask of whole high bits; an on-chip type
// (14-21, 25, 26) takes a bus width of 1, 2 or 4 and any mask (type 21 either way). The
// workspace must be usable. A refused mode leaves the current one in force.
std::vector<uint8_t> setWriteMode(WriteMode& mode, const WriteTargets& targets,
                                  std::span<const uint8_t> request);

// 0x85 address u32, length u16, data -> 0x85, status, u32: the number of bytes handled, or the
// failing address. In types 14, 18 and 20 the probe takes at most 32 bytes per request; a
// longer one is refused with kBadRequest.
std::vector<uint8_t> writeBlock(const WriteMode& mode, WriteTargets& targets,
                                std::span<const uint8_t> request);

}  // namespace tov::sim
