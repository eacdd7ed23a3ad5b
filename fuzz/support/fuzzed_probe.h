// A probe at the far end of a serial line whose every answer the fuzz input chooses: nothing,
// an event frame, junk on the line, a stale answer, an echo, or an answer under the request's
// sequence bits with a code and message from the input, or a sound answer of a size given once;
// or the port fails a read or goes away.
// Time is virtual, so the library's waits and pauses cost nothing, and the line counts what it
// did for the targets' checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/support/fuzz_input.h"
#include "link/clock.h"
#include "link/frame_codec.h"
#include "link/serial_device.h"

namespace tov::fuzz {

class VirtualClock : public link::Clock {
public:
    uint64_t nowMs() override { return now_; }
    void sleepMs(uint32_t ms) override { now_ += ms; }
    void advance(uint64_t ms) { now_ += ms; }

private:
    uint64_t now_ = 1000;
};

// What the line saw during one call of a target's driver. A call that reads more than
// `readLimit` times, or waits longer than `timeLimitMs` of virtual time, has hung: the line stops
// it there, because a hung call would never come back to be checked.
struct LineCounts {
    // The longest waits a probe may ask for are the bulk download's: up to 67.5 s for each
    // acknowledgement, five times over before the host gives up. Filled with the shortest
    // frames (9 bytes a millisecond of line time) they take about 3 million reads.
    uint64_t readLimit = 4000000;
    uint64_t timeLimitMs = 30ull * 60 * 1000;
    uint64_t startedMs = 0;
    uint64_t bytesRead = 0;        // reads that returned a byte
    uint64_t reads = 0;            // every read of the host, time-outs included
    unsigned commandRequests = 0;  // command frames the host sent
    // Codes of the command requests answered under their sequence bits but another code.
    std::vector<uint8_t> wrongCodeRequests;
};

class FuzzedLine : public link::SerialDeviceFactory {
public:
    FuzzedLine(FuzzInput& input, VirtualClock& clock) : input_(input), clock_(clock) {}

    std::unique_ptr<link::SerialDevice> open(const std::string& path) override;

    // A device on this line that was not opened by path (for a transport a target builds).
    std::unique_ptr<link::SerialDevice> device();

    LineCounts& counts() { return counts_; }
    VirtualClock& clock() { return clock_; }
    FuzzInput& input() { return input_; }

    // The host wrote a complete frame: remembers it as the request to answer.
    void onFrame(const std::vector<uint8_t>& payload);
    // True when the probe has something on its way to the host.
    bool waiting();
    // The next byte the probe puts on the line, or false when it sends nothing now.
    bool nextByte(uint8_t& byte);
    // The port has gone away (unplugged); every later read says so.
    bool gone() const { return gone_; }
    // True once after the input made a read fail.
    bool takeLineError() { return std::exchange(lineError_, false); }

private:
    void answer();
    void queueFrame(const std::vector<uint8_t>& payload);

    FuzzInput& input_;
    VirtualClock& clock_;
    LineCounts counts_;
    std::vector<uint8_t> request_;  // the frame waiting for an answer, header included
    bool pending_ = false;
    unsigned flood_ = 0;  // stale answers still to send without reading the input
    std::map<uint8_t, uint8_t> sizes_;  // request code: the size of its sound answers
    bool gone_ = false;
    bool lineError_ = false;
    std::deque<uint8_t> out_;
};

}  // namespace tov::fuzz
