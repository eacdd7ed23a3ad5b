// The status byte a probe answers a write block or a download block with, and the words that
// explain a failed one.
#pragma once

#include <cstdint>
#include <string>

namespace tov::files {

inline constexpr uint8_t kWriteStatusOk = 0;
inline constexpr uint8_t kWriteStatusNotWritten = 1;     // memory not there or not taking data
inline constexpr uint8_t kWriteStatusDiffers = 2;        // memory differs from the data
inline constexpr uint8_t kWriteStatusNotProgrammed = 3;  // flash could not be programmed
inline constexpr uint8_t kWriteStatusBadRequest = 4;     // block malformed or not decodable

// What failed, in words: "writing 1024 bytes at 0x00100000-0x001003FF failed at 0x00100200:
// the memory is not there or does not take data". The probe's word names the failing address
// only when it lies in the block; `doing` is "writing", "verifying" or "programming".
std::string describeWriteFailure(const char* doing, uint32_t address, uint32_t length,
                                 uint8_t status, uint32_t reported);

}  // namespace tov::files
