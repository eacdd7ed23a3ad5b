// The write mode the probe was last put into, the flash set-up, and the two requests that use
// them: Set write mode and Write block.
#pragma once

#include <cstdint>

#include "link/link_context.h"

namespace tov::files {

// What an external flash looks like to the probe (set by the flash set-up calls).
struct FlashSetup {
    uint8_t type = 0;
    bool pending = true;     // not yet sent with Set write mode
    uint8_t busWidth = 2;    // bytes per bus access: 1, 2, 4 or 8
    uint8_t chipWidth = 1;   // bytes of one chip's data
    uint32_t addressMask = 0;
    uint32_t workspace = 0;
};

struct WriteModeState {
    static constexpr uint8_t kWrite = 0;
    static constexpr uint8_t kVerify = 1;
    // After a target reset nobody knows the probe's mode: the next transfer sets it again.
    static constexpr uint8_t kUnknown = 0xFF;

    uint8_t current = kWrite;
    uint8_t accessCode = 0;
    uint32_t modeParameter = 0;
    FlashSetup flash;

    // The state of a fresh connection.
    void reset() { *this = WriteModeState{}; }
};

// Sends Set write mode: 0, -1211, -1212, -1202, -1205 or a transaction error.
int32_t sendSetWriteMode(link::LinkContext& link, uint8_t mode, uint8_t accessOrBusWidth,
                         uint32_t addressMask, uint32_t workspace, uint32_t parameter);

// Sends one Write block request of at most 1024 bytes; `result` receives the answer's word.
// A non-zero status gives -1206.
int32_t sendWriteBlock(link::LinkContext& link, uint32_t address, const uint8_t* data,
                       uint16_t length, uint32_t& result);

// Maps the status byte of Set write mode and of the probe's erase request to a code.
int32_t writeModeStatus(uint8_t status);

}  // namespace tov::files
