// The emulated ARM1136 core: runs on Unicorn, stops at points, semihosting calls and exceptions.
#include "sim/arm_core.h"

#include <array>

#include "sim/target_registers.h"

namespace tov::sim {
namespace {

constexpr uint32_t kModeMask = 0x1F;
constexpr uint32_t kThumb = RegisterFile::kThumbBit;

// The core's register banks as the register file groups them: the mode, the group of its
// r0..r14 and of its SPSR (0: none), and whether r8..r12 are its own.
struct BankGroups {
    uint32_t mode;
    uint16_t registers;
    uint16_t spsr;
    bool ownHigh;
};
constexpr std::array<BankGroups, 6> kBanks{{
    {0x1F, 603, 0, true},  // System, sharing User's registers
    {0x11, 604, 605, true},
    {0x13, 606, 607, false},
    {0x17, 608, 609, false},
    {0x12, 610, 611, false},
    {0x1B, 612, 613, false},
}};

constexpr int kRegisterIds[] = {UC_ARM_REG_R0,  UC_ARM_REG_R1,  UC_ARM_REG_R2,  UC_ARM_REG_R3,
                                UC_ARM_REG_R4,  UC_ARM_REG_R5,  UC_ARM_REG_R6,  UC_ARM_REG_R7,
                                UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10, UC_ARM_REG_R11,
                                UC_ARM_REG_R12, UC_ARM_REG_R13, UC_ARM_REG_R14};

constexpr uint32_t kSemihostingArm = 0x123456;
constexpr uint32_t kSemihostingThumb = 0xAB;
// Blocks run between two looks at the clock while a slice runs: a few microseconds' worth.
constexpr uint32_t kBlocksPerClockRead = 64;

// Exception numbers the emulator raises, and the vector offsets they stand for.
constexpr uint32_t kExceptionSwi = 2;
uint32_t vectorOf(uint32_t exception) {
    switch (exception) {
        case 1:  // undefined instruction
            return 0x04;
        case kExceptionSwi:
            return 0x08;
        case 3:  // prefetch abort
        case 7:  // breakpoint instruction
            return 0x0C;
        case 5:
            return 0x18;
        case 6:
            return 0x1C;
        default:  // data abort and anything unexpected
            return 0x10;
    }
}

// A core the emulator could not make stops every run at once, as if it took a data abort.
constexpr EngineStop kUnusable{StopCause::Exception, 0, 0x10};

uint32_t vectorOfError(uc_err error) {
    switch (error) {
        case UC_ERR_FETCH_UNMAPPED:
        case UC_ERR_FETCH_PROT:
            return 0x0C;
        case UC_ERR_INSN_INVALID:
            return 0x04;
        default:
            return 0x10;
    }
}

}  // namespace

ArmCore::ArmCore(TargetMemory& memory, FlashBanks& flash, ChipFlash& chip)
    : pages_(memory, flash, chip) {
    uc_err err = uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_);
    if (err == UC_ERR_OK) err = uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_1136);
    uc_hook hook;
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_MEM_UNMAPPED,
                          reinterpret_cast<void*>(&ArmCore::onUnmapped), this, 1, 0);
    }
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&ArmCore::onInterrupt),
                          this, 1, 0);
    }
    // Every block of code translated from here on calls it before it starts.
    if (err == UC_ERR_OK) {
        err = uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&ArmCore::onBlock),
                          this, 1, 0);
    }
    if (err != UC_ERR_OK) error_ = uc_strerror(err);
    // Mapping walks the whole address space page by page and builds the translation table: done
    // here, before the simulator answers anyone, so the first run's answer is not held up by it.
    if (error_.empty()) mapRegions();
}

void ArmCore::mapRegions() {
    mapped_ = true;
    error_ = pages_.mapAll(uc_);
    if (const auto table = pages_.translationTable(); error_.empty() && table) {
        useTranslationTable(*table);
    }
    stale_ = false;
}

ArmCore::~ArmCore() {
    // The emulator goes before the pages it maps.
    if (uc_) uc_close(uc_);
}

uint32_t ArmCore::reg(int id) {
    uint32_t value = 0;
    uc_reg_read(uc_, id, &value);
    return value;
}

void ArmCore::setReg(int id, uint32_t value) {
    uc_reg_write(uc_, id, &value);
}

