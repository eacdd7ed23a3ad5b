// A soak over the pseudo-terminal with damage and loss in both directions: every transaction
// must still come back with its correct answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "link/session.h"
#include "target/target_link.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

TEST(Soak, FiveHundredTransactionsThroughDamageAndLoss) {
    sim::SimOptions options = simAt(115200);
    options.faults.corrupt = 0.03;
    options.faults.drop = 0.01;
    options.faults.seed = 7;
    SimOnPty probe(options);
    ASSERT_TRUE(probe.started());

    link::LinkContext connection(link::libraryFlavour());
    ASSERT_EQ(link::openFromText(connection, probe.port().c_str()), 0);
    target::TargetLink target(connection);
    const link::LinkStats opened = connection.stats();

    std::mt19937 rng(11);
    for (int i = 0; i < 250; ++i) {
        std::vector<uint8_t> data(1 + rng() % 600), back(data.size());
        for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
        uint32_t address = 0x10000 + 0x1000 * static_cast<uint32_t>(i % 16);
        uint16_t n = static_cast<uint16_t>(data.size());
        ASSERT_EQ(target.memoryWrite(address, 0, n, data.data()), 0) << "write " << i;
        ASSERT_EQ(target.memoryRead(address, 0, n, back.data()), 0) << "read " << i;
        ASSERT_EQ(back, data) << "transaction pair " << i;
    }
    const link::LinkStats& s = connection.stats();
    EXPECT_EQ(s.transactions - opened.transactions, 500u);
    std::printf("soak: 500 transactions took %llu resends (%llu stale answers dropped)\n",
                static_cast<unsigned long long>(s.resends - opened.resends),
                static_cast<unsigned long long>(s.staleAnswers - opened.staleAnswers));
    // With 3% damage and 1% loss each way, resends must have happened.
    EXPECT_GT(s.resends, 0u);
}

}  // namespace
}  // namespace tov::test
