// A scripted serial line in virtual time: records what the host writes (with the line rate it
// was written at) and delivers what a script answers, so wire behaviour is checked byte by byte.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/serial_device.h"

namespace tov::test {

using Bytes = std::vector<uint8_t>;

// Time passes only when the code under test sleeps or waits for a byte that does not come.
class VirtualClock final : public link::Clock {
public:
    uint64_t nowMs() override { return now_; }
    void sleepMs(uint32_t ms) override {
        now_ += ms;
        sleeps.push_back(ms);
    }
    void advance(uint64_t ms) { now_ += ms; }
    std::vector<uint32_t> sleeps;

private:
    uint64_t now_ = 1000;
};

struct Write {
    Bytes bytes;
    uint32_t rate;
    uint64_t atMs;
};

class ScriptedLine;

// The device the link opens; all state lives in the ScriptedLine so tests can inspect it after
// the link closed the device.
class ScriptedDevice final : public link::SerialDevice {
public:
    explicit ScriptedDevice(ScriptedLine& line) : line_(line) {}
    ~ScriptedDevice() override;
    bool setRate(uint32_t baud) override;
    ReadResult readByte(uint8_t& byte, uint32_t timeoutMs) override;
    size_t write(const uint8_t* data, size_t length, uint32_t timeoutMs) override;
    bool clearError() override;
    size_t inputQueued() override;

private:
    ScriptedLine& line_;
};

class ScriptedLine final : public link::SerialDeviceFactory {
public:
    // Called for every write; it may queue answer bytes with deliver().
    using Responder = std::function<void(const Write&)>;

    std::unique_ptr<link::SerialDevice> open(const std::string& path) override;

    void deliver(const Bytes& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
    // Encodes payload as a frame and queues it.
    void deliverFrame(const Bytes& payload);

    VirtualClock clock;
    Responder responder;
    std::vector<Write> writes;
    std::deque<uint8_t> input;
    std::set<uint32_t> refusedRates;
    std::vector<std::string> openedPaths;
    uint32_t rate = 0;
    int opens = 0;
    int closes = 0;
    bool failOpen = false;
    bool portFailed = false;  // reads fail at once and the error cannot be cleared
};

// A responder that behaves like a probe listening at `listening`: it answers link pings and
// line-rate changes sent at that rate, and passes command frames to `onCommand`.
struct FakeProbe {
    uint32_t listening = 115200;
    std::function<void(const Bytes& payload)> onCommand;
    void attach(ScriptedLine& line);
};

// Decodes a written frame (DLE STX ... DLE ETX BCC) back into its payload.
Bytes payloadOf(const Bytes& frame);

Bytes hexBytes(const std::string& hex);

// An answer payload: a command-frame header carrying `sequence` (0..3) and the message.
Bytes answerPayload(uint8_t sequence, const Bytes& message);

}  // namespace tov::test
