// Ends the emulated core's runs after a slice of time, from a thread of its own, so the
// emulator runs without counting instructions.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tov::sim {

// One waiting thread for the life of the core. The runner arms the timer before it lets the
// emulator go and disarms it when the emulator returns; when the time is up first, the timer
// calls `stop`, and again every kRepeat until disarmed, so a stop that lands just before the
// emulator started (and is forgotten by it) is not lost.
class SliceTimer {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::microseconds kRepeat{250};

    explicit SliceTimer(std::function<void()> stop);
    ~SliceTimer();
    SliceTimer(const SliceTimer&) = delete;
    SliceTimer& operator=(const SliceTimer&) = delete;

    void arm(Clock::time_point deadline);
    void disarm();

private:
    void loop();

    std::function<void()> stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool quitting_ = false;
    Clock::time_point deadline_;
    std::thread thread_;
};

}  // namespace tov::sim
