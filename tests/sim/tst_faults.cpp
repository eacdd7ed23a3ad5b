// The fault plan: replayable decisions from a seed, and the parsing of --faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <vector>

#include "sim/faults.h"

namespace tov::sim {
namespace {

struct Draw {
    FaultPlan::ReceiveFaults received;
    FaultPlan::AnswerFaults answer;
};

std::vector<Draw> draw(const FaultSettings& settings, int count) {
    FaultPlan plan(settings);
    std::vector<Draw> draws;
    for (int i = 0; i < count; ++i) draws.push_back({plan.onReceive(), plan.onAnswer()});
    return draws;
}

bool same(const Draw& a, const Draw& b) {
    return a.received.drop == b.received.drop && a.received.corrupt == b.received.corrupt &&
           a.answer.drop == b.answer.drop && a.answer.corrupt == b.answer.corrupt &&
           a.answer.corruptPosition == b.answer.corruptPosition &&
           a.answer.corruptBit == b.answer.corruptBit && a.answer.delayMs == b.answer.delayMs &&
           a.answer.duplicate == b.answer.duplicate && a.answer.stale == b.answer.stale &&
           a.answer.event == b.answer.event && a.answer.eventBits == b.answer.eventBits;
}

TEST(FaultPlan, SameSeedReplaysTheSameDecisionsAndAnotherSeedDoesNot) {
    FaultSettings settings;
    settings.drop = 0.3;
    settings.corrupt = 0.3;
    settings.delayMs = 50;
    settings.dup = 0.3;
    settings.stale = 0.3;
    settings.event = 0.3;
    settings.seed = 42;
    const std::vector<Draw> first = draw(settings, 500);
    const std::vector<Draw> again = draw(settings, 500);
    settings.seed = 43;
    const std::vector<Draw> other = draw(settings, 500);

    size_t differing = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_TRUE(same(first[i], again[i])) << "draw " << i;
        if (!same(first[i], other[i])) ++differing;
    }
    EXPECT_GT(differing, 250u);
}

TEST(FaultPlan, DecisionsFollowTheSettings) {
    FaultSettings never;
    for (const Draw& d : draw(never, 200)) {
        EXPECT_FALSE(d.received.drop || d.received.corrupt || d.answer.drop || d.answer.corrupt ||
                     d.answer.duplicate || d.answer.stale || d.answer.event);
        EXPECT_EQ(d.answer.delayMs, 0u);
    }

    FaultSettings always;
    always.drop = always.corrupt = always.dup = always.stale = always.event = 1.0;
    always.delayMs = 7;
    std::vector<bool> delaySeen(8, false);
    std::vector<bool> bitSeen(8, false);
    for (const Draw& d : draw(always, 400)) {
        EXPECT_TRUE(d.received.drop && d.received.corrupt && d.answer.drop && d.answer.corrupt &&
                    d.answer.duplicate && d.answer.stale && d.answer.event);
        ASSERT_LE(d.answer.delayMs, 7u);
        delaySeen[d.answer.delayMs] = true;
        ASSERT_EQ(std::popcount(d.answer.eventBits), 1);
        bitSeen[std::countr_zero(d.answer.eventBits)] = true;
        ASSERT_LT(d.answer.corruptBit, 8);
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(delaySeen[i]) << "delay " << i << " never drawn";
        EXPECT_TRUE(bitSeen[i]) << "event bit " << i << " never drawn";
    }

    FaultSettings half;
    half.drop = 0.5;
    int dropped = 0;
    for (const Draw& d : draw(half, 1000)) dropped += d.received.drop + d.answer.drop;
    EXPECT_GT(dropped, 850);
    EXPECT_LT(dropped, 1150);
}

// Hostile answers replay from the seed, and each kind keeps its promise about the genuine answer.
TEST(FaultPlan, HostileAnswersReplayAndKeepTheirKind) {
    FaultSettings settings;
    settings.hostile = 1;
    settings.seed = 5;
    const std::vector<uint8_t> answer = {0x31, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78};
    auto messages = [&] {
        FaultPlan plan(settings);
        std::vector<std::pair<HostileKind, std::vector<uint8_t>>> out;
        for (int i = 0; i < 400; ++i) {
            const FaultPlan::AnswerFaults f = plan.onAnswer();
            EXPECT_TRUE(f.hostile);
            out.emplace_back(f.hostileKind, hostileMessage(f.hostileKind, f.hostileDraw, answer));
        }
        return out;
    };
    const auto first = messages();
    EXPECT_EQ(messages(), first);
    unsigned seen[kHostileKinds] = {};
    bool beyondFrame = false;
    for (const auto& [kind, m] : first) {
        ++seen[static_cast<unsigned>(kind)];
        const bool prefix = std::equal(m.begin(), m.begin() + std::min(m.size(), answer.size()),
                                       answer.begin());
        switch (kind) {
            case HostileKind::Random:
                EXPECT_LE(m.size(), 1498u);
                break;
            case HostileKind::Truncated:
                EXPECT_LT(m.size(), answer.size());
                EXPECT_TRUE(prefix);
                break;
            case HostileKind::WrongCode:
                ASSERT_EQ(m.size(), answer.size());
                EXPECT_NE(m[0], answer[0]);
                EXPECT_TRUE(std::equal(m.begin() + 1, m.end(), answer.begin() + 1));
                break;
            case HostileKind::Oversized:
                EXPECT_GT(m.size(), answer.size());
                EXPECT_LE(m.size(), 1598u);
                EXPECT_TRUE(prefix);
                beyondFrame = beyondFrame || m.size() > 1498;
                break;
        }
    }
    for (unsigned n : seen) EXPECT_GT(n, 60u);
    EXPECT_TRUE(beyondFrame);
}

TEST(FaultParsing, AcceptsAnySubsetInAnyOrder) {
    FaultSettings s;
    std::string error;
    ASSERT_TRUE(
        parseFaults("drop=0.1,corrupt=0.25,delay=30,dup=1,stale=0,event=.5,hostile=0.2,seed=99", s,
                    error))
        << error;
    EXPECT_DOUBLE_EQ(s.drop, 0.1);
    EXPECT_DOUBLE_EQ(s.corrupt, 0.25);
    EXPECT_EQ(s.delayMs, 30u);
    EXPECT_DOUBLE_EQ(s.dup, 1.0);
    EXPECT_DOUBLE_EQ(s.stale, 0.0);
    EXPECT_DOUBLE_EQ(s.event, 0.5);
    EXPECT_DOUBLE_EQ(s.hostile, 0.2);
    EXPECT_TRUE(s.any());
    EXPECT_EQ(s.seed, 99u);

    FaultSettings partial;
    ASSERT_TRUE(parseFaults("seed=18446744073709551615,dup=0.75", partial, error)) << error;
    EXPECT_EQ(partial.seed, 18446744073709551615ull);
    EXPECT_DOUBLE_EQ(partial.dup, 0.75);
    EXPECT_EQ(partial.drop, 0.0);
    EXPECT_EQ(partial.delayMs, 0u);
}

TEST(FaultParsing, RejectsBadInputAndLeavesTheSettingsAlone) {
    const char* bad[] = {"",
                         "drop",
                         "=0.1",
                         "drop=",
                         "drop=1.5",
                         "drop=-0.1",
                         "drop=abc",
                         "drop=1e-3",
                         "drop=nan",
                         "drop=inf",
                         "drop=0.1,",
                         ",drop=0.1",
                         "bogus=0.1",
                         "drop=0.1,drop=0.2",
                         "delay=60001",
                         "delay=1.5",
                         "delay=-1",
                         "seed=-1",
                         "seed=0x10",
                         "seed=18446744073709551616",
                         "drop=0.1;corrupt=0.2"};
    for (const char* text : bad) {
        FaultSettings s;
        s.drop = 0.125;
        std::string error;
        EXPECT_FALSE(parseFaults(text, s, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(s.drop, 0.125) << text;
    }
}

}  // namespace
}  // namespace tov::sim
