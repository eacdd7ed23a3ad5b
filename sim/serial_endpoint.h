// The simulator's serial side: a pseudo-terminal whose slave the host opens, the check of the
// host's line rate, the frame decoder and the paced output queue.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/frame_codec.h"
#include "sim/trace.h"

namespace tov::sim {

// What the serial endpoint needs of the probe behind it.
class FrameSink {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    enum class IgnoreReason { WrongRate, Restarting };

    virtual ~FrameSink() = default;
    virtual bool probeListening(TimePoint now) = 0;
    virtual uint32_t probeRate(TimePoint now) = 0;
    // A checked frame: its payload and the bytes it came as.
    virtual void onFrame(std::span<const uint8_t> payload, std::span<const uint8_t> wire,
                         TimePoint now) = 0;
    virtual void onDamagedFrame(link::FrameDecoder::Status status,
                                std::span<const uint8_t> wire) = 0;
    // Bytes the probe did not understand or did not hear; one call per run of such bytes.
    virtual void onIgnoredBytes(IgnoreReason reason, size_t count, uint32_t hostRate,
                                uint32_t probeRate) = 0;
};

// A pseudo-terminal standing in for the probe's serial port. All calls come from one thread.
class SerialEndpoint {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    SerialEndpoint(std::string linkPath, bool lineTiming, Trace& trace);
    ~SerialEndpoint();
    SerialEndpoint(const SerialEndpoint&) = delete;
    SerialEndpoint& operator=(const SerialEndpoint&) = delete;

    // Makes the pseudo-terminal (slave raw at `rate`) and the link to it; 0 or a negative errno.
    int open(uint32_t rate);
    // Closes both ends and removes the link if it still points at this terminal.
    void close();

    int pollFd() const { return master_; }
    const std::string& linkPath() const { return linkPath_; }
    const std::string& slaveName() const { return slaveName_; }

    // The rate the host set on the line, or 0 when input and output rates differ or are unknown.
    uint32_t hostRate() const;

    // Takes everything waiting on the master, stamped with the host's rate now.
    void readInput(TimePoint now);
    // Feeds the bytes whose time has come to the decoder (or discards them).
    void processInput(TimePoint now, FrameSink& sink);
    // Queues an encoded frame to leave no earlier than `release`; with line timing its bytes
    // leave at `rate`.
    void queueOutput(std::vector<uint8_t> wire, TimePoint release, uint32_t rate,
                     std::string remark);
    // Writes what is due. Bytes a host does not take (nobody has the port open and the
    // terminal's buffer is full) are lost, as on a real line.
    void writeOutput(TimePoint now);
    // The earliest time something queued becomes due; nothing when idle.
    std::optional<TimePoint> nextDue() const;

private:
    struct InByte {
        uint8_t value;
        TimePoint due;
        uint32_t hostRate;
    };
    struct OutFrame {
        std::vector<uint8_t> bytes;
        TimePoint release;
        std::chrono::nanoseconds byteTime;
        std::string remark;
        std::optional<TimePoint> start;
        size_t written = 0;
    };

    void feed(uint8_t byte, TimePoint now, FrameSink& sink);
    void restartDecoder();
    void flushIgnored(FrameSink& sink, uint32_t probeRate);
    static std::chrono::nanoseconds byteTime(uint32_t rate);

    std::string linkPath_;
    bool lineTiming_;
    Trace& trace_;
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
    bool linked_ = false;

    std::deque<InByte> input_;
    TimePoint inputClock_{};
    link::FrameDecoder decoder_;
    uint8_t frame_[link::kMaxPayload];
    std::vector<uint8_t> raw_;  // bytes of the frame being received, as they came
    size_t skipped_ = 0;        // bytes before a frame start that belonged to no frame

    // Run of ignored bytes being counted.
    std::optional<FrameSink::IgnoreReason> ignoring_;
    size_t ignoredCount_ = 0;
    uint32_t ignoredHostRate_ = 0;

    std::deque<OutFrame> output_;
    TimePoint lineFree_{};
};

}  // namespace tov::sim
