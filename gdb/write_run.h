// GDB's writes to consecutive addresses, as its load makes them, carried through the probe's bulk
// download: each write is held and answered at once, and its bytes leave afterwards, while the
// client makes its next packet, in blocks cut at block-aligned addresses (so that none crosses the
// probe's pages) with several in flight. A refused block shows at a later write or when the run
// is finished.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "gdb/probe.h"

namespace tov::gdb {

class WriteRun {
public:
    // The download's block: what a run sends per block, and the least write that starts a run.
    static constexpr uint32_t kBlock = 1024;

    explicit WriteRun(Probe& probe) : probe_(probe) {}

    // A run is open, or its failure is still to be reported.
    bool open() const { return active_ || failure_ != 0; }
    // Whether a write of `length` bytes at `address` continues the run.
    bool continues(uint32_t address, size_t length) const {
        return active_ && address == next_ && fits(address, length);
    }
    // Whether a write of `length` bytes at `address` stays below the end of the address space.
    static bool fits(uint32_t address, size_t length) {
        return uint64_t{address} + length <= uint64_t{1} << 32;
    }
    // Starts a run at `address`; false when the probe takes no download (nothing sent then).
    bool begin(uint32_t address);
    // Holds a write at the run's next address.
    void add(std::span<const uint8_t> data);
    // Sends the whole blocks held; a failure ends the run and waits to be reported by finish.
    void pump();
    // Sends what is held, waits until the probe has taken every block and ends the run: 0 or the
    // first error (also one that pump met).
    int32_t finish();
    // What the last run wrote, and the probe's detail word of a refused block, for error texts.
    std::string describe() const;

private:
    // Sends the held bytes up to the last block boundary, or all of them; 0 or the error.
    int32_t send(bool all);
    // Ends the download after an error; the error stays the one reported.
    int32_t abandon(int32_t error);

    Probe& probe_;
    bool active_ = false;
    uint32_t first_ = 0;   // where the run began
    uint32_t next_ = 0;    // the address after its last write
    uint32_t heldAt_ = 0;  // the address of held_[0]
    std::vector<uint8_t> held_;
    uint32_t detail_ = 0;
    int32_t failure_ = 0;
};

}  // namespace tov::gdb
