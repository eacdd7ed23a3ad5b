// The emulated core's view of target memory: each contiguous region mapped once, the plain
// memory over the target memory's own bytes, the flash devices as read-only copies.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unicorn/unicorn.h>

#include "sim/chip_flash.h"
#include "sim/flash_bank.h"
#include "sim/target_memory.h"

namespace tov::sim {

// Plain memory is mapped in place: the core reads and writes the very bytes the link's
// requests do, so nothing is copied back after a run; only the code the core translated from
// bytes the link wrote is dropped before the next run. The flash banks and the on-chip flash
// answer accesses through their own models, so the core gets copies of what they read as, taken
// again before a run when the link may have changed them. Pages touching an inaccessible
// address are not mapped.
//
// The faults are the core's own aborts: a translation table, kept in a stretch of inaccessible
// addresses, maps every address onto itself, leaves the inaccessible pages out and makes the
// read-only megabyte and the flash read only, for the core's MMU. The emulator raises the abort
// of an instruction the MMU refuses on that very instruction. Without room for the table, the
// read-only megabyte is mapped in place and the flash copies without write access: the emulator
// refuses those writes and the inaccessible pages itself, which ends the run with the PC no
// nearer than the start of the straight run of code that made the access.
class CorePages {
public:
    CorePages(TargetMemory& memory, FlashBanks& flash, ChipFlash& chip)
        : memory_(memory), flash_(flash), chip_(chip) {}
    CorePages(const CorePages&) = delete;
    CorePages& operator=(const CorePages&) = delete;
    ~CorePages();

    // Maps every region (once); an empty text, or why the emulator refused one.
    std::string mapAll(uc_engine* uc);
    // Drops the code translated from memory the link wrote since the last run.
    void dropWritten(uc_engine* uc);
    // Drops all translated code, for changes that every block's code depends on (the hooks
    // it calls).
    void dropAll(uc_engine* uc);
    // Takes the flash devices' contents again; the code translated from changed pages is
    // dropped.
    void refreshDevices(uc_engine* uc);
    size_t regions() const { return regions_.size(); }
    // Where the translation table lies (after mapAll), or nothing when no inaccessible stretch
    // had room for it.
    std::optional<uint32_t> translationTable() const { return tableBase_; }

private:
    enum class Kind : uint8_t { None, Memory, Rom, Device };
    struct Buffer {
        void operator()(uint8_t* p) const;
    };
    struct Region {
        uint32_t base = 0;
        uint64_t size = 0;
        Kind kind = Kind::None;
        std::unique_ptr<uint8_t, Buffer> copy;  // devices only
    };

    Kind kindOf(uint32_t page) const;
    // Builds and maps the translation table over the regions, where there is room.
    std::string mapTranslationTable(uc_engine* uc);

    TargetMemory& memory_;
    FlashBanks& flash_;
    ChipFlash& chip_;
    std::vector<Region> regions_;
    std::unique_ptr<uint8_t, Buffer> table_;
    std::optional<uint32_t> tableBase_;
};

}  // namespace tov::sim
