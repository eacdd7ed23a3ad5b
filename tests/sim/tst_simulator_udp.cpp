// The simulator on real loopback UDP: datagrams answered byte for byte on both ports, one probe
// behind the pty and UDP, damage and faults as datagrams, the restart silence, address checks.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "link/frame_header.h"
#include "pty_host.h"
#include "sim/simulator.h"

namespace tov::sim {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::PtyHost;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

const Bytes kPing(link::kLinkPingPayload, link::kLinkPingPayload + 3);
const Bytes kReadPiece{0xB8, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x04};

Bytes command(uint8_t headerTypeAndSequence, const Bytes& message) {
    Bytes payload(link::kHeaderSize + message.size());
    link::writeHeader(payload.data(), headerTypeAndSequence >> 6, headerTypeAndSequence & 0x30,
                      message.size());
    std::copy(message.begin(), message.end(), payload.begin() + link::kHeaderSize);
    return payload;
}

// Request code, address, access 0 and count: the start of a memory read or write piece.
Bytes pieceHeader(uint8_t code, uint32_t address, uint16_t count) {
    return Bytes{code,
                 static_cast<uint8_t>(address >> 24),
                 static_cast<uint8_t>(address >> 16),
                 static_cast<uint8_t>(address >> 8),
                 static_cast<uint8_t>(address),
                 0x00,
                 0x00,
                 static_cast<uint8_t>(count >> 8),
                 static_cast<uint8_t>(count)};
}

Bytes writePiece(uint32_t address, const Bytes& data) {
    Bytes m(9 + data.size());
    const Bytes head = pieceHeader(0xB9, address, static_cast<uint16_t>(data.size()));
    std::copy(head.begin(), head.end(), m.begin());
    std::copy(data.begin(), data.end(), m.begin() + 9);
    return m;
}

Bytes readPiece(uint32_t address, uint16_t count) {
    return pieceHeader(0xB8, address, count);
}

// A plain UDP socket playing the host: sends to one of the probe's ports, reads what comes back.
class UdpHost {
public:
    UdpHost(const std::string& address, uint16_t port) {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        probe_.sin_family = AF_INET;
        probe_.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &probe_.sin_addr);
    }
    ~UdpHost() { close(fd_); }
    UdpHost(const UdpHost&) = delete;
    UdpHost& operator=(const UdpHost&) = delete;

    void send(const Bytes& datagram) {
        ASSERT_EQ(sendto(fd_, datagram.data(), datagram.size(), 0,
                         reinterpret_cast<const sockaddr*>(&probe_), sizeof probe_),
                  static_cast<ssize_t>(datagram.size()));
    }
    // The next datagram within the wait, in full; nothing when none came.
    std::optional<Bytes> receive(std::chrono::milliseconds wait = 2s) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) != 1) return std::nullopt;
        Bytes buffer(4096);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t got = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) return std::nullopt;
        lastSender = from;
        buffer.resize(static_cast<size_t>(got));
        return buffer;
    }
    Bytes exchange(const Bytes& datagram) {
        send(datagram);
        std::optional<Bytes> answer = receive();
        EXPECT_TRUE(answer.has_value());
        return answer.value_or(Bytes{});
    }

    sockaddr_in lastSender{};

private:
    int fd_ = -1;
    sockaddr_in probe_{};
};

class SimulatorUdp : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tovsim-udp-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        sim_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Simulator& start() {
        sim_ = std::make_unique<Simulator>(options_);
        EXPECT_EQ(sim_->start(), 0);
        return *sim_;
    }

    // Each test has an address of its own, so that tests run in parallel do not clash.
    void serveAt(const char* address) { options_.udpAddress = address_ = address; }

    std::string address_;
    fs::path dir_;
    SimOptions options_;
    std::unique_ptr<Simulator> sim_;
};

