// A soak over loopback UDP with damage and loss in both directions: every transaction must
// still come back with its correct answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "link/session.h"
#include "tests/integration/sim_on_udp.h"

namespace tov::test {
namespace {

// Request code, address, access 0 and count of a memory read or write piece.
std::vector<uint8_t> piece(uint8_t code, uint32_t address, size_t count) {
    return {code,
            static_cast<uint8_t>(address >> 24),
            static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address),
            0x00,
            0x00,
            static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(count)};
}

TEST(NetworkSoak, FiveHundredTransactionsThroughDamageAndLoss) {
    sim::SimOptions options;
    options.faults.corrupt = 0.03;
    options.faults.drop = 0.01;
    options.faults.seed = 7;
    SimOnUdp probe("127.77.2.1", options);
    ASSERT_TRUE(probe.started());

    link::LinkContext connection(link::libraryFlavour());
    ASSERT_EQ(link::openFromText(connection, probe.port().c_str()), 0);
    const link::LinkStats opened = connection.stats();

    // Pieces up to the largest that fits one request, so long datagrams are damaged too. A small
    // extra wait keeps a loaded machine's slow answer from counting as a loss.
    constexpr int32_t kExtraWaitMs = 150;
    std::mt19937 rng(13);
    std::vector<uint8_t> answer(1500);
    for (int i = 0; i < 250; ++i) {
        const size_t n = 1 + rng() % 1489;
        const uint32_t address = 0x20000 + 0x1000 * static_cast<uint32_t>(i % 16);
        std::vector<uint8_t> write = piece(0xB9, address, n);
        std::vector<uint8_t> data(n);
        for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
        write.insert(write.end(), data.begin(), data.end());
        ASSERT_EQ(connection.transaction(write, answer, kExtraWaitMs), 3) << "write " << i;
        ASSERT_EQ(std::vector<uint8_t>(answer.begin(), answer.begin() + 3),
                  (std::vector<uint8_t>{0xB9, 0x00, 0x00}))
            << "write " << i;

        ASSERT_EQ(connection.transaction(piece(0xB8, address, n), answer, kExtraWaitMs),
                  static_cast<int32_t>(3 + n))
            << "read " << i;
        std::vector<uint8_t> expected{0xB8, 0x00, 0x00};
        expected.insert(expected.end(), data.begin(), data.end());
        ASSERT_EQ(std::vector<uint8_t>(answer.begin(), answer.begin() + 3 + n), expected)
            << "transaction pair " << i;
    }
    const link::LinkStats& s = connection.stats();
    EXPECT_EQ(s.transactions - opened.transactions, 500u);
    const sim::SimStats seen = probe.sim().stats();
    std::printf(
        "network soak: 500 transactions took %llu resends (%llu stale answers dropped); "
        "the probe ignored %llu requests and sent %llu answers\n",
        static_cast<unsigned long long>(s.resends - opened.resends),
        static_cast<unsigned long long>(s.staleAnswers - opened.staleAnswers),
        static_cast<unsigned long long>(seen.ignoredFrames),
        static_cast<unsigned long long>(seen.answersSent));
    // With 3% damage and 1% loss each way, resends must have happened.
    EXPECT_GT(s.resends, 0u);
}

}  // namespace
}  // namespace tov::test
