// The simulator as a class: one probe behind its endpoints, served by a worker thread, with the
// hooks tests use to make the probe misbehave on cue.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/faults.h"
#include "sim/probe.h"
#include "sim/serial_endpoint.h"
#include "sim/sim_options.h"
#include "sim/trace.h"

namespace tov::sim {

// Counters of what the simulator saw and did.
struct SimStats {
    uint64_t linkFrames = 0;           // link-control frames received
    uint64_t commandFrames = 0;        // command frames received
    uint64_t wrongRateBytes = 0;       // bytes not understood: the host's rate was not the probe's
    uint64_t wrongRateRuns = 0;        // runs of such bytes (roughly: frames sent at a wrong rate)
    uint64_t restartBytes = 0;         // bytes that arrived while the probe restarted
    uint64_t damagedFrames = 0;        // frames that failed their check or carry a bad header
    uint64_t ignoredFrames = 0;        // good frames not answered: faults, mute, unknown frame type
    uint64_t answersSent = 0;          // answer frames put on the line (duplicates included)
    uint64_t eventsSent = 0;           // event frames put on the line
    std::vector<uint8_t> lastRequest;  // message of the last command frame received
};

// The whole simulated probe, run in-process by tests and by the tovsim program.
class Simulator : private FrameSink {
public:
    // One-shot misbehaviour of the next answer.
    enum class Damage {
        Bcc,        // wrong check byte
        Format,     // DLE 0x05 inside the frame
        Overflow,   // a payload longer than 1500 bytes
        Drop,       // not sent at all
        Stale,      // the previous answer (other sequence bits) is sent first
        Duplicate,  // sent twice
    };

    explicit Simulator(SimOptions options);
    ~Simulator() override;
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the endpoints and starts serving: 0 or a negative errno.
    int start();
    // Stops serving and removes the endpoints; safe to call more than once.
    void stop();

    // The text after "ready": the endpoints, e.g. "serial=/tmp/x/ttyTOV".
    std::string endpoints() const;
    std::string serialPath() const { return options_.serialPath; }
    // The pseudo-terminal device the serial link points at.
    std::string slaveDevice() const;

    // A muted probe hears frames (they are counted) but does nothing with them.
    void setMute(bool muted);
    // Damages the next answer; several calls damage the following answers in turn.
    void damageNextAnswer(Damage damage);
    // Sends an event frame with these bits just before the next answer.
    void eventBeforeNextAnswer(uint8_t bits);
    // Sends an event frame now.
    void sendEvent(uint8_t bits);

    SimStats stats() const;
    uint32_t listeningRate() const;
    bool inLoader() const;

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void wake();

    bool probeListening(TimePoint now) override;
    uint32_t probeRate(TimePoint now) override;
    void onFrame(std::span<const uint8_t> payload, std::span<const uint8_t> wire,
                 TimePoint now) override;
    void onDamagedFrame(link::FrameDecoder::Status status, std::span<const uint8_t> wire) override;
    void onIgnoredBytes(IgnoreReason reason, size_t count, uint32_t hostRate,
                        uint32_t probeRate) override;

    // Puts an answer payload on the line with the faults and damage due for it.
    void sendAnswer(std::vector<uint8_t> payload, bool link, uint32_t rate, TimePoint now);
    void queueFrame(std::vector<uint8_t> wire, TimePoint release, uint32_t rate,
                    std::string remark);

    const SimOptions options_;
    mutable std::mutex mutex_;  // guards everything below; the worker holds it while it works
    mutable Probe probe_;       // finishes a restart lazily, also when merely asked
    FaultPlan faults_;
    Trace trace_;
    std::unique_ptr<SerialEndpoint> serial_;
    SimStats stats_;
    bool muted_ = false;
    std::deque<Damage> damages_;
    std::vector<uint8_t> pendingEvents_;
    std::vector<uint8_t> lastLinkAnswer_;
    std::vector<uint8_t> lastCommandAnswer_;

    std::thread worker_;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    bool running_ = false;
};

}  // namespace tov::sim