TEST_F(SimulatorUdp, PingsAndCommandsAreAnsweredOnBothPortsByteForByte) {
    serveAt("127.77.0.1");
    options_.traceFile = (dir_ / "trace.log").string();
    Simulator& sim = start();
    EXPECT_EQ(sim.endpoints(), "udp=127.77.0.1:2001,2002");
    for (uint16_t port : {2001, 2002}) {
        UdpHost host(address_, port);
        EXPECT_EQ(host.exchange(kPing), kPing) << port;
        // The answer comes from the port the request went to, so a connected host takes it.
        EXPECT_EQ(ntohs(host.lastSender.sin_port), port);
        EXPECT_EQ(host.lastSender.sin_addr.s_addr, inet_addr(address_.c_str()));
        for (uint8_t head : {0x10, 0x50, 0x90, 0xD0, 0x30, 0xF0}) {
            Bytes answer = host.exchange(command(head, kReadPiece));
            ASSERT_EQ(answer.size(), 2u + 7u) << int(head);
            EXPECT_EQ(answer[0], head);
            EXPECT_EQ(answer[1], 7);
            EXPECT_EQ(Bytes(answer.begin() + 2, answer.end()),
                      (Bytes{0xB8, 0x00, 0x00, 0xA5, 0xB5, 0xA5, 0xA5}));
        }
    }
    SimStats stats = sim.stats();
    EXPECT_EQ(stats.udpDatagrams, 14u);
    EXPECT_EQ(stats.linkFrames, 2u);
    EXPECT_EQ(stats.commandFrames, 12u);
    EXPECT_EQ(stats.answersSent, 14u);

    // Datagrams that are no frame get no answer: shorter than a header, a length field that
    // disagrees, longer than any frame, and event-marked or type-10 frames.
    UdpHost host(address_, 2001);
    host.send(Bytes{0x00});
    host.send(Bytes{0x00, 0x02, 0x01});
    host.send(Bytes(1600, 0x00));
    host.send(Bytes{0x08, 0x01, 0x01});
    host.send(command(0x20, {0xB8}));
    EXPECT_FALSE(host.receive(300ms).has_value());
    stats = sim.stats();
    EXPECT_EQ(stats.damagedFrames, 3u);
    EXPECT_EQ(stats.ignoredFrames, 2u);
    EXPECT_EQ(stats.answersSent, 14u);
    EXPECT_EQ(host.exchange(kPing), kPing);

    sim.stop();
    std::ifstream in(options_.traceFile);
    std::stringstream text;
    text << in.rdbuf();
    const std::string trace = text.str();
    EXPECT_NE(trace.find("on udp 127.77.0.1:2001,2002"), std::string::npos) << trace;
    EXPECT_NE(trace.find("host> 00 01 01  (udp 2002 from 127."), std::string::npos) << trace;
    EXPECT_NE(trace.find("probe> 00 01 01  (udp 2002 to 127."), std::string::npos) << trace;
    EXPECT_NE(trace.find("1600 bytes: longer than any frame"), std::string::npos) << trace;
}

