// Break- and watchpoint requests: identifiers from bounded tables, hit counts, refusals.
#include <gtest/gtest.h>

#include "tests/sim/firmware_chat.h"

namespace tov::sim {
namespace {

TEST(FirmwarePoints, BreakpointTableFillsReadsAndFrees) {
    FirmwareChat f;
    for (uint16_t i = 1; i <= 16; ++i) {
        EXPECT_EQ(f.ask(Req(0xBD).u32(0x100u * i).u32(1)), (Bytes{0xBD, 0, 0, 0, uint8_t(i)}));
    }
    EXPECT_EQ(f.ask(Req(0xBD).u32(0x9000).u32(1)), (Bytes{0xBD, 0xF7, 0xC8, 0, 0}));  // -2104
    EXPECT_EQ(f.ask(Req(0xC2).u16(5)), (Bytes{0xC2, 0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(f.ask(Req(0xBE).u16(5)), statusBytes(0xBE, 0));
    EXPECT_EQ(f.ask(Req(0xBE).u16(5)), statusBytes(0xBE, -2102));  // already gone
    EXPECT_EQ(f.ask(Req(0xC2).u16(5)), (Bytes{0xC2, 0xF7, 0xCA, 0, 0, 0, 0}));
    EXPECT_EQ(f.ask(Req(0xBD).u32(0x9000).u32(0)), (Bytes{0xBD, 0, 0, 0, 5}));  // slot reused

    for (uint16_t id : {uint16_t{0}, uint16_t{17}, uint16_t{0xFFFF}}) {
        EXPECT_EQ(f.ask(Req(0xBE).u16(id)), statusBytes(0xBE, -2102)) << id;
    }
    // Unknown kind and wrong lengths.
    EXPECT_EQ(f.ask(Req(0xBD).u32(0x9000).u32(2)), (Bytes{0xBD, 0xF7, 0xCA, 0, 0}));
    EXPECT_EQ(f.ask(Req(0xBD).u32(0x9000)), (Bytes{0xBD, 0xF7, 0xCA, 0, 0}));
    EXPECT_EQ(f.ask(Req(0xC2).u8(1)), (Bytes{0xC2, 0xF7, 0xCA, 0, 0, 0, 0}));
    EXPECT_EQ(f.ask(Req(0xBE).u16(1).u8(0)), statusBytes(0xBE, -2102));
    EXPECT_EQ(f.probe.target().points().breakpointCount(), 16u);
}

TEST(FirmwarePoints, WatchpointsValidateTheirModeAndAreFour) {
    FirmwareChat f;
    auto watch = [&](uint16_t mode, uint32_t bound) {
        return f.ask(Req(0xBF).u16(mode).u32(0x2000).u32(bound).u32(1).u32(0));
    };
    EXPECT_EQ(watch(0x40 | 0x02, 4), (Bytes{0xBF, 0, 0, 0, 1}));
    EXPECT_EQ(watch(0x80 | 0x04, 0xFFFFFF00), (Bytes{0xBF, 0, 0, 0, 2}));
    const Bytes invalid{0xBF, 0xF7, 0xCA, 0, 0};
    EXPECT_EQ(watch(0x40, 4), invalid);                // neither reads nor writes
    EXPECT_EQ(watch(0x40 | 0x80 | 0x02, 4), invalid);  // both kinds
    EXPECT_EQ(watch(0x02, 4), invalid);                // no kind
    EXPECT_EQ(watch(0x40 | 0x06, 3), invalid);         // no such access size
    EXPECT_EQ(f.ask(Req(0xBF).u16(0x42).u32(0)), invalid);
    EXPECT_EQ(watch(0x40 | 0x06, 0), (Bytes{0xBF, 0, 0, 0, 3}));
    EXPECT_EQ(watch(0x40 | 0x06, 2), (Bytes{0xBF, 0, 0, 0, 4}));
    EXPECT_EQ(watch(0x40 | 0x06, 2), (Bytes{0xBF, 0xF7, 0xC8, 0, 0}));

    EXPECT_EQ(f.ask(Req(0xC0).u16(2)), statusBytes(0xC0, 0));
    EXPECT_EQ(f.ask(Req(0xC0).u16(2)), statusBytes(0xC0, -2102));
    EXPECT_EQ(f.ask(Req(0xC0).u16(0xFFFF)), statusBytes(0xC0, -2102));
    EXPECT_EQ(watch(0x80 | 0x02, 0xF), (Bytes{0xBF, 0, 0, 0, 2}));
    const PointTable::Watchpoint* w = f.probe.target().points().watchpoint(2);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->bound, 0xFu);
    EXPECT_EQ(w->third, 1u);
}

}  // namespace
}  // namespace tov::sim
