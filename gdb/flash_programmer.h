// What the GDB server needs to program flash for the client's vFlash packets: the erases and
// writes gathered up to vFlashDone, carried out in one pass by whoever knows the flash.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace tov::gdb {

// The client's requests between two vFlashDone packets, in the order they came.
struct FlashBatch {
    std::vector<std::pair<uint32_t, uint32_t>> erases;              // start, length
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> writes;  // address, bytes

    bool empty() const { return erases.empty() && writes.empty(); }
};

// Which step of a pass failed; the value is the number of the client's "E NN" reply.
enum class FlashFailure : uint8_t { None = 0, Erase = 3, Program = 4, Verify = 5 };

class FlashProgrammer {
public:
    virtual ~FlashProgrammer() = default;
    // Erases the blocks asked for and those the writes touch, programs the writes (a later
    // write to the same address wins) and verifies when set up to; the user of the server is
    // told what happened, the client only which step failed.
    virtual FlashFailure program(const FlashBatch& batch) = 0;
};

}  // namespace tov::gdb
