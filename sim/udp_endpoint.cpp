// UDP endpoint of the simulator: binding the two ports, reading datagrams, timed answers.
#include "sim/udp_endpoint.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/frame_codec.h"

namespace tov::sim {
namespace {

std::string peerText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace

bool isLoopbackAddress(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
    return (ntohl(address.s_addr) >> 24) == 127;
}

UdpEndpoint::UdpEndpoint(std::string address, uint16_t basePort, Trace& trace)
    : address_(std::move(address)), basePort_(basePort), trace_(trace) {}

UdpEndpoint::~UdpEndpoint() {
    close();
}

int UdpEndpoint::open() {
    close();
    // The simulator never answers on a real network interface.
    if (!isLoopbackAddress(address_)) return -EADDRNOTAVAIL;
    if (basePort_ == 0 || basePort_ == 0xFFFF) return -EINVAL;
    for (size_t i = 0; i < kSockets; ++i) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port(i));
        inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            int rc = -errno;
            if (fd >= 0) ::close(fd);
            close();
            return rc;
        }
        sockets_[i] = fd;
    }
    return 0;
}

void UdpEndpoint::close() {
    for (int& fd : sockets_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    output_.clear();
}

std::string UdpEndpoint::describe() const {
    return address_ + ":" + std::to_string(port(0)) + "," + std::to_string(port(1));
}

std::string UdpEndpoint::label(const UdpPeer& peer, bool fromHost) const {
    return "udp " + std::to_string(port(peer.socket)) + (fromHost ? " from " : " to ") +
           peerText(peer.address);
}

void UdpEndpoint::readInput(size_t socket, TimePoint now, DatagramSink& sink) {
    const int fd = sockets_[socket];
    if (fd < 0) return;
    // Room for more than any frame, so that an oversize datagram is seen as such.
    uint8_t buffer[link::kMaxPayload + 512];
    bool errorCleared = false;
    for (;;) {
        UdpPeer from;
        from.socket = socket;
        socklen_t length = sizeof from.address;
        ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from.address), &length);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK || errorCleared) return;
            // A pending socket error (an ICMP report about an earlier answer) is taken off the
            // socket, so that it neither spins the poll nor hides the datagrams behind it.
            int pending = 0;
            socklen_t size = sizeof pending;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size);
            errorCleared = true;
            continue;
        }
        const size_t size = static_cast<size_t>(got);
        sink.onDatagram(from, std::span<const uint8_t>(buffer, std::min(size, sizeof buffer)), size,
                        now);
    }
}

void UdpEndpoint::queueOutput(const UdpPeer& to, std::vector<uint8_t> datagram, TimePoint release,
                              std::string remark) {
    // Answers leave in the order they were made, as the probe sends them one after another.
    if (!output_.empty() && release < output_.back().release) release = output_.back().release;
    output_.push_back(OutDatagram{to, std::move(datagram), release, std::move(remark)});
}

void UdpEndpoint::writeOutput(TimePoint now) {
    while (!output_.empty() && output_.front().release <= now) {
        OutDatagram& out = output_.front();
        if (trace_.enabled()) {
            std::string remark = label(out.to, false);
            if (!out.remark.empty()) remark += ", " + out.remark;
            trace_.toHost(out.bytes, remark);
        }
        const int fd = sockets_[out.to.socket];
        ssize_t sent;
        do {
            sent =
                ::sendto(fd, out.bytes.data(), out.bytes.size(), 0,
                         reinterpret_cast<const sockaddr*>(&out.to.address), sizeof out.to.address);
        } while (sent < 0 && errno == EINTR);
        if (sent != static_cast<ssize_t>(out.bytes.size())) {
            trace_.note("datagram to " + peerText(out.to.address) + " not sent: " +
                        (sent < 0 ? std::string(std::strerror(errno)) : std::string("cut short")));
        }
        output_.pop_front();
    }
}

std::optional<UdpEndpoint::TimePoint> UdpEndpoint::nextDue() const {
    if (output_.empty()) return std::nullopt;
    return output_.front().release;
}

}  // namespace tov::sim
