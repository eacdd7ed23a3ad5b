// The probe's logic device through the loader: ID, fuse rows, UES and the logic version, and
// the hooks that make it misbehave.
#include <gtest/gtest.h>

#include "sim/logic_device.h"
#include "tests/sim/loader_chat.h"

namespace tov::sim {
namespace {

std::string pattern(size_t length, unsigned seed) {
    std::string bits;
    for (size_t i = 0; i < length; ++i) bits.push_back(((i * 7 + seed) % 3) ? '1' : '0');
    return bits;
}

Bytes rowRequest(uint8_t row, const std::string& fuses) {
    return Req(kProgramFuseRow).u8(row).text(fuses);
}

TEST(LogicDevice, UesTextsAndBits) {
    const std::string b = uesBits(ProbeModel::B, 4012);
    ASSERT_EQ(b.size(), 120u);
    EXPECT_EQ(b.substr(0, 8), "01010100");  // 'T'
    EXPECT_EQ(b.substr(80), std::string(40, '0'));
    EXPECT_EQ(uesText(ProbeModel::A, 11012), "TQA01E;012");
    EXPECT_EQ(uesBits(ProbeModel::A, 11012).size(), 80u);
    // On the TOV-X 'T', 'Q', 'X' and '0' give 0000, 'E' 1110.
    EXPECT_EQ(uesBits(ProbeModel::X, 1234), "0000000000000000000111100001001000110100");
}

TEST(LogicDevice, GeometryProgrammingAndVersionPerModel) {
    struct Case {
        ProbeModel model;
        uint8_t id;
        size_t rows, fuses, ues;
    } cases[] = {{ProbeModel::X, 21, 102, 80, 40},
                 {ProbeModel::B, 19, 134, 240, 120},
                 {ProbeModel::BC, 19, 134, 240, 120},
                 {ProbeModel::A, 18, 118, 160, 80}};
    for (const Case& c : cases) {
        SCOPED_TRACE(modelName(c.model));
        LoaderChat chat(LoaderChat::options(c.model));
        // Closed programming port: the device's requests are not understood.
        EXPECT_EQ(chat.ask(Req(kReadLogicId)), Bytes{0x00});
        EXPECT_EQ(chat.ask(Req(kLogicMode).u8(1)), Bytes{kLogicMode});
        EXPECT_EQ(chat.ask(Req(kReadLogicId)), (Bytes{kReadLogicId, c.id}));
        EXPECT_EQ(chat.ask(Req(kEraseLogic)), (Bytes{kEraseLogic, 0}));
        EXPECT_EQ(be16(chat.ask(Req(kReadVersions)), 5), 0);  // an erased UES holds no version

        const std::string first = pattern(c.fuses, 1);
        const std::string last = pattern(c.fuses, 2);
        EXPECT_EQ(chat.ask(rowRequest(0, first)), (Bytes{kProgramFuseRow, 0}));
        EXPECT_EQ(chat.ask(rowRequest(uint8_t(c.rows - 1), last)), (Bytes{kProgramFuseRow, 0}));
        EXPECT_EQ(chat.ask(rowRequest(uint8_t(c.rows), last)), (Bytes{kProgramFuseRow, 1}));
        EXPECT_EQ(chat.ask(rowRequest(1, first.substr(1))), (Bytes{kProgramFuseRow, 1}));
        Bytes read = chat.ask(Req(kReadFuseRow).u8(0));
        ASSERT_EQ(read.size(), 1 + 2 * c.fuses);
        EXPECT_EQ(std::string(read.begin() + 1, read.begin() + 1 + c.fuses), first);
        EXPECT_EQ(std::string(read.begin() + 1 + c.fuses, read.end()), first);
        read = chat.ask(Req(kReadFuseRow).u8(uint8_t(c.rows - 1)));
        EXPECT_EQ(std::string(read.begin() + 1, read.begin() + 1 + c.fuses), last);
        EXPECT_EQ(chat.ask(Req(kReadFuseRow).u8(uint8_t(c.rows))), Bytes{0x00});
        // Programming over a programmed row without an erase cannot set fuses again.
        chat.ask(rowRequest(0, last));
        read = chat.ask(Req(kReadFuseRow).u8(0));
        EXPECT_NE(std::string(read.begin() + 1, read.begin() + 1 + c.fuses), last);

        const std::string ues = uesBits(c.model, 4012);
        ASSERT_EQ(ues.size(), c.ues);
        EXPECT_EQ(chat.ask(Req(kProgramUes).text(ues)), (Bytes{kProgramUes, 0}));
        EXPECT_EQ(chat.ask(Req(kProgramUes).text(ues + "0")), (Bytes{kProgramUes, 1}));
        const Bytes back = chat.ask(Req(kReadUes));
        EXPECT_EQ(std::string(back.begin() + 1, back.end()), ues);
        EXPECT_EQ(chat.ask(Req(kLogicMode).u8(0)), Bytes{kLogicMode});
        EXPECT_EQ(chat.ask(Req(kReadUes)), Bytes{0x00});
        EXPECT_EQ(be16(chat.ask(Req(kReadVersions)), 5), 4012);
    }
    // The TOV-A's thousands character reaches past '9'.
    LoaderChat a(LoaderChat::options(ProbeModel::A));
    a.ask(Req(kLogicMode).u8(1));
    a.ask(Req(kEraseLogic));
    a.ask(Req(kProgramUes).text(uesBits(ProbeModel::A, 11012)));
    EXPECT_EQ(be16(a.ask(Req(kReadVersions)), 5), 11012);
}

TEST(LogicDevice, HooksMakeReadBacksAndIdWrong) {
    LogicDevice device(ProbeModel::B);
    const std::string row = pattern(240, 5);
    ASSERT_TRUE(device.programRow(3, row));
    device.breakRowReadBack(3, 1);
    std::string both = *device.readRow(3);
    EXPECT_EQ(both.substr(0, 240), row);
    EXPECT_NE(both.substr(240), row);
    device.breakRowReadBack(3, 0);
    both = *device.readRow(3);
    EXPECT_NE(both.substr(0, 240), row);
    EXPECT_EQ(both.substr(240), row);
    EXPECT_EQ(device.readRow(4)->substr(0, 240), std::string(240, '1'));

    ASSERT_TRUE(device.programUes(uesBits(ProbeModel::B, 8012)));
    device.breakUesReadBack(true);
    EXPECT_NE(device.readUes(), uesBits(ProbeModel::B, 8012));
    EXPECT_EQ(device.versionWord(), 8012);  // the device holds the right one
    device.reportDeviceId(0x15);
    EXPECT_EQ(device.deviceId(), 0x15);
    device.clearHooks();
    EXPECT_EQ(device.deviceId(), 19);
    EXPECT_EQ(device.readUes(), uesBits(ProbeModel::B, 8012));
    EXPECT_EQ(device.readRow(3)->substr(240), row);

    // Through the loader.
    LoaderChat chat(LoaderChat::options(ProbeModel::A));
    chat.probe.logic().reportDeviceId(19);
    chat.ask(Req(kLogicMode).u8(1));
    EXPECT_EQ(chat.ask(Req(kReadLogicId)), (Bytes{kReadLogicId, 19}));
}

}  // namespace
}  // namespace tov::sim
