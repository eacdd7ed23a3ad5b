// tov --sim against the real simulator: rate negotiation, connecting through the loader and a
// raw memory read, each in a fresh simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "process_runner.h"

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

// Runs tov with the simulator that was built beside it.
class TovWithSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::string(TOV_BIN_DIR) + "/tovsim")) {
            GTEST_SKIP() << "tovsim is not built";
        }
    }

    static ProcessResult tov(const std::vector<std::string>& args) {
        return runProcess(kTov, args, {{"TOV_PORT", std::nullopt}});
    }
};

TEST_F(TovWithSimulator, PingNegotiatesTheWantedRate) {
    const ProcessResult plain = tov({"--sim", "ping"});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out, "probe answered at 115200 baud\n");

    // The simulator listens at 9600 first, so the host has to find it and switch it.
    const ProcessResult slowStart = tov({"--sim", "--rate", "9600", "ping"});
    EXPECT_EQ(slowStart.exitCode, 0) << slowStart.err;
    EXPECT_EQ(slowStart.out, "probe answered at 115200 baud\n");

    // With --port the rate word of the port text is the wanted rate.
    const ProcessResult wanted = tov({"--sim", "--port", "COM1 57600", "ping"});
    EXPECT_EQ(wanted.exitCode, 0) << wanted.err;
    EXPECT_EQ(wanted.out, "probe answered at 57600 baud\n");
}

TEST_F(TovWithSimulator, ConnectStartsTheFirmwareAlsoFromTheLoader) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--sim", "connect"}, {"--sim", "--loader", "connect"}}) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(run.out.starts_with("connected")) << run.out;
    }
}

TEST_F(TovWithSimulator, RawSendsTheBytesAndPrintsTheAnswer) {
    // Memory read of 16 bytes at 0x1000: code, status word and the 16 data bytes come back.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--sim", "raw", "B8", "00001000", "0000", "0010"},
          {"--sim", "raw", "--wait", "100", "b8000010000000", "0x0010"}}) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> lines = splitLines(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        EXPECT_TRUE(lines[0].starts_with("B8 ")) << lines[0];
        EXPECT_EQ(lines[0].size(), 19u * 3 - 1) << lines[0];
    }

    // One byte more than a request may hold is refused by the library, not sent.
    const ProcessResult tooLong = tov({"--sim", "raw", std::string(2 * 1499, '0')});
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_EQ(tooLong.err, "tov: raw: TOV: Invalid function parameter\n");
}

}  // namespace
}  // namespace tov::e2e
