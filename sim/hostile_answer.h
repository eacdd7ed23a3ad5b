// The hostile probe: answers whose frame is sound but whose message is garbage, cut short, of the
// wrong request or longer than the request's answer, so that the host's decoders meet them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tov::sim {

enum class HostileKind : uint8_t { Random, Truncated, WrongCode, Oversized };

inline constexpr unsigned kHostileKinds = 4;

const char* hostileKindName(HostileKind kind);

// The message that goes out instead of `answer`. Every byte is drawn from a generator seeded
// with `draw`, so the same draw turns the same answer into the same message. An oversized
// message now and then exceeds the largest message a frame may carry.
std::vector<uint8_t> hostileMessage(HostileKind kind, uint64_t draw,
                                    std::span<const uint8_t> answer);

}  // namespace tov::sim