bool ArmCore::onUnmapped(uc_engine*, uc_mem_type, uint64_t, int, int64_t, void*) {
    // Only inaccessible addresses are unmapped, and the MMU stops the program's accesses to
    // them with an abort before they get here. What still does (the MMU off, or no room for its
    // table) fails; the emulator keeps the PC only per block of straight-line code then, so the
    // run ends with the PC on the first instruction of the block that made the access.
    return false;
}

void ArmCore::onInterrupt(uc_engine* uc, uint32_t number, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (number == kExceptionSwi) {
        // The PC is past the SVC already; its comment field says whether it is the
        // semihosting call.
        const uint32_t pc = core->reg(UC_ARM_REG_PC);
        const bool thumb = (core->reg(UC_ARM_REG_CPSR) & kThumb) != 0;
        uint32_t instruction = 0;
        if (thumb) {
            uint16_t half = 0;
            uc_mem_read(uc, pc - 2, &half, sizeof half);
            instruction = half & 0xFFu;
        } else {
            uc_mem_read(uc, pc - 4, &instruction, sizeof instruction);
            instruction &= 0xFFFFFFu;
        }
        if (instruction == (thumb ? kSemihostingThumb : kSemihostingArm)) {
            core->stop_ = EngineStop{StopCause::Semihosting, 0, 0};
            uc_emu_stop(uc);
            return;
        }
    }
    core->stop_ = EngineStop{StopCause::Exception, 0, vectorOf(number)};
    uc_emu_stop(uc);
}

void ArmCore::onBlock(uc_engine* uc, uint64_t, uint32_t, void* self) {
    // The slice ends here, on the core's own thread, before any of the block has run, with the
    // PC on the block. The emulator's stop from another thread races with its own work: on a
    // busy machine programs ended in a false exception or computed wrong results. Reading the
    // clock costs more than a short block, so it is read every so many blocks.
    auto* core = static_cast<ArmCore*>(self);
    if (!core->sliceEnd_ || core->stop_ || --core->blocksBeforeClock_ != 0) return;
    core->blocksBeforeClock_ = kBlocksPerClockRead;
    if (std::chrono::steady_clock::now() < *core->sliceEnd_) return;
    uc_emu_stop(uc);
}

void ArmCore::onInstruction(uc_engine* uc, uint64_t, uint32_t, void* self) {
    // Called before each instruction; the emulator stops before the instruction when asked to
    // here or after the one before.
    auto* core = static_cast<ArmCore*>(self);
    if (core->stop_ || (core->stepping_ && ++core->executed_ > 1)) uc_emu_stop(uc);
}

void ArmCore::onBreakpoint(uc_engine* uc, uint64_t address, uint32_t, void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (core->ignoreBreakpoints_ || core->stop_) return;
    if (auto id = core->points_->breakpointAt(static_cast<uint32_t>(address))) {
        core->stop_ = EngineStop{StopCause::Breakpoint, *id, 0};
        uc_emu_stop(uc);
    }
}

void ArmCore::onAccess(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t,
                       void* self) {
    auto* core = static_cast<ArmCore*>(self);
    if (core->stop_) return;
    const bool write = type == UC_MEM_WRITE;
    const uint64_t end = address + static_cast<uint64_t>(size);
    for (const auto& [id, w] : core->hookedWatches_) {
        const bool reads = (w.mode & 0x02) != 0;
        const bool writes = (w.mode & 0x04) != 0;
        if ((reads || writes) && !(write ? writes : reads)) continue;
        bool hit = false;
        if (w.mode & 0x80) {
            // Address under mask: the mask's bits do not take part in the comparison.
            for (uint64_t a = address; a < end && !hit; ++a) {
                hit = ((static_cast<uint32_t>(a) ^ w.address) & ~w.bound) == 0;
            }
        } else {
            const uint64_t first = w.address;
            const uint64_t last = first + (w.bound ? w.bound : 1);
            hit = address < last && end > first;
        }
        if (hit) {
            // The run ends at the next instruction's hook: stopping here would leave the PC
            // on the accessing instruction, which a resumed run would carry out again.
            core->stop_ = EngineStop{StopCause::Watchpoint, id, 0};
            return;
        }
    }
}

