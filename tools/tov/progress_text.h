// The text of the progress bar: sizes, rates and times a person reads, and the meter that decides
// when a new line is worth drawing. Pure functions of their inputs, so they test without a tty.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tov::cli {

// "512 B", "12.5 KiB", "3.25 MiB", "1.50 GiB" (binary units).
std::string formatBytes(uint64_t bytes);

// Average rate of `bytes` in `seconds` as "123.4 KiB/s"; "-- KiB/s" while nothing can be said
// (no bytes yet or no time passed).
std::string formatRate(uint64_t bytes, double seconds);

// Time the rest takes at the average rate so far: "0:07", "12:34", "1:02:03" (rounded up); "--:--"
// while no rate is known.
std::string formatTimeLeft(uint64_t done, uint64_t total, double seconds);

// One line of the bar for a terminal `width` columns wide:
// "LABEL [#####.....]  42%  1.2 MiB / 3.0 MiB   45.6 KiB/s      0:40 left". The bar shrinks with
// the width and is left out when there is no room for it.
std::string formatProgressLine(const std::string& label, uint64_t done, uint64_t total,
                               double seconds, int width);

// Decides which progress reports are drawn: the first, then at most one per interval, and the one
// that reaches the total, once.
class ProgressMeter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{100};

    ProgressMeter(std::string label, Clock::time_point start);

    // The line to draw for this report, or nullopt when it is skipped.
    std::optional<std::string> update(uint64_t done, uint64_t total, Clock::time_point now,
                                      int width);

    // True once any line was drawn, so the caller knows the line needs ending.
    bool drawn() const { return lastDraw_.has_value(); }

private:
    std::string label_;
    Clock::time_point start_;
    std::optional<Clock::time_point> lastDraw_;
    bool complete_ = false;
};

}  // namespace tov::cli
