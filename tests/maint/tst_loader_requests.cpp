// Loader requests on the wire, the version answer, the family table and the file search.
#include <gtest/gtest.h>

#include <array>

#include "link/error_codes.h"
#include "maint/family_table.h"
#include "maint/file_search.h"
#include "maint/loader_requests.h"
#include "maint/probe_identity.h"
#include "tests/maint/scripted_loader.h"
#include "tests/maint/update_files.h"

namespace tov::maint {
namespace {

using test::ScriptedLoader;
using test::versionAnswer;
using test::Wire;

TEST(LoaderRequests, EncodeEveryRequestWithItsExtraWait) {
    ScriptedLoader probe;
    probe.open();
    std::array<uint8_t, 4> data{};
    std::array<uint8_t, kLoaderAnswerCapacity> answer{};
    bool switched = true;
    uint8_t id = 0;
    ProbeIdentity identity;
    EXPECT_EQ(enterLoader(probe, libraryCaller(), switched), 0);
    EXPECT_FALSE(switched);
    EXPECT_EQ(enterLoader(probe, setupCaller(), switched), 0);
    EXPECT_EQ(readVersions(probe, identity), 0);
    EXPECT_EQ(readFlash(probe, 0x01008000, data), 0);
    EXPECT_EQ(eraseSector(probe, 0x0100C000), 0);
    EXPECT_EQ(programFlash(probe, 0x12345678, 2, std::array<uint8_t, 4>{1, 2, 3, 4}), 0);
    EXPECT_EQ(logicMode(probe, true), 0);
    EXPECT_EQ(logicMode(probe, false), 0);
    EXPECT_EQ(readLogicId(probe, id), 0);
    EXPECT_EQ(id, 19);
    EXPECT_EQ(readFuseRow(probe, 7, answer), 1);
    EXPECT_EQ(programFuseRow(probe, 7, "0110"), 0);
    EXPECT_EQ(readUes(probe, answer), 1);
    EXPECT_EQ(programUes(probe, "1010"), 0);
    EXPECT_EQ(eraseLogic(probe), 0);
    EXPECT_EQ(startFirmware(probe), 0);
    EXPECT_EQ(closingRequest(probe), 0);

    const std::vector<ScriptedLoader::Sent> expected = {
        {{114}, 100},
        {{114}, 10},
        {{100}, 1000},
        {{101, 0x01, 0x00, 0x80, 0x00, 0x00, 0x04}, 1000},
        {{103, 0x01, 0x00, 0xC0, 0x00}, 10000},
        {{104, 0x12, 0x34, 0x56, 0x78, 0x00, 0x02, 1, 2, 3, 4}, 1000},
        {{105, 1}, 100},
        {{105, 0}, 100},
        {{106}, 100},
        {{107, 7}, 100},
        {{108, 7, '0', '1', '1', '0'}, 300},
        {{109}, 100},
        {{110, '1', '0', '1', '0'}, 300},
        {{112}, 600},
        {{113}, 200},
        {{115}, 200},
    };
    ASSERT_EQ(probe.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(probe.sent[i].request, expected[i].request) << "request " << i;
        EXPECT_EQ(probe.sent[i].extraTimeout, expected[i].extraTimeout) << "request " << i;
    }
}

// A link whose every answer is given by the test.
struct FixedAnswer final : LoaderLink {
    Wire reply;
    int32_t open() override { return 0; }
    void close() override {}
    void sleepMs(uint32_t) override {}
    int32_t transact(std::span<const uint8_t>, std::span<uint8_t> answer, int32_t) override {
        std::copy(reply.begin(), reply.end(), answer.begin());
        return static_cast<int32_t>(reply.size());
    }
};

TEST(LoaderRequests, AnswersAreCheckedForOpcodeLengthAndStatus) {
    FixedAnswer link;
    std::array<uint8_t, 4> data{};
    std::array<uint8_t, 16> answer{};
    uint8_t id = 0;

    link.reply = {0x66, 0};  // another opcode
    EXPECT_EQ(eraseSector(link, 0), link::kInvalidResponse);
    EXPECT_EQ(readFuseRow(link, 0, answer), link::kInvalidResponse);
    EXPECT_EQ(readUes(link, answer), link::kInvalidResponse);
    EXPECT_EQ(readLogicId(link, id), link::kInvalidResponse);
    link.reply = {103, 0, 0};  // one byte too many
    EXPECT_EQ(eraseSector(link, 0), link::kInvalidResponse);
    link.reply = {103, 1};
    EXPECT_EQ(eraseSector(link, 0), link::kEraseFailed);
    link.reply = {104, 0, 0, 0, 0};  // one byte short
    EXPECT_EQ(programFlash(link, 0, 4, data), link::kInvalidResponse);
    link.reply = {104, 2, 0, 0, 0, 0};
    EXPECT_EQ(programFlash(link, 0, 4, data), link::kProgramFailed);
    link.reply = {101, 0, 0, 0, 0, 0, 0, 1, 2, 3};  // three data bytes for four asked
    EXPECT_EQ(readFlash(link, 0, data), link::kInvalidResponse);
    link.reply = {101, 9, 9, 9, 9, 9, 9, 1, 2, 3, 4};
    EXPECT_EQ(readFlash(link, 0, data), 0);
    EXPECT_EQ(data, (std::array<uint8_t, 4>{1, 2, 3, 4}));
    link.reply = {106};
    EXPECT_EQ(readLogicId(link, id), link::kInvalidResponse);
    link.reply = {0x99};  // answers that are not examined
    EXPECT_EQ(logicMode(link, true), 0);
    EXPECT_EQ(eraseLogic(link), 0);
    bool switched = true;
    EXPECT_EQ(enterLoader(link, libraryCaller(), switched), 0);
    EXPECT_FALSE(switched);
    link.reply = {0x72};
    EXPECT_EQ(enterLoader(link, libraryCaller(), switched), 0);
    EXPECT_TRUE(switched);
    std::array<uint8_t, kMaxReadFlash + 1> tooMuch{};
    EXPECT_EQ(readFlash(link, 0, tooMuch), link::kInvalidParameter);
}

TEST(ProbeIdentity, ModelComesFromTheAnswerLength) {
    ProbeIdentity id;
    ASSERT_EQ(decodeVersionAnswer(versionAnswer(7, 0x0101, 0x5012, 1003), id), 0);
    EXPECT_EQ(id.model, ProbeModel::X);
    EXPECT_EQ(id.loaderVersion, 0x0101);
    EXPECT_EQ(id.firmwareWord, 0x5012);
    EXPECT_EQ(id.logicWord, 1003);
    EXPECT_EQ(id.serial, "");

    ASSERT_EQ(decodeVersionAnswer(versionAnswer(15, 1, 2, 3, "87654321"), id), 0);
    EXPECT_EQ(id.model, ProbeModel::B);
    EXPECT_EQ(id.serial, "87654321");
    ASSERT_EQ(decodeVersionAnswer(versionAnswer(17, 1, 2, 3, "1234567801"), id), 0);
    EXPECT_EQ(id.model, ProbeModel::B);
    ASSERT_EQ(decodeVersionAnswer(versionAnswer(17, 1, 2, 3, "123456780C"), id), 0);
    EXPECT_EQ(id.model, ProbeModel::BC);
    EXPECT_EQ(id.serial, "123456780C");
    EXPECT_EQ(shortSerial(id), "12345678");
    ASSERT_EQ(decodeVersionAnswer(versionAnswer(23, 1, 2, 3), id), 0);
    EXPECT_EQ(id.model, ProbeModel::A);
    EXPECT_EQ(id.serial, "12345678");

    for (size_t length : {1, 6, 8, 16, 18, 22, 24}) {
        EXPECT_EQ(decodeVersionAnswer(versionAnswer(length, 1, 2, 3), id), link::kUnknownProbe)
            << length;
    }
    Wire wrong = versionAnswer(15, 1, 2, 3);
    wrong[0] = 101;
    EXPECT_EQ(decodeVersionAnswer(wrong, id), link::kInvalidResponse);
    EXPECT_EQ(id.model, ProbeModel::A);  // untouched by failures
}

TEST(ProbeIdentity, VersionWordsAndTheirTexts) {
    EXPECT_EQ(familyIndexOf(0xD400), 20u);
    EXPECT_EQ(familyIndexOf(0x5012), 5u);
    EXPECT_EQ(0x5012 - familyFiles(5, ProbeModel::B).firmwareBase, 0x12);
    EXPECT_EQ(familyIndexOf(0xBFFF), 11u);
    EXPECT_EQ(familyIndexOf(0xC000), 0u);
    EXPECT_EQ(familyIndexOf(0xFFFF), 63u);

    // The setup program's ARM11 words: 0xE805 is version 5, 0x2805 as well, 0xE900 is none.
    EXPECT_EQ(setupFirmwareVersion(0xE805), 5);
    EXPECT_EQ(setupFirmwareVersion(0x2805), 5);
    EXPECT_EQ(setupFirmwareVersion(0xE900), 0);
    EXPECT_EQ(setupFirmwareVersion(0x0000), 0);
    EXPECT_EQ(setupLogicVersion(8012), 12);
    EXPECT_EQ(setupLogicVersion(9000), 0);
    EXPECT_EQ(setupLogicVersion(7999), 0);
    EXPECT_EQ(versionDisplayText(105), "1.05");
    EXPECT_EQ(versionDisplayText(7), "0.07");
    EXPECT_EQ(versionDisplayText(255), "2.55");
    EXPECT_EQ(versionDisplayText(0), "unknown");
    EXPECT_EQ(versionDisplayText(256), "unknown");
}

TEST(FamilyTable, EntriesPerModel) {
    const FamilyFiles& armB = familyFiles(10, ProbeModel::B);
    EXPECT_EQ(armB.firmwareBase, 0xA000);
    EXPECT_EQ(armB.logicBase, 4000);
    EXPECT_STREQ(armB.firmwareFile, "TQBARMFW");
    EXPECT_STREQ(armB.logicFile, "ARMJEDQB");
    EXPECT_STREQ(familyFiles(10, ProbeModel::BC).firmwareFile, "TQBARMFW");
    EXPECT_STREQ(familyFiles(10, ProbeModel::BC).logicFile, "ARMJEDQC");
    EXPECT_STREQ(familyFiles(10, ProbeModel::A).logicFile, "ARMJEDQA");
    EXPECT_STREQ(familyFiles(0, ProbeModel::X).firmwareFile, "TOVQXFW");
    EXPECT_STREQ(familyFiles(27, ProbeModel::A).logicFile, "COPJEDQA");
    EXPECT_EQ(familyFiles(27, ProbeModel::A).logicBase, 7000);
    for (auto [family, model] :
         {std::pair{10u, ProbeModel::X}, {1u, ProbeModel::B}, {35u, ProbeModel::A}}) {
        const FamilyFiles& none = familyFiles(family, model);
        EXPECT_EQ(none.firmwareBase, 65535);
        EXPECT_EQ(none.logicBase, 0);
        EXPECT_STREQ(none.firmwareFile, "NOT_SUPP");
        EXPECT_STREQ(none.logicFile, "NOT_SUPP");
    }
    EXPECT_STREQ(familyName(5), "MPC8xx/MPC5xx");
    EXPECT_STREQ(familyName(33), "XScale");
    EXPECT_STREQ(familyName(1), "unknown");
    EXPECT_EQ(expectedLogicDeviceId(ProbeModel::X), 21);
    EXPECT_EQ(expectedLogicDeviceId(ProbeModel::BC), 19);
    EXPECT_EQ(expectedLogicDeviceId(ProbeModel::A), 18);
}

TEST(FileSearch, NewestThreeDigitVersionWins) {
    EXPECT_EQ(fileVersionOf("TQBARMFW.012", "TQBARMFW"), 12u);
    EXPECT_EQ(fileVersionOf("tqbarmfw.255", "TQBARMFW"), 255u);
    for (const char* name : {"TQBARMFW.000", "TQBARMFW.256", "TQBARMFW.12", "TQBARMFW.abc",
                             "TQBARMFW.0120", "TQBARMFW_012", "TQBARMF.012", "XTQBARMFW.012"}) {
        EXPECT_EQ(fileVersionOf(name, "TQBARMFW"), 0u) << name;
    }

    test::UpdateDir dir;
    EXPECT_EQ(findNewestFile(dir.prefix(), "TQBARMFW").version, 0u);
    dir.write("TQBARMFW.abc", "");
    dir.write("TQBARMFW.12", "");
    dir.write("TQBARMFW.000", "");
    dir.write("TQBARMFW.300", "");
    EXPECT_EQ(findNewestFile(dir.prefix(), "TQBARMFW").version, 0u);
    dir.write("TQBARMFW.009", "");
    dir.write("TQBARMFW.010", "");
    dir.write("TQBPPCFW.099", "");
    const FoundFile found = findNewestFile(dir.prefix(), "TQBARMFW");
    EXPECT_EQ(found.version, 10u);
    EXPECT_EQ(found.path, dir.prefix() + "TQBARMFW.010");
    EXPECT_EQ(findNewestFile(dir.prefix() + "missing/", "TQBARMFW").version, 0u);

    // Without a trailing separator the last component is a prefix of the name.
    dir.write("xTQBARMFW.020", "");
    std::string prefix = dir.prefix();
    prefix.back() = '/';
    const FoundFile prefixed = findNewestFile(prefix + "x", "TQBARMFW");
    EXPECT_EQ(prefixed.version, 20u);
    EXPECT_EQ(prefixed.path, prefix + "xTQBARMFW.020");
}

}  // namespace
}  // namespace tov::maint
