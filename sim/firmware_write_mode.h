// The firmware's write mode (Set write mode, 0x8D) and the write-block request (0x85): what data
// from a write block or a download does to the target in the current mode.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

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
inline constexpr uint8_t kWriteOk = 0;
inline constexpr uint8_t kWriteFailed = 1;    // memory not accessible or not taking the data
inline constexpr uint8_t kVerifyFailed = 2;   // memory differs from the data
inline constexpr uint8_t kProgramFailed = 3;  // flash could not be programmed
inline constexpr uint8_t kBadRequest = 4;     // request malformed or data not decodable

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

// Writes, compares or programs the data at the address, as the mode says. Writing memory fails
// at the first byte that is not accessible, lies in flash, or does not read back as written
// (read-only memory); verifying fails at the first byte that differs (flash compares its array);
// programming fails with the flash banks' detail.
WriteOutcome applyWrite(const WriteMode& mode, TargetMemory& memory, FlashBanks& flash,
                        uint32_t address, std::span<const uint8_t> data);

// 0x8D mode u8, access code or bus width u8, address mask u32, workspace u32, parameter u32
// -> 0x8D, status. A flash type must be in the host's table, with a bus width of 1, 2, 4 or 8
// bytes no narrower than its chips and a mask of whole high bits, and its workspace in writable
// RAM. A refused mode leaves the current one in force.
std::vector<uint8_t> setWriteMode(WriteMode& mode, const TargetMemory& memory,
                                  const FlashBanks& flash, std::span<const uint8_t> request);

// 0x85 address u32, length u16, data -> 0x85, status, u32: the number of bytes handled, or the
// failing address.
std::vector<uint8_t> writeBlock(const WriteMode& mode, TargetMemory& memory, FlashBanks& flash,
                                std::span<const uint8_t> request);

}  // namespace tov::sim
