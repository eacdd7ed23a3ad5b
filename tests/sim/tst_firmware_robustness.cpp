// Random requests to the simulated firmware: every answer is well-formed and fits a message.
#include <gtest/gtest.h>

#include <random>

#include "link/frame_header.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

// The codes an answer to each request code may carry.
bool answerCodeFits(uint8_t request, uint8_t answer) {
    switch (request) {
        case 0x01:
        case 0x05:
            return answer == 0x41 || answer == 0x00;
        case 0x02:
        case 0x06:
            return answer == 0x42 || answer == 0x00;
        case 0x03:
        case 0x07:
            return answer == 0x43 || answer == 0x00;
        case 0x0D:
            return answer == 0x40 || answer == 0x00;
        case 0x20:
            return answer == 0x45 || answer == 0x00;
        default:
            return answer == request || answer == 0x00;
    }
}

TEST(FirmwareRobustness, RandomRequestsNeverBreakTheProbe) {
    const uint8_t codes[] = {0x01, 0x02, 0x03, 0x05, 0x06, 0x07, 0x0D, 0x20, 0x82, 0x83, 0xB4, 0xB5,
                             0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xC1,
                             0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0x00, 0x42, 0xFF};
    std::mt19937 rng(20240611);
    FirmwareChat f;
    for (int round = 0; round < 20000; ++round) {
        Bytes request{codes[rng() % std::size(codes)]};
        // Mostly short requests, where the interesting lengths are; now and then a long one.
        const size_t length = (rng() % 8 == 0) ? rng() % link::kMaxMessage : rng() % 24;
        for (size_t i = 1; i < length; ++i) request.push_back(uint8_t(rng()));
        // Keep the fields small sometimes, so requests get past the first checks.
        if (request.size() > 3 && rng() % 2) request[1] = request[2] = 0;

        const Bytes answer = f.ask(request);
        ASSERT_FALSE(answer.empty());
        ASSERT_LE(answer.size(), link::kMaxMessage);
        ASSERT_TRUE(answerCodeFits(request[0], answer[0]))
            << "request " << int(request[0]) << " answer " << int(answer[0]);
        if (request[0] >= 0xB4 && answer[0] == request[0] && answer.size() >= 3 &&
            request[0] != 0xC1 && request[0] != 0xB4) {
            const int16_t status = statusOf(answer);
            ASSERT_TRUE(status == 0 || (status <= -2001 && status >= -2207)) << status;
        }
    }
    // The probe still answers sensibly afterwards.
    EXPECT_EQ(f.ask(Req(0x82).u8(0).u16(0)), Bytes{0x82});
    EXPECT_EQ(f.state(), 1);
    EXPECT_EQ(f.ask(Req(0x0D).u8('x')), Bytes{0x40});
}

}  // namespace
}  // namespace tov::sim
