// Deliberate damage of answer datagrams.
#include "sim/datagram_damage.h"

#include "link/frame_header.h"

namespace tov::sim {

void breakLengthField(std::vector<uint8_t>& datagram) {
    if (datagram.size() >= link::kHeaderSize) datagram[1] ^= 0x01;
}

void truncateDatagram(std::vector<uint8_t>& datagram) {
    if (datagram.size() > 1) datagram.pop_back();
}

unsigned flipCheckedHeaderBit(std::vector<uint8_t>& datagram, uint64_t choice) {
    // Bits 5-3 of byte 0 (frame type, event marker) are not looked at in an answer: flipping
    // them would damage nothing the host could tell, so they are left out.
    static constexpr unsigned kBits[13] = {0, 1, 2, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const unsigned at = kBits[choice % 13];
    if (datagram.size() >= link::kHeaderSize) {
        datagram[at / 8] ^= static_cast<uint8_t>(1u << (at % 8));
    }
    return at;
}

}  // namespace tov::sim
