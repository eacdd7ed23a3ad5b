// The slice timer's thread: asleep until a slice's deadline, then stopping the emulator.
#include "sim/slice_timer.h"

namespace tov::sim {

SliceTimer::SliceTimer(std::function<void()> stop)
    : stop_(std::move(stop)), thread_([this] { loop(); }) {}

SliceTimer::~SliceTimer() {
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

void SliceTimer::arm(Clock::time_point deadline) {
    {
        std::lock_guard lock(mutex_);
        armed_ = true;
        deadline_ = deadline;
    }
    changed_.notify_one();
}

void SliceTimer::disarm() {
    // The thread needs no wake-up: it finds the timer disarmed when its wait ends.
    std::lock_guard lock(mutex_);
    armed_ = false;
}

void SliceTimer::loop() {
    std::unique_lock lock(mutex_);
    while (!quitting_) {
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (Clock::now() < deadline_) {
            changed_.wait_until(lock, deadline_);
            continue;
        }
        stop_();
        changed_.wait_for(lock, kRepeat);
    }
}

}  // namespace tov::sim
