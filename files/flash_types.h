// The external flash types the probe can program: chip width, how a sector is erased, and the
// chips' command addresses.
#pragma once

#include <cstdint>

namespace tov::files {

// How the host erases a flash of a type.
enum class EraseMethod : uint8_t {
    kNone,             // no erase for this type
    kCommandSetA,      // unlock cycles, bit-5 failure rule, reset sequence afterwards
    kPlainPoll,        // unlock cycles, poll for all ones only, block erase, no reset sequence
    kAlternatingPoll,  // unlock cycles, poll a neighbour address and the sector in turn
    kCommandSetB,      // erase/confirm at the sector, status register polling
    kInProbe,          // the probe erases by itself on request
};

// One row of the type table.
struct FlashType {
    uint8_t code;
    uint8_t chipWidth;  // data bytes of one chip
    EraseMethod erase;
    uint16_t firstCommand;  // chip command addresses of the unlock cycles (command set A)
    uint16_t secondCommand;
    bool selectable;  // accepted by flashSetType; the others come from special set-ups
};

// The row of a type code, or nullptr for a code the table does not know.
const FlashType* findFlashType(uint16_t code);

}  // namespace tov::files
