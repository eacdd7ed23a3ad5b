// The network transport over a POSIX UDP socket, and the dotted-address parser.
#include "link/udp_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "link/error_codes.h"
#include "link/error_detail.h"
#include "link/frame_header.h"

namespace tov::link {
namespace {

constexpr int kCheckTries = 6;
constexpr uint32_t kCheckWaitMs = 500;

bool resolve(const std::string& host, in_addr& address) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

}  // namespace

UdpTransport::~UdpTransport() {
    if (socket_ >= 0) ::close(socket_);
}

int32_t UdpTransport::open(const std::string& host, uint16_t port) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (host.empty() || !resolve(host, peer.sin_addr)) {
        setErrorDetail(host + ": host name not resolved");
        return kInvalidParameter;
    }
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0) return kSocketError;
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        ::close(socket_);
        socket_ = -1;
        return kSocketError;
    }
    return kOk;
}

int32_t UdpTransport::check() {
    uint8_t answer[kHeaderSize + kMaxMessage];
    for (int i = 0; i < kCheckTries; ++i) {
        if (send(kLinkPingPayload) != kOk) continue;
        if (receive(answer, kCheckWaitMs) == 3) return kOk;
    }
    setErrorDetail("no answer to " + std::to_string(kCheckTries) + " link pings");
    return kNoResponse;
}

int32_t UdpTransport::send(std::span<const uint8_t> payload) {
    ssize_t sent = ::send(socket_, payload.data(), payload.size(), 0);
    return sent == static_cast<ssize_t>(payload.size()) ? kOk : kSocketError;
}

int32_t UdpTransport::receive(std::span<uint8_t> buffer, uint32_t waitMs) {
    pollfd p{socket_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&p, 1, static_cast<int>(waitMs));
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return kNetReceiveError;
    if (ready < 0) return kSocketError;
    ssize_t got = ::recv(socket_, buffer.data(), buffer.size(), 0);
    if (got < 0) return kSocketError;
    return static_cast<int32_t>(got);
}

uint32_t UdpTransport::answerWaitMs(size_t, int32_t extraTimeout) const {
    return static_cast<uint32_t>(extraTimeout) + 100u;
}

int32_t UdpTransport::receivePending(std::span<uint8_t> buffer, uint32_t maxWaitMs) {
    int32_t got = receive(buffer, std::min(flavour_.netEventPollMs, maxWaitMs));
    return got > 0 ? got : 0;
}

uint32_t parseDottedAddress(const char* text) {
    if (!text) return kNoAddress;
    uint32_t result = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        uint32_t value = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            if (digits == 3) return kNoAddress;
            value = value * 10 + static_cast<uint32_t>(*p - '0');
            ++digits;
            ++p;
        }
        if (value > 255) return kNoAddress;
        if (*p == '.') {
            if (part == 3) return kNoAddress;
            ++p;
        } else if (*p != '\0' || part < 3) {
            return kNoAddress;
        }
        result = (value << 24) | (result >> 8);
    }
    return result == 0 ? kNoAddress : result;
}

}  // namespace tov::link
