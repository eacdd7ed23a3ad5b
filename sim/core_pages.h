// The emulated core's view of target memory: 4 KiB pages mapped into the emulator on first
// touch, kept in step with the memory the probe's requests read and write.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include <unicorn/unicorn.h>

#include "sim/chip_flash.h"
#include "sim/flash_bank.h"
#include "sim/target_memory.h"

namespace tov::sim {

// Each page the core touches gets two buffers: the live one the emulator reads and writes in
// place, and a shadow holding what the target memory held when the two were last in step. The
// core and the link never run at once, so syncing at the seams suffices: after a run the bytes
// where live and shadow differ are the core's writes and go to the target memory; before a run
// (when the link may have written) pages whose target bytes differ from the shadow are loaded
// again. Pages in a flash bank, the on-chip flash or the ROM are mapped read-only; pages that
// touch an inaccessible address are not mapped, so the core faults there as on the bus.
class CorePages {
public:
    CorePages(TargetMemory& memory, FlashBanks& flash, ChipFlash& chip)
        : memory_(memory), flash_(flash), chip_(chip) {}
    CorePages(const CorePages&) = delete;
    CorePages& operator=(const CorePages&) = delete;
    ~CorePages();

    // Maps the pages covering [address, address + size) that are not mapped yet; false when
    // one of them may not be mapped. Only between runs: code translated from a page mapped
    // while the emulator runs could not be dropped when the page changes later.
    bool map(uc_engine* uc, uint64_t address, size_t size);
    // Loads pages whose target bytes changed behind the core's back; the code the emulator
    // translated from them is dropped.
    void refresh(uc_engine* uc);
    // Puts the core's writes into the target memory.
    void writeBack();
    size_t mapped() const { return pages_.size(); }

private:
    struct Buffer {
        void operator()(uint8_t* p) const;
    };
    struct Page {
        std::unique_ptr<uint8_t, Buffer> live;
        std::unique_ptr<uint8_t[]> shadow;
        bool writable = false;
    };

    bool mapPage(uc_engine* uc, uint32_t base);
    void readTarget(uint32_t base, uint8_t* out);

    TargetMemory& memory_;
    FlashBanks& flash_;
    ChipFlash& chip_;
    std::map<uint32_t, Page> pages_;  // by base address
};

}  // namespace tov::sim
