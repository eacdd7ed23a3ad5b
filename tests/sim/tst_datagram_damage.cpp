// Damage of answer datagrams: every kind must be something the host's checks notice.
#include <gtest/gtest.h>

#include "link/frame_header.h"
#include "sim/datagram_damage.h"

namespace tov::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// What the host does with an answer to a request with sequence bits `sequence`: true when it
// would take the datagram as that answer.
bool hostAccepts(const Bytes& datagram, uint8_t sequence) {
    if (datagram.size() < 3) return false;
    const link::FrameHeader header = link::readHeader(datagram.data());
    return header.sequence == sequence && header.length == datagram.size() - 2;
}

TEST(DatagramDamage, EveryCorruptionIsCaughtByTheHostsChecks) {
    Bytes answer(2 + 300, 0x5A);
    link::writeHeader(answer.data(), 2, link::kFrameTypeCommand, 300);
    ASSERT_TRUE(hostAccepts(answer, 2));

    std::vector<unsigned> flipped;
    for (uint64_t choice = 0; choice < 26; ++choice) {
        Bytes damaged = answer;
        const unsigned at = flipCheckedHeaderBit(damaged, choice * 0x9E3779B97F4A7C15ull);
        int differences = 0;
        for (size_t i = 0; i < answer.size(); ++i) {
            differences += __builtin_popcount(answer[i] ^ damaged[i]);
        }
        EXPECT_EQ(differences, 1) << choice;
        EXPECT_EQ(damaged[at / 8], answer[at / 8] ^ (1u << (at % 8)));
        EXPECT_FALSE(hostAccepts(damaged, 2)) << "bit " << at;
        flipped.push_back(at);
    }
    // The draws reach many different bits, not one.
    std::sort(flipped.begin(), flipped.end());
    flipped.erase(std::unique(flipped.begin(), flipped.end()), flipped.end());
    EXPECT_GE(flipped.size(), 8u);

    Bytes broken = answer;
    breakLengthField(broken);
    EXPECT_FALSE(hostAccepts(broken, 2));
    Bytes shortened = answer;
    truncateDatagram(shortened);
    EXPECT_EQ(shortened.size(), answer.size() - 1);
    EXPECT_FALSE(hostAccepts(shortened, 2));
    Bytes tiny{0x00};
    truncateDatagram(tiny);
    EXPECT_EQ(tiny.size(), 1u);
}

}  // namespace
}  // namespace tov::sim