TEST_F(SimulatorUdp, OneProbeBehindThePtyAndBothPorts) {
    serveAt("127.77.0.2");
    options_.serialPath = (dir_ / "tty").string();
    Simulator& sim = start();
    EXPECT_EQ(sim.endpoints(), "serial=" + options_.serialPath + " udp=127.77.0.2:2001,2002");
    PtyHost pty(options_.serialPath, 9600);
    ASSERT_TRUE(pty.isOpen());
    UdpHost first(address_, 2001);
    UdpHost second(address_, 2002);

    const Bytes data{0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
    pty.sendPayload(command(0x10, writePiece(0x30000, data)));
    EXPECT_EQ(pty.readFrame(2s).payload, command(0x10, {0xB9, 0x00, 0x00}));
    EXPECT_EQ(first.exchange(command(0x50, readPiece(0x30000, 6))),
              command(0x50, {0xB8, 0x00, 0x00, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15}));

    const Bytes other{0xCA, 0xFE};
    EXPECT_EQ(second.exchange(command(0x90, writePiece(0x30002, other))),
              command(0x90, {0xB9, 0x00, 0x00}));
    pty.sendPayload(command(0xD0, readPiece(0x30000, 6)));
    EXPECT_EQ(pty.readFrame(2s).payload,
              command(0xD0, {0xB8, 0x00, 0x00, 0x10, 0x11, 0xCA, 0xFE, 0x14, 0x15}));
    EXPECT_EQ(first.exchange(command(0x10, readPiece(0x30000, 6))),
              command(0x10, {0xB8, 0x00, 0x00, 0x10, 0x11, 0xCA, 0xFE, 0x14, 0x15}));

    // An event on its own goes the way the last frame came.
    sim.sendEvent(0x20);
    EXPECT_EQ(first.receive(), (Bytes{0x08, 0x01, 0x20}));
    EXPECT_FALSE(pty.readFrame(200ms).payload.size());
    EXPECT_EQ(second.exchange(kPing), kPing);
    sim.sendEvent(0x40);
    EXPECT_EQ(second.receive(), (Bytes{0x08, 0x01, 0x40}));
    pty.sendPayload(kPing);
    EXPECT_EQ(pty.readFrame(2s).payload, kPing);
    sim.sendEvent(0x80);
    EXPECT_EQ(pty.readFrame(2s).payload, (Bytes{0x08, 0x01, 0x80}));
    EXPECT_FALSE(first.receive(200ms).has_value());
    EXPECT_FALSE(second.receive(0ms).has_value());
    EXPECT_EQ(sim.stats().eventsSent, 3u);
}

TEST_F(SimulatorUdp, DamageHooksBecomeDatagramDamage) {
    serveAt("127.77.0.3");
    Simulator& sim = start();
    UdpHost host(address_, 2002);
    const Bytes request = command(0x50, kReadPiece);
    const Bytes good = host.exchange(request);
    ASSERT_EQ(good.size(), 9u);

    using Damage = Simulator::Damage;
    sim.damageNextAnswer(Damage::Bcc);
    sim.damageNextAnswer(Damage::Format);
    sim.damageNextAnswer(Damage::Overflow);
    Bytes lengthBroken = good;
    lengthBroken[1] ^= 0x01;
    EXPECT_EQ(host.exchange(request), lengthBroken);
    EXPECT_EQ(host.exchange(request), Bytes(good.begin(), good.end() - 1));
    Bytes oversize = host.exchange(request);
    ASSERT_EQ(oversize.size(), 1600u);
    EXPECT_EQ(link::readHeader(oversize.data()).length, 1598u);
    EXPECT_EQ(oversize[0] & 0xF0, 0x50);
    EXPECT_EQ(Bytes(oversize.begin() + 2, oversize.begin() + 9),
              Bytes(good.begin() + 2, good.end()));

    sim.damageNextAnswer(Damage::Drop);
    host.send(request);
    EXPECT_FALSE(host.receive(300ms).has_value());

    sim.damageNextAnswer(Damage::Duplicate);
    EXPECT_EQ(host.exchange(request), good);
    EXPECT_EQ(host.receive(), good);

    sim.damageNextAnswer(Damage::Stale);
    sim.eventBeforeNextAnswer(0x04);
    const Bytes next = command(0x90, kReadPiece);
    EXPECT_EQ(host.exchange(next), good);
    EXPECT_EQ(host.receive(), (Bytes{0x08, 0x01, 0x04}));
    std::optional<Bytes> fresh = host.receive();
    ASSERT_TRUE(fresh.has_value());
    EXPECT_EQ((*fresh)[0], 0x90);

    sim.setMute(true);
    host.send(kPing);
    EXPECT_FALSE(host.receive(300ms).has_value());
    sim.setMute(false);
    EXPECT_EQ(host.exchange(kPing), kPing);
}

TEST_F(SimulatorUdp, RestartingProbeIsDeafOnUdpToo) {
    serveAt("127.77.0.4");
    options_.loader = true;
    Simulator& sim = start();
    ASSERT_TRUE(sim.inLoader());
    UdpHost host(address_, 2001);
    EXPECT_EQ(host.exchange(command(0x10, {0x71})), command(0x10, {0x71}));
    host.send(kPing);
    EXPECT_FALSE(host.receive(200ms).has_value());
    EXPECT_EQ(sim.stats().restartBytes, 3u);
    ASSERT_TRUE(eventually([&] { return !sim.inLoader(); }));
    EXPECT_EQ(host.exchange(kPing), kPing);
    EXPECT_EQ(host.exchange(command(0x50, {0x71})), command(0x50, {0x00}));
}

TEST_F(SimulatorUdp, AddressesOutsideLoopbackAndBusyPortsAreRefused) {
    for (const char* address : {"10.0.0.1", "0.0.0.0", "localhost", "127.1", "::1"}) {
        options_.udpAddress = address;
        Simulator refused(options_);
        EXPECT_EQ(refused.start(), -EADDRNOTAVAIL) << address;
    }
    options_.udpAddress.clear();
    Simulator nothing(options_);
    EXPECT_EQ(nothing.start(), -EINVAL);

    serveAt("127.77.0.5");
    Simulator& first = start();
    Simulator second(options_);
    EXPECT_EQ(second.start(), -EADDRINUSE);
    // Only the second port taken: the first one is given back.
    first.stop();
    int blocker = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(2002);
    inet_pton(AF_INET, address_.c_str(), &at.sin_addr);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    Simulator third(options_);
    EXPECT_EQ(third.start(), -EADDRINUSE);
    close(blocker);
    Simulator fourth(options_);
    EXPECT_EQ(fourth.start(), 0);
    UdpHost host(address_, 2001);
    EXPECT_EQ(host.exchange(kPing), kPing);
}

}  // namespace
}  // namespace tov::sim
