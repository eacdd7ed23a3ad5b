// Host-driven sector, block and chip erase of external flash: the command sequences written
// through single bus accesses and the status polling that follows them.
#pragma once

#include <cstdint>

#include "files/flash_bus.h"
#include "files/flash_types.h"
#include "link/clock.h"

namespace tov::files {

// Time limits of an erase, measured from before its first command.
constexpr uint64_t kSectorEraseLimitMs = 60000;
constexpr uint64_t kChipEraseLimitMs = 300000;

// What to erase with command set A.
enum class EraseScope : uint8_t { kSector, kBlock, kChip };

// One host-driven erase: the bank, its chips' command addresses and the clock for the limit.
struct EraseJob {
    FlashBus& bus;
    link::Clock& clock;
    const FlashType& type;
    uint32_t bank;  // sector address AND address mask
    uint32_t sector;
};

// Unlock cycles, erase command and polling by the type's variant of command set A.
int32_t eraseCommandSetA(const EraseJob& job, EraseScope scope);
// Erase/confirm at the sector and status-register polling; always a sector erase.
int32_t eraseCommandSetB(const EraseJob& job);

}  // namespace tov::files
