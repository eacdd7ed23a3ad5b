// The simulator's misbehaviour: fault settings parsed from --faults, and the seeded plan that
// decides, frame by frame, which faults hit.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "sim/hostile_answer.h"

namespace tov::sim {

// Probabilities (0..1) and the delay bound of each fault kind; all off by default.
struct FaultSettings {
    double drop = 0;
    double corrupt = 0;
    uint32_t delayMs = 0;
    double dup = 0;
    double stale = 0;
    double event = 0;
    double hostile = 0;  // an answer's message is replaced by a hostile one
    uint64_t seed = 1;

    bool any() const {
        return drop > 0 || corrupt > 0 || delayMs > 0 || dup > 0 || stale > 0 || event > 0 ||
               hostile > 0;
    }
};

// Parses "drop=P,corrupt=P,delay=MS,dup=P,stale=P,event=P,hostile=P,seed=N" (any subset, any order, each
// key at most once). On failure returns false and says why in `error`; `out` is then unchanged.
bool parseFaults(std::string_view text, FaultSettings& out, std::string& error);

// Draws the fault decisions from one seeded generator, so a run with the same seed and the same
// traffic makes the same decisions. A fault whose probability is 0 draws nothing.
class FaultPlan {
public:
    struct ReceiveFaults {
        bool drop = false;     // the received frame is ignored
        bool corrupt = false;  // the received frame counts as damaged and is ignored
    };
    struct AnswerFaults {
        bool drop = false;             // the answer is not sent
        bool corrupt = false;          // one bit of the encoded answer is flipped
        uint64_t corruptPosition = 0;  // which byte (taken modulo the encoded length)
        uint8_t corruptBit = 0;        // which bit of that byte, 0..7
        uint32_t delayMs = 0;          // wait before the answer leaves
        bool duplicate = false;        // the answer is sent twice
        bool stale = false;            // the previous answer is sent first
        bool event = false;            // an event frame is sent first
        uint8_t eventBits = 0;         // its event byte: one bit set
        bool hostile = false;          // the answer's message is replaced
        HostileKind hostileKind = HostileKind::Random;
        uint64_t hostileDraw = 0;      // seed of the replacement's bytes
    };

    explicit FaultPlan(const FaultSettings& settings);

    const FaultSettings& settings() const { return settings_; }
    ReceiveFaults onReceive();
    AnswerFaults onAnswer();

private:
    bool chance(double p);
    uint64_t below(uint64_t n);

    FaultSettings settings_;
    std::mt19937_64 rng_;
};

}  // namespace tov::sim
