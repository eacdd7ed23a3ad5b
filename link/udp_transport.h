// Frames over UDP: one payload per datagram to a connected, non-blocking socket.
#pragma once

#include <string>

#include "link/flavour.h"
#include "link/transport.h"

namespace tov::link {

class UdpTransport final : public Transport {
public:
    explicit UdpTransport(const LinkFlavour& flavour) : flavour_(flavour) {}
    ~UdpTransport() override;

    // Resolves host (dotted address first, then the name service) and connects: 0, -1101 or
    // -1202.
    int32_t open(const std::string& host, uint16_t port);
    // Sends link pings until one is answered with 3 bytes: 0, or -1201 after six tries.
    int32_t check();

    int32_t send(std::span<const uint8_t> payload) override;
    int32_t receive(std::span<uint8_t> buffer, uint32_t waitMs) override;
    uint32_t answerWaitMs(size_t requestLength, int32_t extraTimeout) const override;
    int32_t receivePending(std::span<uint8_t> buffer, uint32_t maxWaitMs) override;

private:
    const LinkFlavour& flavour_;
    int socket_ = -1;
};

// Parses a dotted IPv4 address into its network-order value as it lies in memory (the first
// number in the lowest byte); kNoAddress for anything malformed or for 0.0.0.0.
constexpr uint32_t kNoAddress = 0xFFFFFFFF;
uint32_t parseDottedAddress(const char* text);

}  // namespace tov::link