void ArmCore::setPointHooks(const PointTable& points) {
    std::vector<uint32_t> breaks;
    std::vector<std::pair<uint16_t, PointTable::Watchpoint>> watches;
    for (uint16_t id = 1; id <= PointTable::kBreakpoints; ++id) {
        if (const auto* b = points.breakpoint(id)) breaks.push_back(b->address & ~1u);
    }
    for (uint16_t id = 1; id <= PointTable::kWatchpoints; ++id) {
        if (const auto* w = points.watchpoint(id)) watches.emplace_back(id, *w);
    }
    auto same = [](const auto& a, const auto& b) {
        return a.first == b.first && a.second.mode == b.second.mode &&
               a.second.address == b.second.address && a.second.bound == b.second.bound;
    };
    if (hookedBreaks_ && *hookedBreaks_ == breaks && hookedWatches_.size() == watches.size() &&
        std::equal(watches.begin(), watches.end(), hookedWatches_.begin(), same)) {
        return;
    }
    for (uc_hook hook : pointHooks_) uc_hook_del(uc_, hook);
    pointHooks_.clear();
    // With watchpoints, every memory access and every instruction calls a hook; without them,
    // none does. Which calls a block makes is fixed when it is translated: code translated for
    // the one kind of run is dropped before the other.
    if (hookedWatches_.empty() != watches.empty()) {
        pages_.dropAll(uc_);
        hooklessCode_ = false;
    }
    // Code translated before the change would not call the new hooks (or would call the old
    // ones): it is dropped around every old and new breakpoint. Dropping all translated code
    // instead would cost far more than the points are worth.
    for (const auto* list : {&breaks, hookedBreaks_ ? &*hookedBreaks_ : nullptr}) {
        if (!list) continue;
        for (uint32_t address : *list) {
            uc_ctl_remove_cache(uc_, uint64_t{address}, uint64_t{address} + 4);
        }
    }
    for (uint32_t address : breaks) {
        uc_hook hook;
        if (uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::onBreakpoint),
                        this, address, address) == UC_ERR_OK) {
            pointHooks_.push_back(hook);
        }
    }
    if (!watches.empty()) {
        // A stop asked for by a memory hook takes effect at the next instruction's hook, not
        // at the end of the block: watchpoints stop right after the accessing instruction.
        uc_hook hook;
        if (uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::onInstruction),
                        this, 1, 0) == UC_ERR_OK) {
            pointHooks_.push_back(hook);
        }
    }
    for (const auto& [id, w] : watches) {
        // The hook's range covers every access that can touch the watched bytes; onAccess
        // decides exactly.
        uint64_t first = w.address;
        uint64_t last = w.address + (w.bound ? w.bound - 1 : 0);
        if (w.mode & 0x80) {
            first = w.address & ~w.bound;
            last = first | w.bound;
        }
        first = first >= 7 ? first - 7 : 0;
        uc_hook hook;
        if (uc_hook_add(uc_, &hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                        reinterpret_cast<void*>(&ArmCore::onAccess), this, first,
                        last) == UC_ERR_OK) {
            pointHooks_.push_back(hook);
        }
    }
    hookedBreaks_ = std::move(breaks);
    hookedWatches_ = std::move(watches);
}

void ArmCore::prepare(const PointTable& points) {
    points_ = &points;
    if (!mapped_) mapRegions();
    pages_.dropWritten(uc_);
    if (stale_) {
        pages_.refreshDevices(uc_);
        stale_ = false;
    }
    setPointHooks(points);
}

void ArmCore::useTranslationTable(uint32_t base) {
    // Domain 0 checks each entry's access bits; the table's base; then the MMU on, with the R
    // bit that makes access bits of zero read only for every mode (and S clear).
    auto write = [this](uint32_t crn, uint32_t crm, uint32_t opc2, uint64_t value) {
        uc_arm_cp_reg r{};
        r.cp = 15;
        r.crn = crn;
        r.crm = crm;
        r.opc2 = opc2;
        r.val = value;
        return uc_reg_write(uc_, UC_ARM_REG_CP_REG, &r) == UC_ERR_OK;
    };
    uc_arm_cp_reg control{};
    control.cp = 15;
    control.crn = 1;
    if (uc_reg_read(uc_, UC_ARM_REG_CP_REG, &control) != UC_ERR_OK) return;
    constexpr uint64_t kMmu = 1u << 0, kSystem = 1u << 8, kRom = 1u << 9;
    if (write(3, 0, 0, 1) && write(2, 0, 2, 0) && write(2, 0, 0, base)) {
        write(1, 0, 0, (control.val & ~kSystem) | kMmu | kRom);
    }
}

