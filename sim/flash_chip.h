// One flash chip on the simulated target's bus: its array, sectors and timed erase, shared by the
// command sets, and the interface through which a bank hands it bus accesses.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tov::sim {

// The chips' command protocols: set A unlocks each command with two writes (first / second
// command address 0x5555 / 0x2AAA or 0xAAAA / 0x5555); set B takes commands alone and reports
// through a status register.
enum class FlashCommandSet : uint8_t { A5555, AAAAA, B };

// How long erasing takes in real time.
struct FlashTiming {
    std::chrono::milliseconds sectorErase{150};
    std::chrono::milliseconds chipErase{600};
};

// Array and erase machinery of one chip; the command sets derive from it.
class FlashChip {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // Where an erase stands.
    enum class EraseState : uint8_t { Idle, Busy, Failed };

    // size and sectorSize in bytes, width in bytes (1, 2 or 4); size is a multiple of sectorSize.
    FlashChip(uint32_t size, uint8_t width, uint32_t sectorSize, FlashTiming timing);
    virtual ~FlashChip() = default;

    // One bus access at a word address of the chip (bus address / bus width); the value holds
    // the chip's width, its low byte on the data lines 0-7.
    virtual void write(uint32_t word, uint32_t value, TimePoint now) = 0;
    virtual uint32_t read(uint32_t word, TimePoint now) = 0;

    // True when a bus read now returns the array and changes nothing (no status, no toggling),
    // so that a run of reads may be served from the array at once.
    virtual bool readsArray(TimePoint now) = 0;

    // How many leading bytes of a range the probe's own programming can take at a byte offset:
    // all n, or up to the first byte that would raise a bit from 0 to 1; none while the chip
    // erases.
    size_t programmable(uint32_t offset, const uint8_t* data, size_t n, TimePoint now);
    // Programs a range of the array, as the probe's own programming does once programmable has
    // passed it: bits only go from 1 to 0.
    void program(uint32_t offset, const uint8_t* data, size_t n);
    // Copies a range of the array, whatever the chip's mode; an erase whose time has passed
    // shows in it.
    void readArray(uint32_t offset, uint8_t* out, size_t n, TimePoint now);

    // Makes the erase of the sector holding the byte offset fail (or succeed again).
    void setEraseFails(uint32_t offset, bool fails);
    // The state of the erase last started, brought up to date.
    EraseState eraseState(TimePoint now);

    uint32_t size() const { return size_; }
    uint8_t width() const { return width_; }
    uint32_t sectorSize() const { return sectorSize_; }
    uint32_t words() const { return size_ / width_; }

protected:
    // Starts erasing one sector (the one holding the word) or, without a word, the whole chip.
    void startErase(std::optional<uint32_t> word, TimePoint now);
    // Settles an erase whose time has passed: the sectors not told to fail become all ones.
    // Called by every access.
    void settle(TimePoint now);
    bool erasing() const { return erase_.has_value(); }
    bool eraseFailed() const { return failed_; }
    // Forgets a failure, as a reset or clear command does.
    void clearFailure() { failed_ = false; }
    // True when the running erase covers the word's sector.
    bool erasingSectorOf(uint32_t word) const;

    // The array's whole word (the chip's width, big-endian over its bytes).
    uint32_t arrayWord(uint32_t word) const;
    // Programs a word by command: bits only go from 1 to 0, as on a real chip (no failure).
    void programWord(uint32_t word, uint32_t value);

private:
    using Sector = std::vector<uint8_t>;
    // A running erase: its sectors, and when it ends.
    struct Erase {
        uint32_t firstSector;
        uint32_t sectorCount;
        TimePoint ends;
    };

    uint8_t arrayByte(uint32_t offset) const;
    uint8_t* writableByte(uint32_t offset);
    // Calls visit(sector, offset in the sector, offset in the range, length) for each stretch of
    // the range that lies in one sector.
    template <typename Visit>
    void forEachSector(uint32_t offset, size_t n, Visit visit) const;

    uint32_t size_;
    uint8_t width_;
    uint32_t sectorSize_;
    FlashTiming timing_;
    // Sectors never programmed since their last erase are not allocated: they read as all ones.
    std::vector<std::unique_ptr<Sector>> sectors_;
    std::set<uint32_t> failing_;  // sector numbers whose erase fails
    std::optional<Erase> erase_;
    bool failed_ = false;
};

// Makes a chip of a command set. Its first and second command addresses follow from the set.
std::unique_ptr<FlashChip> makeFlashChip(FlashCommandSet set, uint32_t size, uint8_t width,
                                         uint32_t sectorSize, FlashTiming timing);

}  // namespace tov::sim
