// The network transport on real loopback UDP against a scripted peer, and the address parser.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "include/tovlink.h"
#include "link/error_codes.h"
#include "link/link_context.h"
#include "link/session.h"
#include "link/udp_transport.h"
#include "tests/support/scripted_line.h"

namespace tov::test {
namespace {

TEST(INetAddr, ParsesDottedAddressesStrictly) {
    EXPECT_EQ(TOV_INetAddr("10.0.0.1"), 0x0100000Au);
    EXPECT_EQ(TOV_INetAddr("1..2.3"), 0x03020001u);
    EXPECT_EQ(TOV_INetAddr("192.168.1.1"), 0x0101A8C0u);
    for (const char* bad : {"0.0.0.0", "1.2.3", "1.2.3.4.5", "1.2.3.256", "1.2.3.1234", "",
                            "a.b.c.d", "1.2.3.4 ", "-1.2.3.4"}) {
        EXPECT_EQ(TOV_INetAddr(bad), 0xFFFFFFFFu) << bad;
    }
    EXPECT_EQ(TOV_INetAddr(nullptr), 0xFFFFFFFFu);
}

// A UDP socket bound on loopback that answers like a probe: pings are echoed, command frames
// answered by `answer` (which may send several datagrams).
class UdpPeer {
public:
    explicit UdpPeer(const char* address) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, address, &local.sin_addr);
        local.sin_port = 0;
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t len = sizeof local;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len);
        port = ntohs(local.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~UdpPeer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }

    std::function<std::vector<Bytes>(const Bytes&)> answer;
    std::atomic<int> pings{0};
    std::atomic<int> commands{0};
    uint16_t port = 0;
    bool answerPings = true;

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t buffer[2000];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t got =
                recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (got < 3) continue;
            Bytes request(buffer, buffer + got);
            std::vector<Bytes> replies;
            if ((request[0] & 0x30) == 0) {
                ++pings;
                if (answerPings) replies.push_back(request);
            } else {
                ++commands;
                if (answer) replies = answer(request);
            }
            for (const Bytes& r : replies) {
                sendto(fd_, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

Bytes answerTo(const Bytes& request, const Bytes& message, uint8_t sequenceFlip = 0) {
    return answerPayload(static_cast<uint8_t>((request[0] >> 6) ^ sequenceFlip), message);
}

TEST(Udp, TransactsAndDropsLateAnswersBySequence) {
    UdpPeer peer("127.0.0.1");
    int call = 0;
    peer.answer = [&](const Bytes& r) -> std::vector<Bytes> {
        ++call;
        if (call == 1) return {};  // lost: the host resends after its wait
        // The answer to the resend comes after a stale answer and an event.
        return {answerTo(r, {0xBA, 0x00, 0x01}, 1), Bytes{0x08, 0x01, 0x02},
                answerTo(r, {0xBA, 0x00, 0x00})};
    };
    link::LinkContext link(link::libraryFlavour());
    ASSERT_EQ(link::openNetwork(link, "127.0.0.1", peer.port), 0);
    EXPECT_EQ(link.lineRate(), 0u);
    uint8_t answer[16];
    const uint8_t request[1] = {0xBA};
    EXPECT_EQ(link.transaction(request, answer, 0), 3);
    EXPECT_EQ(answer[2], 0x00);
    EXPECT_EQ(link.stats().resends, 1u);
    EXPECT_EQ(link.stats().staleAnswers, 1u);
    EXPECT_EQ(link.takePendingEvents(), 0x02);
}

TEST(Udp, OpenFailsCleanlyWhereNothingAnswers) {
    UdpPeer peer("127.0.0.1");
    peer.answerPings = false;
    link::LinkContext link(link::libraryFlavour());
    EXPECT_EQ(link::openNetwork(link, "127.0.0.1", peer.port), link::kNoResponse);
    EXPECT_EQ(peer.pings.load(), 6);
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(link::openNetwork(link, "no-such-host.invalid", 2001), link::kInvalidParameter);
    EXPECT_EQ(TOV_Open("NETWORK no-such-host.invalid 1"), link::kInvalidParameter);
    EXPECT_EQ(TOV_Open("NETWORK 127.0.0.1 3"), link::kInvalidParameter);
}

TEST(Udp, ZeroWaitPollsAndTheRdiFlavourWaits) {
    link::UdpTransport transport(link::libraryFlavour());
    UdpPeer peer("127.0.0.1");
    ASSERT_EQ(transport.open("127.0.0.1", peer.port), 0);
    uint8_t buffer[16];
    EXPECT_EQ(transport.receive(buffer, 0), link::kNetReceiveError);
    EXPECT_EQ(transport.receivePending(buffer, 1000), 0);
    EXPECT_EQ(transport.answerWaitMs(1498, 3000), 3100u);
    // The RDI flavour's event poll waits 50 ms instead of polling, unless told to wait less.
    link::UdpTransport rdi(link::rdiFlavour());
    ASSERT_EQ(rdi.open("127.0.0.1", peer.port), 0);
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(rdi.receivePending(buffer, 1000), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(45));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    before = std::chrono::steady_clock::now();
    EXPECT_EQ(rdi.receivePending(buffer, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(45));
}

}  // namespace
}  // namespace tov::test
