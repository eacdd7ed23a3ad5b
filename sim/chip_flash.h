// The on-chip flash of the simulated target: one region of equal sectors that only the probe
// programs and erases, stored sparsely.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/flash_bank.h"

namespace tov::sim {

// Where the on-chip flash lies; a size of 0 means the target has none.
struct ChipFlashConfig {
    uint32_t base = 0;
    uint32_t size = 0;
    uint32_t sectorSize = 0x8000;

    bool present() const { return size != 0; }
};

// Checks a region: a size that is a whole number of sectors, no wrap at 4 GiB, no overlap with
// a flash bank. Returns an empty text when the region can be built, else what is wrong. A
// region of size 0 (none) is always fine.
std::string checkChipFlash(const ChipFlashConfig& config,
                           const std::vector<FlashBankConfig>& banks);

// The flash types whose flash sits in the target processor itself.
bool isOnChipFlashType(uint8_t type);

// The on-chip flash array. Erased bytes read 0xFF; programming only clears bits; erasing works
// on whole sectors, counted from the region's base. Pages are allocated on the first program.
class ChipFlash {
public:
    // What an erase request did: whether any sector failed and the address of the first one.
    struct EraseOutcome {
        bool failed = false;
        uint32_t firstFailed = 0;
    };

    ChipFlash() = default;
    // A region that fails checkChipFlash (banks aside) leaves the target without on-chip flash.
    ChipFlash(const ChipFlashConfig& config, const std::vector<uint32_t>& failingErase);

    bool present() const { return config_.present(); }
    const ChipFlashConfig& config() const { return config_; }
    bool contains(uint32_t address) const;
    // True when any byte of [address, address + n) lies in the region (addresses wrap at 4 GiB).
    bool overlaps(uint32_t address, size_t n) const;
    // The length of the stretch from the address (at most n bytes, not past 4 GiB) that lies
    // wholly inside or wholly outside the region; inside tells which.
    size_t stretch(uint32_t address, size_t n, bool& inside) const;

    // Reads the array; bytes outside the region read 0xFF.
    void read(uint32_t address, uint8_t* out, size_t n) const;
    // Programs bytes in order: 0 when all took, else the first address that did not (outside
    // the region, or a bit to be raised from 0 to 1; address 0 reports as 0xFFFFFFFF). Bytes
    // before it stay programmed.
    uint32_t program(uint32_t address, const uint8_t* data, size_t n);

    // The erase the probe runs for an erase request whose address lies in the region:
    // - sector != 0 and selection == 0: the sector holding the address;
    // - sector != 0 and selection != 0: every sector i (i = 0..31, counted from the region's
    //   base) whose bit i is set in the selection;
    // - sector == 0: the whole region.
    // A sector told to fail keeps its contents; the others are erased, and the outcome is kept
    // as the last erase. Returns false, erasing nothing, when the address is outside the region
    // or the selection names a sector the region does not have.
    bool erase(uint32_t address, bool sector, uint32_t selection);
    // What the last erase gave; nothing before the first or after forgetErase.
    const std::optional<EraseOutcome>& lastErase() const { return lastErase_; }
    // The probe's erase result belongs to another flash from now on.
    void forgetErase() { lastErase_.reset(); }

    // Makes the erase of the sector holding the address fail (or succeed again).
    void setEraseFails(uint32_t address, bool fails = true);

    size_t pagesAllocated() const { return pages_.size(); }

private:
    static constexpr uint32_t kPageSize = 4096;
    using Page = std::array<uint8_t, kPageSize>;

    uint32_t sectorCount() const { return config_.size / config_.sectorSize; }
    // Calls visit(address, offset in the range, length, offset in the region or nothing) for
    // each stretch of the range within one page or outside the region, until visit returns false.
    template <typename Visit>
    void forEachPage(uint32_t address, size_t n, Visit visit) const;
    // Erases sector i, or reports it failing.
    bool eraseSector(uint32_t index);

    ChipFlashConfig config_;
    std::optional<EraseOutcome> lastErase_;
    std::set<uint32_t> failing_;                                 // sector indexes
    std::unordered_map<uint32_t, std::unique_ptr<Page>> pages_;  // keyed by offset / kPageSize
};

}  // namespace tov::sim
