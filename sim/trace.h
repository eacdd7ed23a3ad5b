// The simulator's trace: every frame in both directions and every fault, one time-stamped line
// each.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

namespace tov::sim {

// Writes "  12.345 host> 10 02 00 01 01 10 03 00" lines (milliseconds since the start); a
// trace that was not opened writes nothing.
class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Opens (truncates) the file; 0 or a negative errno.
    int open(const std::string& path);
    void close();
    bool enabled() const { return file_ != nullptr; }

    // Bytes received from the host / sent to the host, as hex.
    void fromHost(std::span<const uint8_t> bytes, const std::string& remark = {});
    void toHost(std::span<const uint8_t> bytes, const std::string& remark = {});
    // Anything else worth knowing: ignored bytes, faults applied, mode changes.
    void note(const std::string& text);

    static std::string hex(std::span<const uint8_t> bytes);

private:
    void line(const char* tag, const std::string& text);

    std::mutex mutex_;
    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace tov::sim
