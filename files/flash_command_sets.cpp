// The erase sequences of command sets A and B and their status polling.
#include "files/flash_command_sets.h"

#include <initializer_list>
#include <utility>

#include "link/error_codes.h"

namespace tov::files {
namespace {

constexpr uint8_t kEraseFailedBit = 0x20;  // set A: set while erasing means the chip gave up
constexpr uint8_t kReadyBit = 0x80;        // set B status: the operation ended
constexpr uint8_t kErrorBits = 0x78;       // set B status: erase, program, voltage, lock errors

using Step = std::pair<uint32_t, uint8_t>;

uint32_t firstUnlock(const EraseJob& job) {
    return job.bank + uint32_t{job.type.firstCommand} * job.bus.width();
}

uint32_t secondUnlock(const EraseJob& job) {
    return job.bank + uint32_t{job.type.secondCommand} * job.bus.width();
}

// Command set A writes each command byte into every lane, whatever the chips' width.
int32_t writeLanes(const EraseJob& job, std::initializer_list<Step> steps) {
    for (const Step& step : steps) {
        int32_t rc = job.bus.write(step.first, job.bus.everyLane(step.second));
        if (rc != link::kOk) return rc;
    }
    return link::kOk;
}

bool timeIsUp(const EraseJob& job, uint64_t start, uint64_t limit) {
    return job.clock.nowMs() - start > limit;
}

// Polls until the sector reads all ones. A chip that had its failure bit set in one reading and
// is still not erased in the next one has aborted the erase.
int32_t pollWithFailureBit(const EraseJob& job, uint64_t start, uint64_t limit) {
    uint64_t previous = 0;
    int32_t rc = job.bus.read(job.sector, previous);
    while (rc == link::kOk && !job.bus.allOnes(previous)) {
        uint64_t current = 0;
        rc = job.bus.read(job.sector, current);
        if (rc != link::kOk) break;
        for (int chip = 0; chip < job.bus.chips(); ++chip) {
            if (!job.bus.chipAllOnes(current, chip) &&
                (job.bus.chipLowByte(previous, chip) & kEraseFailedBit) != 0) {
                return link::kEraseFailed;
            }
        }
        if (timeIsUp(job, start, limit)) return link::kEraseFailed;
        previous = current;
    }
    return rc;
}

// Polls until the sector reads all ones; with `neighbour` each poll first reads the address
// next to it, which these chips need to advance their status.
int32_t pollUntilErased(const EraseJob& job, uint64_t start, uint64_t limit, bool neighbour) {
    for (;;) {
        uint64_t value = 0;
        if (neighbour) {
            int32_t rc = job.bus.read(job.sector ^ 4u, value);
            if (rc != link::kOk) return rc;
        }
        int32_t rc = job.bus.read(job.sector, value);
        if (rc != link::kOk) return rc;
        if (job.bus.allOnes(value)) return link::kOk;
        if (timeIsUp(job, start, limit)) return link::kEraseFailed;
    }
}

// Waits for the end of the erase in the way of the type's variant.
int32_t poll(const EraseJob& job, uint64_t start, uint64_t limit) {
    switch (job.type.erase) {
        case EraseMethod::kPlainPoll:
            return pollUntilErased(job, start, limit, false);
        case EraseMethod::kAlternatingPoll:
            return pollUntilErased(job, start, limit, true);
        default:
            return pollWithFailureBit(job, start, limit);
    }
}

}  // namespace

int32_t eraseCommandSetA(const EraseJob& job, EraseScope scope) {
    const EraseMethod method = job.type.erase;
    // On a 16-bit bus these parts are wired only as word chips; anything else is left alone.
    if (method == EraseMethod::kAlternatingPoll && job.bus.width() == 2 &&
        job.type.chipWidth != 2) {
        return link::kOk;
    }
    const uint64_t start = job.clock.nowMs();
    const uint64_t limit = scope == EraseScope::kChip ? kChipEraseLimitMs : kSectorEraseLimitMs;
    const uint32_t first = firstUnlock(job);
    const uint32_t second = secondUnlock(job);

    const Step command = scope == EraseScope::kChip    ? Step{first, 0x10}
                         : scope == EraseScope::kBlock ? Step{job.sector, 0x50}
                                                       : Step{job.sector, 0x30};
    int32_t rc = writeLanes(
        job,
        {{first, 0xAA}, {second, 0x55}, {first, 0x80}, {first, 0xAA}, {second, 0x55}, command});
    if (rc == link::kOk) rc = poll(job, start, limit);
    // Back to read mode whatever happened; the plain-poll parts return to it by themselves. An
    // erase whose chips did not take the reset is not done: they would answer reads with their
    // status instead of the data.
    if (method != EraseMethod::kPlainPoll) {
        const int32_t reset = writeLanes(job, {{first, 0xAA}, {second, 0x55}, {first, 0xF0}});
        if (rc == link::kOk) rc = reset;
    }
    return rc;
}

int32_t eraseCommandSetB(const EraseJob& job) {
    FlashBus& bus = job.bus;
    const uint64_t start = job.clock.nowMs();
    int32_t rc = bus.write(job.sector, bus.everyChip(0x20));
    if (rc == link::kOk) rc = bus.write(job.sector, bus.everyChip(0xD0));
    while (rc == link::kOk) {
        uint64_t status = 0;
        rc = bus.read(job.sector, status);
        if (rc != link::kOk) break;
        bool ready = true;
        bool failed = false;
        for (int chip = 0; chip < bus.chips(); ++chip) {
            ready = ready && (bus.chipLowByte(status, chip) & kReadyBit) != 0;
            failed = failed || (bus.chipLowByte(status, chip) & kErrorBits) != 0;
        }
        if (ready) {
            rc = failed ? link::kEraseFailed : link::kOk;
            break;
        }
        if (timeIsUp(job, start, kSectorEraseLimitMs)) rc = link::kEraseFailed;
    }
    // Clear the status and return to read mode whatever happened; as with set A, an erase
    // whose chips were not put back to read mode is not done.
    uint64_t ignored = 0;
    int32_t reset = bus.write(job.sector, bus.everyChip(0x50));
    if (reset == link::kOk) reset = bus.write(job.sector, bus.everyChip(0xFF));
    if (reset == link::kOk) reset = bus.read(job.sector, ignored);
    if (rc == link::kOk) rc = reset;
    return rc;
}

}  // namespace tov::files