void ArmCore::loadRegisters(const RegisterFile& registers) {
    const uint32_t cpsr = registers.cpsr();
    // Each bank is reached by switching the core into its mode.
    for (const BankGroups& bank : kBanks) {
        setReg(UC_ARM_REG_CPSR, (cpsr & ~(kModeMask | kThumb)) | bank.mode);
        for (uint16_t n = bank.ownHigh ? 8 : 13; n < 15; ++n) {
            setReg(kRegisterIds[n], registers.read(bank.registers, n).value_or(0));
        }
        if (bank.spsr) setReg(UC_ARM_REG_SPSR, registers.read(bank.spsr, 0).value_or(0));
    }
    setReg(UC_ARM_REG_CPSR, cpsr);
    for (uint16_t n = 0; n < 8; ++n) {
        setReg(kRegisterIds[n], registers.read(603, n).value_or(0));
    }
}

void ArmCore::storeRegisters(RegisterFile& registers) {
    const uint32_t cpsr = reg(UC_ARM_REG_CPSR);
    const uint32_t pc = reg(UC_ARM_REG_PC);
    for (uint16_t n = 0; n < 8; ++n) registers.write(603, n, reg(kRegisterIds[n]));
    for (const BankGroups& bank : kBanks) {
        setReg(UC_ARM_REG_CPSR, (cpsr & ~(kModeMask | kThumb)) | bank.mode);
        for (uint16_t n = bank.ownHigh ? 8 : 13; n < 15; ++n) {
            registers.write(bank.registers, n, reg(kRegisterIds[n]));
        }
        if (bank.spsr) registers.write(bank.spsr, 0, reg(UC_ARM_REG_SPSR));
    }
    setReg(UC_ARM_REG_CPSR, cpsr);
    registers.write(RegisterFile::kGroupCpsr, 0, cpsr);
    registers.setPc(pc);
}

std::optional<EngineStop> ArmCore::executeOne(RegisterFile& registers) {
    // One instruction: a hook before every instruction stops before the second. The emulator's
    // own instruction count is not used: leaving it for a free run flushes all translated code,
    // which takes seconds. Code translated without instruction hooks would run on unseen, so it
    // is dropped first (once: the code translated now keeps its hook calls). With watchpoints
    // set, their instruction hook is the one (a second would count each instruction twice).
    uc_hook hook = 0;
    if (hookedWatches_.empty() &&
        uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&ArmCore::onInstruction),
                    this, 1, 0) != UC_ERR_OK) {
        return kUnusable;
    }
    if (hooklessCode_) {
        pages_.dropAll(uc_);
        hooklessCode_ = false;
    }
    stepping_ = true;
    executed_ = 0;
    std::optional<EngineStop> stopped = execute(registers);
    stepping_ = false;
    if (hook) uc_hook_del(uc_, hook);
    return stopped;
}

std::optional<EngineStop> ArmCore::execute(RegisterFile& registers,
                                           std::chrono::microseconds slice) {
    stop_.reset();
    loadRegisters(registers);
    const bool thumb = (registers.cpsr() & kThumb) != 0;
    const uint64_t begin = (registers.pc() & ~1u) | (thumb ? 1u : 0u);
    if (!stepping_ && hookedWatches_.empty()) hooklessCode_ = true;
    if (slice.count() > 0) {
        sliceEnd_ = std::chrono::steady_clock::now() + slice;
        blocksBeforeClock_ = kBlocksPerClockRead;
    }
    const uc_err err = uc_emu_start(uc_, begin, 0, 0, 0);
    sliceEnd_.reset();
    storeRegisters(registers);
    if (stop_) return stop_;
    if (err != UC_ERR_OK) return EngineStop{StopCause::Exception, 0, vectorOfError(err)};
    return std::nullopt;
}

std::optional<EngineStop> ArmCore::run(RegisterFile& registers, PointTable& points, bool fromStart,
                                       std::chrono::microseconds slice) {
    if (!error_.empty()) return kUnusable;
    prepare(points);
    if (!error_.empty()) return kUnusable;
    if (fromStart && points.breakpointAt(registers.pc() & ~1u)) {
        // Leaving a breakpoint: its instruction runs first.
        ignoreBreakpoints_ = true;
        std::optional<EngineStop> stopped = executeOne(registers);
        ignoreBreakpoints_ = false;
        if (stopped) return stopped;
    }
    return execute(registers, slice);
}

EngineStop ArmCore::step(RegisterFile& registers, PointTable& points) {
    if (!error_.empty()) return kUnusable;
    prepare(points);
    if (!error_.empty()) return kUnusable;
    ignoreBreakpoints_ = true;
    std::optional<EngineStop> stopped = executeOne(registers);
    ignoreBreakpoints_ = false;
    return stopped.value_or(EngineStop{StopCause::Step, 0, 0});
}

}  // namespace tov::sim
