// The write mode the probe was last put into, the flash set-up, and the two requests that use
// them: Set write mode and Write block.
#pragma once

#include <cstdint>

#include "link/link_context.h"

namespace tov::files {

// What an external flash looks like to the probe (set by the flash set-up calls).
struct FlashSetup {
    uint8_t type = 0;
    bool pending = true;    // not yet sent with Set write mode
    uint8_t busWidth = 2;   // bytes per bus access: 1, 2, 4 or 8
    uint8_t chipWidth = 1;  // bytes of one chip's data
    uint32_t addressMask = 0;
    uint32_t workspace = 0;
};

// The set-up of a paged 16-bit target's on-chip flash: which of its two address maps is in force
// and what file loads need to translate banked addresses.
struct PagedSetup {
    enum class Map : uint8_t { kNone, kH1, kH2 };
    Map map = Map::kNone;
    uint16_t variant = 0;
    bool translate = false;  // banked addresses of file loads are translated
    uint32_t flashSize = 0;  // size the translation wraps at (mode H1)

    bool active() const { return map != Map::kNone; }
};

// The probe's write mode as the host last set it, and the set-ups sent with it.
struct WriteModeState {
    static constexpr uint8_t kWrite = 0;
    static constexpr uint8_t kVerify = 1;
    // After a target reset nobody knows the probe's mode: the next transfer sets it again.
    static constexpr uint8_t kUnknown = 0xFF;

    uint8_t current = kWrite;
    uint8_t accessCode = 0;
    uint32_t modeParameter = 0;
    FlashSetup flash;
    PagedSetup paged;

    // The state of a fresh connection.
    void reset() { *this = WriteModeState{}; }
};

// Sends Set write mode: 0, -1211, -1212, -1202, -1205 or a transaction error.
int32_t sendSetWriteMode(link::LinkContext& link, uint8_t mode, uint8_t accessOrBusWidth,
                         uint32_t addressMask, uint32_t workspace, uint32_t parameter);

// Sends one Write block request of at most 1024 bytes; `result` receives the answer's word and
// `status`, when given, its status byte. A non-zero status gives -1206.
int32_t sendWriteBlock(link::LinkContext& link, uint32_t address, const uint8_t* data,
                       uint16_t length, uint32_t& result, uint8_t* status = nullptr);

// Sends the request that readies the probe for an on-chip flash set-up; only transport errors
// count.
int32_t sendFlashPrepare(link::LinkContext& link);

// Maps the status byte of Set write mode and of the probe's erase request to a code.
int32_t writeModeStatus(uint8_t status);

}  // namespace tov::files
