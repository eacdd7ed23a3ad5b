// Making hostile answer messages from a seeded draw.
#include "sim/hostile_answer.h"

#include <random>

#include "link/frame_header.h"

namespace tov::sim {
namespace {

// Lengths near an answer's own size find more faults than uniform ones: most draws stay short.
size_t drawLength(std::mt19937_64& rng, size_t max) {
    const size_t bound = rng() % 4 == 0 ? max : (max < 32 ? max : 32);
    return static_cast<size_t>(rng() % (bound + 1));
}

void appendRandom(std::mt19937_64& rng, std::vector<uint8_t>& out, size_t count) {
    for (size_t i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(rng()));
}

}  // namespace

const char* hostileKindName(HostileKind kind) {
    switch (kind) {
        case HostileKind::Random:
            return "random bytes";
        case HostileKind::Truncated:
            return "truncated";
        case HostileKind::WrongCode:
            return "wrong code";
        case HostileKind::Oversized:
            return "oversized";
    }
    return "?";
}

std::vector<uint8_t> hostileMessage(HostileKind kind, uint64_t draw,
                                    std::span<const uint8_t> answer) {
    std::mt19937_64 rng(draw);
    std::vector<uint8_t> out;
    switch (kind) {
        case HostileKind::Random:
            appendRandom(rng, out, drawLength(rng, link::kMaxMessage));
            break;
        case HostileKind::Truncated:
            if (!answer.empty()) {
                out.assign(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(
                                                                rng() % answer.size()));
            }
            break;
        case HostileKind::WrongCode:
            out.assign(answer.begin(), answer.end());
            if (out.empty()) out.push_back(0);
            out[0] ^= static_cast<uint8_t>(1 + rng() % 255);
            break;
        case HostileKind::Oversized: {
            out.assign(answer.begin(), answer.end());
            // One in eight goes beyond what a frame may carry; the rest stay within it.
            const bool beyond = rng() % 8 == 0 || out.size() >= link::kMaxMessage;
            const size_t target = beyond ? link::kMaxMessage + 1 + rng() % 100
                                         : out.size() + 1 + rng() % (link::kMaxMessage - out.size());
            appendRandom(rng, out, target > out.size() ? target - out.size() : 1);
            break;
        }
    }
    return out;
}

}  // namespace tov::sim
