// The emulated ARM11 core: the simulated target's program really runs, on the Unicorn engine.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unicorn/unicorn.h>

#include "sim/core_pages.h"
#include "sim/execution_engine.h"
#include "sim/target_points.h"

namespace tov::sim {

// An ARM1136 core executing from the target memory (see CorePages), in slices of time that end
// at the start of a block of code, so no instruction pays for counting. Its registers live in
// the target model's register file between runs and are loaded into the emulator, bank by
// bank, for each run. Breakpoints stop before their instruction; watchpoints stop after the
// accessing instruction; the semihosting instruction (SVC 0x123456 in ARM state, SVC 0xAB in
// Thumb state) stops with the PC after it. Any other exception (another SVC, an undefined
// instruction, a fault on an inaccessible address) stops at its vector, as a probe with
// vector catch on: the cause says exception and the vector offset which one.
class ArmCore : public ExecutionEngine {
public:
    // A core that could not be made reports why in error() and stops every run at once.
    ArmCore(TargetMemory& memory, FlashBanks& flash, ChipFlash& chip);
    ~ArmCore() override;
    ArmCore(const ArmCore&) = delete;
    ArmCore& operator=(const ArmCore&) = delete;

    const std::string& error() const { return error_; }

    // The link may have changed the flash devices: the core takes their copies again before it
    // next runs. (Plain memory needs nothing: the core works on the link's own bytes.)
    void memoryChanged() { stale_ = true; }
    // How many regions of target memory the core has mapped (after its first run).
    size_t regions() const { return pages_.regions(); }

    std::optional<EngineStop> run(RegisterFile& registers, PointTable& points, bool fromStart,
                                  std::chrono::microseconds slice) override;
    EngineStop step(RegisterFile& registers, PointTable& points) override;

private:
    static bool onUnmapped(uc_engine* uc, uc_mem_type type, uint64_t address, int size,
                           int64_t value, void* self);
    static void onInterrupt(uc_engine* uc, uint32_t number, void* self);
    static void onBlock(uc_engine* uc, uint64_t address, uint32_t size, void* self);
    static void onInstruction(uc_engine* uc, uint64_t address, uint32_t size, void* self);
    static void onBreakpoint(uc_engine* uc, uint64_t address, uint32_t size, void* self);
    static void onAccess(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value,
                         void* self);

    // Brings memory and the point hooks up to date before a run.
    void prepare(const PointTable& points);
    void setPointHooks(const PointTable& points);
    // Turns the MMU on over the translation table at `base` (see CorePages).
    // Maps the target's regions into the emulator once, with the translation table.
    void mapRegions();
    void useTranslationTable(uint32_t base);
    void loadRegisters(const RegisterFile& registers);
    void storeRegisters(RegisterFile& registers);
    // Executes from the register file's PC until a stop or until the slice's time is up (when
    // one is given); the stop, if any.
    std::optional<EngineStop> execute(RegisterFile& registers,
                                      std::chrono::microseconds slice = {});
    // Executes the one instruction at the register file's PC; the stop, if any.
    std::optional<EngineStop> executeOne(RegisterFile& registers);
    uint32_t reg(int id);
    void setReg(int id, uint32_t value);

    uc_engine* uc_ = nullptr;
    std::string error_;
    CorePages pages_;
    bool mapped_ = false;
    bool stale_ = true;
    bool ignoreBreakpoints_ = false;
    bool stepping_ = false;
    uint32_t executed_ = 0;
    // Whether code may have been translated without a hook call before each instruction.
    bool hooklessCode_ = true;
    std::optional<EngineStop> stop_;
    // The running slice's end, and the blocks left before the clock is read again.
    std::optional<std::chrono::steady_clock::time_point> sliceEnd_;
    uint32_t blocksBeforeClock_ = 0;
    const PointTable* points_ = nullptr;
    std::vector<uc_hook> pointHooks_;
    // The points as hooked (breakpoint addresses; watchpoint identifiers and settings), to
    // notice when the table changes; nothing before the first run.
    std::optional<std::vector<uint32_t>> hookedBreaks_;
    std::vector<std::pair<uint16_t, PointTable::Watchpoint>> hookedWatches_;
};

}  // namespace tov::sim
