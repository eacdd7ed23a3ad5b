// The flash banks on the simulated target's bus: where they sit, how their chips share the bus,
// and the three ways the probe reaches them (bus accesses, its own programming and erasing).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/flash_chip.h"

namespace tov::sim {

// How one bank is built: its base, the chips' command set, and how the chips share the bus.
struct FlashBankConfig {
    uint32_t base = 0;
    FlashCommandSet commandSet = FlashCommandSet::A5555;
    uint32_t chipSize = 0x80000;  // bytes per chip
    uint8_t busBits = 32;         // 8, 16, 32 or 64
    uint8_t chipBits = 8;         // 8, 16 or 32, at most busBits
    uint32_t sectorSize = 0;      // bytes per sector and chip; 0: the default for the chip size

    // Bytes the bank spans on the bus: chip size times the number of chips.
    uint64_t span() const { return uint64_t{chipSize} * (busBits / chipBits); }
    // Bytes per sector and chip, the default filled in: 64 KiB, or the chip when smaller.
    uint32_t chipSectorSize() const;
};

// "A5555", "AAAAA" or "B"; nothing for anything else.
std::optional<FlashCommandSet> commandSetFromName(const std::string& name);

// The banks a target has unless told otherwise: 512 KiB chips of command set A (0x5555/0x2AAA),
// four bytes wide on a 32-bit bus at 0x20000000, and a 1 MiB chip of command set B alone on a
// 16-bit bus at 0x30000000.
std::vector<FlashBankConfig> defaultFlashBanks();

// Checks banks: widths, a chip size that is a whole number of sectors and holds the command
// addresses, no wrap at 4 GiB, no two banks overlapping. Returns an empty text when the banks can
// be built, else what is wrong.
std::string checkFlashBanks(const std::vector<FlashBankConfig>& banks);

// All flash banks on the target bus. A bank is bus width / chip width chips side by side, each
// on its own byte lanes: the most significant byte of a bus word is lane 0 at the lowest address,
// as on the wire. A chip sees the bus address divided by the bus width as its word address.
class FlashBanks {
public:
    // What the probe's own erase (0x90/0x91) is doing or did.
    struct ProbeEraseState {
        bool running = false;
        bool failed = false;
        uint32_t detail = 0;  // address of the first sector that failed
    };

    FlashBanks() = default;
    FlashBanks(const std::vector<FlashBankConfig>& banks, const std::vector<uint32_t>& failingErase,
               FlashTiming timing = {});
    FlashBanks(FlashBanks&&) noexcept;
    FlashBanks& operator=(FlashBanks&&) noexcept;
    ~FlashBanks();

    // True when the address lies in a bank.
    bool contains(uint32_t address) const;
    // True when any byte of [address, address + n) lies in a bank (addresses wrap at 4 GiB).
    bool overlaps(uint32_t address, size_t n) const;
    // The length of the stretch from the address (at most n bytes, not past 4 GiB) that lies
    // wholly in one bank or wholly outside every bank; inBank tells which.
    size_t stretch(uint32_t address, size_t n, bool& inBank) const;

    // Bus accesses from a single-item or memory-piece request: command writes and status or
    // array reads, as the chips answer them. The range is cut at bus words, one access each (an
    // 8-byte write on a 64-bit bus is one access, on a 16-bit bus four). A write the chips ignore
    // still succeeds on the bus; it is false only when the range is not wholly inside one bank.
    // A chip only partly covered gets its whole word with the other bytes zero (writes), or has
    // the covered bytes cut from its whole word (reads). Reads outside every bank give 0xFF.
    bool write(uint32_t address, const uint8_t* data, size_t n);
    void read(uint32_t address, uint8_t* data, size_t n);

    // Programming by the probe itself in a flash write mode: 0 ok, else a failure detail (the
    // address that could not be programmed: not in a bank, chip busy erasing, or a bit to be set
    // from 0 to 1; address 0 reports as 0xFFFFFFFF). Bits only go from 1 to 0. Bytes before the
    // failing one are programmed.
    uint32_t program(uint32_t address, const uint8_t* data, size_t n);

    // Reads the array (for verify) regardless of the chips' mode. Bytes outside every bank read
    // as 0xFF.
    void readArray(uint32_t address, uint8_t* data, size_t n) const;

    // Makes the erase of the sector holding the address fail (or succeed again).
    void setEraseFails(uint32_t address, bool fails = true);

    // The probe's own erase: the sector at the address (sector) or the chips of the bank (not).
    // Returns false when the address is in no bank. An erase still running is waited for first.
    // It writes the chips' command sequences on the bus and takes the chips' time; chips without
    // a chip erase are erased block by block.
    bool startProbeErase(uint32_t address, bool sector);
    // The state of the last probe erase, brought up to date.
    ProbeEraseState probeErase();
    // Waits until the last probe erase has ended and returns its state.
    ProbeEraseState waitProbeErase();

    size_t bankCount() const;

    // Where the chips take the time from (the steady clock unless a test sets its own; the
    // waits of the probe's erase need a clock that moves on its own).
    void setClock(std::function<std::chrono::steady_clock::time_point()> clock) {
        clock_ = std::move(clock);
    }

private:
    class Bank;
    Bank* bankAt(uint32_t address) const;
    // Calls visit(address, offset in the range, length, bank or nullptr) for each stretch of the
    // range inside one bank or outside every bank, until visit returns false.
    template <typename Visit>
    void forEachStretch(uint32_t address, size_t n, Visit visit) const;
    // Bus reads, or the array whatever the chips' modes; 0xFF outside every bank.
    void readRange(uint32_t address, uint8_t* data, size_t n, bool array) const;
    void startProbeEraseStep(std::chrono::steady_clock::time_point now);
    void endProbeErase(std::chrono::steady_clock::time_point now);

    std::vector<std::unique_ptr<Bank>> banks_;
    std::function<std::chrono::steady_clock::time_point()> clock_ = [] {
        return std::chrono::steady_clock::now();
    };
    // The probe's erase: its bank, the sectors still to erase (the first one running), and
    // whether it erases the chips whole.
    Bank* probeEraseBank_ = nullptr;
    std::vector<uint32_t> probeEraseSteps_;
    bool probeEraseWhole_ = false;
    ProbeEraseState probeErase_;
};

}  // namespace tov::sim
