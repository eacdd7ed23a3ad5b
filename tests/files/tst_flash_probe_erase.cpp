// Erase done by the probe itself: the erase and erase-result requests and how their answers map.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "tests/files/flash_wire_probe.h"

namespace tov::test {
namespace {

TEST(FlashEraseInProbe, RequestsCarryTypeScopeAddressWorkspaceAndParameter) {
    FlashWireProbe probe;
    probe.session.writeMode().modeParameter = 0xA1B2C3D4;
    ASSERT_EQ(probe.session.flashSetType(39, 0x80000, 32, 0x00008000), 0);
    ASSERT_EQ(probe.session.flashEraseSector(0x00123456), 0);
    ASSERT_EQ(probe.session.flashErase(2, 0x00200000), 0);
    ASSERT_EQ(probe.session.flashErase(1, 0x00300000), 0);
    ASSERT_EQ(probe.link.sent.size(), 6u);
    EXPECT_EQ(probe.link.sent[0].message, hexBytes("90 27 01 00000000 00123456 00008000 A1B2C3D4"));
    EXPECT_EQ(probe.link.sent[0].extraTimeout, 3000);
    EXPECT_EQ(probe.link.sent[1].message, hexBytes("91"));
    EXPECT_EQ(probe.link.sent[1].extraTimeout, 5000);
    EXPECT_EQ(probe.link.sent[2].message, hexBytes("90 27 00 00000000 00200000 00008000 A1B2C3D4"));
    EXPECT_EQ(probe.link.sent[4].message, hexBytes("90 27 00 00000000 00300000 00008000 A1B2C3D4"));
    EXPECT_TRUE(probe.accesses.empty());

    for (uint16_t type : {40, 41}) {
        FlashWireProbe other;
        ASSERT_EQ(other.session.flashSetType(type, 0x80000, 16, 0), 0);
        ASSERT_EQ(other.session.flashEraseSector(0x10), 0);
        EXPECT_EQ(other.link.sent[0].message[1], type);
    }
    // The on-chip type of the special set-up is erased the same way.
    FlashWireProbe onChip;
    onChip.session.writeMode().flash = {.type = 21, .pending = true, .busWidth = 4, .chipWidth = 4};
    ASSERT_EQ(onChip.session.flashEraseSector(0x4000), 0);
    EXPECT_EQ(onChip.link.sent[0].message,
              hexBytes("90 15 01 00000000 00004000 00000000 00000000"));
}

TEST(FlashEraseInProbe, AnswersMapToCodes) {
    struct Case {
        Bytes eraseAnswer;
        Bytes resultAnswer;
        int32_t code;
        size_t requests;
    };
    const Case cases[] = {
        {{0x90, 0}, {0x91, 0, 0, 0, 0, 9}, 0, 2},
        {{0x90, 1}, {}, link::kInvalidWriteMode, 1},
        {{0x90, 3}, {}, link::kWorkingRamFailed, 1},
        {{0x90, 4}, {}, link::kInvalidParameter, 1},
        {{0x90, 2}, {}, link::kInvalidResponse, 1},
        {{0x90, 0, 0}, {}, link::kInvalidResponse, 1},
        {{0x91, 0}, {}, link::kInvalidResponse, 1},
        {{0x90, 0}, {0x91, 1, 0, 0, 0, 0}, link::kEraseFailed, 2},
        {{0x90, 0}, {0x91, 0x80, 0, 0, 0, 0}, link::kEraseFailed, 2},
        {{0x90, 0}, {0x91, 0, 0, 0, 0}, link::kInvalidResponse, 2},
        {{0x90, 0}, {0x90, 0, 0, 0, 0, 0}, link::kInvalidResponse, 2},
    };
    for (const Case& c : cases) {
        FlashWireProbe probe;
        probe.probeErase = [&c](const Bytes& m) {
            return std::vector<Bytes>{m[0] == 0x90 ? c.eraseAnswer : c.resultAnswer};
        };
        ASSERT_EQ(probe.session.flashSetType(40, 0x80000, 32, 0), 0);
        EXPECT_EQ(probe.session.flashErase(0, 0x1000), c.code);
        EXPECT_EQ(probe.link.sent.size(), c.requests);
    }
}

}  // namespace
}  // namespace tov::test
