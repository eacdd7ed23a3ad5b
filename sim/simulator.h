// The simulator as a class: one probe behind its endpoints, served by a worker thread, with the
// hooks tests use to make the probe misbehave on cue.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim/faults.h"
#include "sim/probe.h"
#include "sim/serial_endpoint.h"
#include "sim/sim_options.h"
#include "sim/trace.h"
#include "sim/udp_endpoint.h"

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
    uint64_t hostileAnswers = 0;       // answers whose message the hostile fault replaced
    uint64_t wrongCodeAnswers = 0;     // of those, the true answer under a wrong code
    uint64_t udpDatagrams = 0;         // datagrams received on either UDP port
    std::vector<uint8_t> lastRequest;  // message of the last command frame received
};

// The whole simulated probe, run in-process by tests and by the tovsim program.
class Simulator : private FrameSink, private DatagramSink {
public:
    // One-shot misbehaviour of the next answer. On UDP, which has no framing of its own, the
    // first three become a flipped length bit, a datagram one byte short and one of 1600 bytes.
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

    // Opens the endpoints and starts serving: 0 or a negative errno (-EINVAL without any
    // endpoint, -EADDRNOTAVAIL for a UDP address outside 127.0.0.0/8).
    int start();
    // Stops serving and removes the endpoints; safe to call more than once.
    void stop();

    // The text after "ready": the endpoints, e.g. "serial=/tmp/x/tty udp=127.0.0.5:2001,2002".
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
    // Sends an event frame now, by the way the last frame came (the serial line before any).
    void sendEvent(uint8_t bits);

    SimStats stats() const;
    // What the loader requests have changed in the probe's own flash and logic device so far.
    StorageWrites storageWrites() const;
    // Runs `action` on the probe under the simulator's lock, between two frames: to set the
    // hooks of its logic device or to look at its flash. `action` must not call back into the
    // simulator.
    void withProbe(const std::function<void(Probe&)>& action);
    // Reads target memory as the probe holds it, bypassing the link (and its faults).
    std::vector<uint8_t> peekMemory(uint32_t address, size_t length) const;
    // Reads the on-chip flash array the same way (0xFF outside it).
    std::vector<uint8_t> peekChipFlash(uint32_t address, size_t length) const;
    // The blocks the probe was given in flash write modes so far, in arrival order; and forgets
    // them.
    std::vector<ProgrammedBlock> programmedBlocks() const;
    void clearProgrammedBlocks();
    uint32_t listeningRate() const;
    bool inLoader() const;

private:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;  // the same type in both sink interfaces

    void run();
    void wake();

    bool probeListening(TimePoint now) override;
    uint32_t probeRate(TimePoint now) override;
    void onFrame(std::span<const uint8_t> payload, std::span<const uint8_t> wire,
                 TimePoint now) override;
    void onDamagedFrame(link::FrameDecoder::Status status, std::span<const uint8_t> wire) override;
    void onIgnoredBytes(IgnoreReason reason, size_t count, uint32_t hostRate,
                        uint32_t probeRate) override;
    void onDatagram(const UdpPeer& from, std::span<const uint8_t> bytes, size_t size,
                    TimePoint now) override;

    // A frame payload from either transport; `origin_` says which.
    void handleFrame(std::span<const uint8_t> payload, TimePoint now);
    // Sends an answer payload back the way its request came, with the faults and damage due.
    void sendAnswer(std::vector<uint8_t> payload, bool link, uint32_t rate, TimePoint now);
    // The answer as it goes out, damaged as asked: a serial frame or a datagram.
    // The answer payload with its message replaced as the hostile fault drew it.
    std::vector<uint8_t> hostilePayload(const std::vector<uint8_t>& payload,
                                        const FaultPlan::AnswerFaults& faults);
    std::vector<uint8_t> damagedWire(const std::vector<uint8_t>& payload,
                                     std::optional<Damage> damage,
                                     const FaultPlan::AnswerFaults& faults, std::string& remark);
    std::vector<uint8_t> damagedDatagram(const std::vector<uint8_t>& payload,
                                         std::optional<Damage> damage,
                                         const FaultPlan::AnswerFaults& faults,
                                         std::string& remark);
    // Queues an undamaged payload (framed for the serial line) toward `origin_`.
    void queuePayload(std::span<const uint8_t> payload, TimePoint release, uint32_t rate,
                      std::string remark);
    // Queues bytes ready for the transport toward `origin_`.
    void queueFrame(std::vector<uint8_t> wire, TimePoint release, uint32_t rate,
                    std::string remark);
    bool canSend() const;

    const SimOptions options_;
    mutable std::mutex mutex_;  // guards everything below; the worker holds it while it works
    mutable Probe probe_;       // finishes a restart lazily, also when merely asked
    FaultPlan faults_;
    Trace trace_;
    std::unique_ptr<SerialEndpoint> serial_;
    std::unique_ptr<UdpEndpoint> udp_;
    // Where the last frame came from: a UDP peer, or nothing for the serial line. Answers go
    // back there, and so do events sent on their own.
    std::optional<UdpPeer> origin_;
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
