// The run loop and the probe access byte for byte on a scripted link: a console read in Thumb
// state cut short by the stop request puts the PC back on the call.
#include <gtest/gtest.h>

#include "semihost/run_loop.h"
#include "target/target_link.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {
namespace {

using Answers = std::vector<Bytes>;

class StoppingConsole : public semihost::Console {
public:
    explicit StoppingConsole(std::atomic<bool>& stop) : stop_(stop) {}
    void writeChar(uint8_t) override {}
    size_t writeBlock(std::span<const uint8_t> data) override { return data.size(); }
    size_t readLine(std::span<uint8_t>) override {
        stop_ = true;  // the user stops the program while it waits for input
        return 0;
    }
    int readChar() override { return 0; }

private:
    std::atomic<bool>& stop_;
};

TEST(SemihostLoop, InterruptedConsoleReadMovesThePcBackOnTheWire) {
    ScriptedLink s([](const Bytes& m) -> Answers {
        switch (m[0]) {
            case 0xB4:  // halted, cause 9, PC after the call, Thumb state
                return {hexBytes("B4 01 00 00 00 00 00 00 03 00 00 00 09 00 00 80 12 00 00 00 30")};
            case 0xB6:  // r0 = read, r1 = block
                return {hexBytes("B6 00 00 00 02 00 00 00 06 00 00 01 00")};
            case 0xB8:  // handle 1, buffer 0x200, length 10, little-endian
                return {hexBytes("B8 00 00 01 00 00 00 00 02 00 00 0A 00 00 00")};
            default:
                return {{m[0], 0x00, 0x00}};
        }
    });
    target::TargetLink link(s.link);
    semihost::LinkRequests requests(link);
    std::atomic<bool> stop{false};
    StoppingConsole console(stop);
    semihost::Service service(console, stop);

    const semihost::RunOutcome outcome = semihost::runProgram(requests, service, stop);
    EXPECT_EQ(outcome.error, 0);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(outcome.pc, 0x8010u);
    ASSERT_EQ(s.sent.size(), 5u);
    EXPECT_EQ(s.sent[0].message, hexBytes("BA"));
    EXPECT_EQ(s.sent[1].message, hexBytes("B4"));
    EXPECT_EQ(s.sent[2].message, hexBytes("B6 00 02 02 58 00 00 02 58 00 01"));
    EXPECT_EQ(s.sent[3].message, hexBytes("B8 00 00 01 00 00 00 00 0C"));
    // Nothing written into the target's buffer; only the PC, one Thumb instruction back.
    EXPECT_EQ(s.sent[4].message, hexBytes("B7 00 01 02 58 00 0F 00 00 80 10"));
}

}  // namespace
}  // namespace tov::test
