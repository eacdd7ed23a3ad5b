// The simulator's network side: two UDP sockets on one loopback address (the probe's two ports),
// datagrams in, and a queue of answer datagrams out to the peer each is meant for.
#pragma once

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/trace.h"

namespace tov::sim {

// Where a datagram came from: which of the endpoint's sockets, and the sender's address.
struct UdpPeer {
    size_t socket = 0;
    sockaddr_in address{};
};

// What the UDP endpoint hands the probe behind it.
class DatagramSink {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~DatagramSink() = default;
    // One datagram; `size` is its full length, which is more than `bytes` holds when it was too
    // long for the receive buffer.
    virtual void onDatagram(const UdpPeer& from, std::span<const uint8_t> bytes, size_t size,
                            TimePoint now) = 0;
};

// The probe's UDP ports on a loopback address. All calls come from one thread.
class UdpEndpoint {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr size_t kSockets = 2;

    UdpEndpoint(std::string address, uint16_t basePort, Trace& trace);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    // Binds ADDR:base and ADDR:base+1; 0 or a negative errno (-EADDRNOTAVAIL for an address
    // outside 127.0.0.0/8).
    int open();
    void close();

    int pollFd(size_t socket) const { return sockets_[socket]; }
    uint16_t port(size_t socket) const { return static_cast<uint16_t>(basePort_ + socket); }
    // "127.0.0.5:2001,2002"
    std::string describe() const;

    // Hands every datagram waiting on the socket to the sink.
    void readInput(size_t socket, TimePoint now, DatagramSink& sink);
    // Queues a datagram to leave no earlier than `release`.
    void queueOutput(const UdpPeer& to, std::vector<uint8_t> datagram, TimePoint release,
                     std::string remark);
    // Sends what is due. A datagram the network does not take is lost, as on a real network.
    void writeOutput(TimePoint now);
    std::optional<TimePoint> nextDue() const;

    // "udp 2001 from 127.0.0.1:40512": the transport mark of trace lines.
    std::string label(const UdpPeer& peer, bool fromHost) const;

private:
    struct OutDatagram {
        UdpPeer to;
        std::vector<uint8_t> bytes;
        TimePoint release;
        std::string remark;
    };

    std::string address_;
    uint16_t basePort_;
    Trace& trace_;
    std::array<int, kSockets> sockets_{-1, -1};
    std::deque<OutDatagram> output_;
};

// True for a dotted IPv4 address in 127.0.0.0/8.
bool isLoopbackAddress(const std::string& text);

}  // namespace tov::sim
