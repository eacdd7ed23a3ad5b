// A host end for tests: opens the simulator's pseudo-terminal raw at a line rate, sends frames
// and reads bytes or frames back under a wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "link/frame_codec.h"

namespace tov::sim::testing {

// The host side of the serial line, as plain termios calls.
class PtyHost {
public:
    PtyHost(const std::string& path, uint32_t rate);
    ~PtyHost();
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool setRate(uint32_t rate);
    void sendRaw(std::span<const uint8_t> bytes);
    void sendPayload(std::span<const uint8_t> payload);

    // Reads until `count` bytes came or the wait is over; returns what came.
    std::vector<uint8_t> readBytes(size_t count, std::chrono::milliseconds wait);

    struct Frame {
        link::FrameDecoder::Status status = link::FrameDecoder::Status::NeedMore;  // NeedMore: none
        std::vector<uint8_t> payload;
    };
    // Reads one frame (or the failure of one) within the wait.
    Frame readFrame(std::chrono::milliseconds wait);

private:
    bool nextByte(uint8_t& byte, std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::deque<uint8_t> pending_;
};

// Waits until the condition holds or the wait is over; returns the condition's last value.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds wait = std::chrono::seconds(3)) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace tov::sim::testing
