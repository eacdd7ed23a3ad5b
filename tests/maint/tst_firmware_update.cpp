// Connecting to the loader, programming firmware files and the library's update decision, on a
// scripted loader.
#include <gtest/gtest.h>

#include "link/error_codes.h"
#include "maint/firmware_update.h"
#include "maint/loader_requests.h"
#include "maint/update.h"
#include "tests/maint/scripted_loader.h"
#include "tests/maint/update_files.h"

namespace tov::maint {
namespace {

using test::ScriptedLoader;
using test::sRecordLine;
using test::UpdateDir;
using test::versionAnswer;
using test::Wire;
using Codes = std::vector<uint8_t>;

Wire programRequest(uint32_t address, uint16_t count, const Wire& data) {
    Wire w{104,
           static_cast<uint8_t>(address >> 24),
           static_cast<uint8_t>(address >> 16),
           static_cast<uint8_t>(address >> 8),
           static_cast<uint8_t>(address),
           static_cast<uint8_t>(count >> 8),
           static_cast<uint8_t>(count)};
    w.insert(w.end(), data.begin(), data.end());
    return w;
}

Wire eraseRequest(uint32_t address) {
    return {103, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
            static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
}

TEST(ConnectLoader, LibraryTriesThreeOpensAndReopensAfterTheSwitchOver) {
    ScriptedLoader probe;
    ProbeIdentity id;
    probe.openResults = {-1001, -1001, 0};
    probe.switchOnEnter = true;
    ASSERT_EQ(connectLoader(probe, libraryCaller(), id), 0);
    EXPECT_EQ(probe.opens, 4);  // three tries, and the open after the switch-over
    EXPECT_EQ(probe.closes, 1);
    EXPECT_EQ(probe.sleeps, std::vector<uint32_t>{1000});
    EXPECT_EQ(probe.opcodes(), (Codes{114, 100}));
    EXPECT_EQ(probe.sent[0].extraTimeout, 100);
    EXPECT_TRUE(probe.isOpen);
    EXPECT_EQ(id.model, ProbeModel::B);

    ScriptedLoader dead;
    dead.openResults = {-1001, -1001, -1201};
    EXPECT_EQ(connectLoader(dead, libraryCaller(), id), -1201);
    EXPECT_EQ(dead.opens, 3);
    EXPECT_TRUE(dead.sent.empty());

    ScriptedLoader odd;
    odd.versions = versionAnswer(16, 1, 2, 3);
    EXPECT_EQ(connectLoader(odd, libraryCaller(), id), link::kUnknownProbe);
    EXPECT_FALSE(odd.isOpen);
}

TEST(ConnectLoader, SetupProgramTriesTwiceAndKnowsOnlyTheTovB) {
    ScriptedLoader probe;
    ProbeIdentity id;
    probe.openResults = {-1001, 0};
    probe.versions = versionAnswer(17, 0x0105, 0xE805, 8012, "123456780C");
    ASSERT_EQ(connectLoader(probe, setupCaller(), id), 0);
    EXPECT_EQ(probe.opens, 2);
    EXPECT_EQ(probe.sent[0].extraTimeout, 10);
    EXPECT_EQ(id.model, ProbeModel::BC);
    EXPECT_EQ(id.serial, "123456780C");

    for (size_t length : {7, 16, 23}) {
        ScriptedLoader other;
        other.versions = versionAnswer(length, 0x0105, 0x5012, 1003);
        ASSERT_EQ(connectLoader(other, setupCaller(), id), 0) << length;
        EXPECT_EQ(id.loaderVersion, 0);
        EXPECT_EQ(id.firmwareWord, 0);
        EXPECT_EQ(id.logicWord, 0);
    }
}

TEST(ProgramFirmware, TovBPadsRecordsToWordsAndEndsWithTheMarker) {
    UpdateDir dir;
    const std::string file =
        dir.write("fw.001", "S00600004844521B\n" + sRecordLine(3, 0x01040010, {}) + "\n\n" +
                                sRecordLine(1, 0x2000, {1, 2, 3, 4, 5}) + "\r\n" +
                                sRecordLine(2, 0x012345, {9, 8, 7, 6}) + "\nS9030000FC\n");
    ScriptedLoader probe;
    probe.open();
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    ASSERT_EQ(programFirmware(probe, ProbeModel::B, file, libraryCaller(),
                              [&](uint64_t at, uint64_t size) { progress.emplace_back(at, size); }),
              0);
    const std::vector<Wire> expected = {
        eraseRequest(0x0100C000),
        eraseRequest(0x01040000),
        eraseRequest(0x01080000),
        eraseRequest(0x010C0000),
        programRequest(0x2000, 8, {1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF}),
        programRequest(0x012345, 4, {9, 8, 7, 6}),
        programRequest(0x01040000, 4, {0xAA, 0x55, 0x55, 0xAA}),
    };
    ASSERT_EQ(probe.sent.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(probe.sent[i].request, expected[i]);
    EXPECT_EQ(probe.sent[0].extraTimeout, 10000);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().first, progress.back().second);
    EXPECT_LT(progress.front().first, progress.front().second);
}

TEST(ProgramFirmware, TovXCountsWordsAndTovAUsesItsSectors) {
    UpdateDir dir;
    Wire sixteen;
    for (uint8_t i = 0; i < 16; ++i) sixteen.push_back(i);
    const std::string file = dir.write("fw.001", sRecordLine(2, 0x0A0100, sixteen) + "\n");
    ScriptedLoader x;
    x.open();
    ASSERT_EQ(programFirmware(x, ProbeModel::X, file, libraryCaller()), 0);
    const auto programs = x.requestsOf(104);
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0], programRequest(0x0A0100, 8, sixteen));
    EXPECT_EQ(programs[1], programRequest(0x000A0000, 2, {0xAA, 0x55, 0x55, 0xAA}));
    EXPECT_EQ(x.requestsOf(103).front(), eraseRequest(0x00084000));

    ScriptedLoader a;
    a.open();
    ASSERT_EQ(programFirmware(a, ProbeModel::A, file, libraryCaller()), 0);
    EXPECT_EQ(a.requestsOf(103).front(), eraseRequest(0x00086000));
    EXPECT_EQ(a.requestsOf(104)[0], programRequest(0x0A0100, 16, sixteen));
}

TEST(ProgramFirmware, FileAndStatusFailuresStopAndUseTheCallersCodes) {
    UpdateDir dir;
    const std::string good = sRecordLine(1, 0x2000, {1, 2, 3, 4});
    std::string badSum = good;
    badSum.back() = badSum.back() == '0' ? '1' : '0';
    std::string lower = sRecordLine(1, 0x2000, {0xAB, 2, 3, 4});
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lower[0] = 'S';

    struct Case {
        std::string text;
        int32_t library;
        int32_t setup;
    };
    const std::vector<Case> cases = {
        {badSum + "\n" + good + "\n", -1302, -1207},
        {lower + "\n", -1302, -1207},
        {"\n" + good + "\n", 0, -1207},                // blank line: skipped only by the library
        {"  " + good + "\n", 0, 0},                    // library: a blank-led line is skipped
        {"xx" + good + "\n", -1302, 0},                // the setup program looks for the 'S'
        {good + "  \n", 0, -1207},                     // the setup program wants the exact length
        {std::string(300, 'S') + "\n", -1302, -1207},  // longer than a line may be
    };
    for (const Case& c : cases) {
        const std::string file = dir.write("fw.002", c.text);
        for (auto [caller, want] :
             {std::pair{&libraryCaller(), c.library}, {&setupCaller(), c.setup}}) {
            ScriptedLoader probe;
            probe.open();
            EXPECT_EQ(programFirmware(probe, ProbeModel::B, file, *caller), want) << c.text;
            // A failing file is found before anything is erased, and programs nothing, not even
            // the start marker.
            EXPECT_EQ(probe.requestsOf(103).size(), want == 0 ? 4u : 0u) << c.text;
            EXPECT_EQ(probe.requestsOf(104).empty(), want != 0) << c.text;
        }
    }

    ScriptedLoader missing;
    missing.open();
    EXPECT_EQ(programFirmware(missing, ProbeModel::B, dir.prefix() + "none", libraryCaller()),
              -1302);
    EXPECT_EQ(programFirmware(missing, ProbeModel::B, dir.prefix() + "none", setupCaller()), -1207);
    EXPECT_TRUE(missing.sent.empty());

    const std::string file = dir.write("fw.003", good + "\n");
    ScriptedLoader eraseFails;
    eraseFails.open();
    eraseFails.eraseStatus = 1;
    EXPECT_EQ(programFirmware(eraseFails, ProbeModel::B, file, libraryCaller()), -1208);
    EXPECT_EQ(eraseFails.opcodes(), Codes{103});
    ScriptedLoader programFails;
    programFails.open();
    programFails.programStatus = 3;
    EXPECT_EQ(programFirmware(programFails, ProbeModel::B, file, libraryCaller()), -1209);
    EXPECT_EQ(programFails.requestsOf(104).size(), 1u);
}

// A TOV-B with ARM firmware 5 and logic 5, and a directory to hold the update files.
struct Update : ::testing::Test {
    ScriptedLoader probe;
    UpdateDir dir;
    void SetUp() override { probe.versions = versionAnswer(15, 0x0102, 0xA005, 4005); }
    void firmwareFile(const std::string& name) {
        dir.write(name, sRecordLine(3, 0x01040000, {1, 2, 3, 4}) + "\n");
    }
    void jedecFile(const std::string& name) { dir.writeJedec(name, 134, 240, 4); }
    int32_t run(uint16_t mode, uint16_t family = 10) {
        return updateFirmwareLogic(probe, dir.prefix(), family, mode);
    }
    void expectClosed() {
        EXPECT_FALSE(probe.isOpen);
        EXPECT_GE(probe.closes, 1);
    }
};

TEST_F(Update, RejectsFamiliesOutsideTheTableBeforeOpening) {
    EXPECT_EQ(run(0, 36), link::kInvalidParameter);
    EXPECT_EQ(probe.opens, 0);
}

TEST_F(Update, BothFilesMustExistAndNothingIsProgrammedWithoutThem) {
    dir.write("TQBARMFW.abc", "");
    dir.write("TQBARMFW.12", "");
    jedecFile("ARMJEDQB.006");
    EXPECT_EQ(run(3), -1302);
    EXPECT_EQ(probe.opcodes(), (Codes{114, 100}));
    expectClosed();

    firmwareFile("TQBARMFW.006");
    dir.write("ARMJEDQB.xyz", "");
    std::filesystem::remove(dir.prefix() + "ARMJEDQB.006");
    probe.sent.clear();
    EXPECT_EQ(run(3), -1306);
    EXPECT_EQ(probe.opcodes(), (Codes{114, 100}));
    expectClosed();

    probe.sent.clear();
    probe.versions = versionAnswer(18, 1, 2, 3);
    EXPECT_EQ(run(0), link::kUnknownProbe);
    expectClosed();
}

TEST_F(Update, CurrentVersionsInModeZeroChangeNothing) {
    firmwareFile("TQBARMFW.005");
    firmwareFile("TQBARMFW.004");
    jedecFile("ARMJEDQB.005");
    EXPECT_EQ(run(0), 0);
    EXPECT_EQ(probe.opcodes(), (Codes{114, 100}));
    EXPECT_EQ(probe.opens, probe.closes);
    expectClosed();
}

TEST_F(Update, OutdatedOrForcedFirmwareIsProgrammedAlone) {
    firmwareFile("TQBARMFW.006");
    jedecFile("ARMJEDQB.005");
    EXPECT_EQ(run(0), 0);
    EXPECT_EQ(probe.requestsOf(103).size(), 4u);
    EXPECT_EQ(probe.requestsOf(104).size(), 2u);
    EXPECT_TRUE(probe.requestsOf(105).empty());
    expectClosed();

    // Firmware of another family lies far from this family's base: always outdated.
    probe.sent.clear();
    probe.versions = versionAnswer(15, 0x0102, 0x5012, 4005);
    std::filesystem::remove(dir.prefix() + "TQBARMFW.006");
    firmwareFile("TQBARMFW.001");
    EXPECT_EQ(run(0), 0);
    EXPECT_EQ(probe.requestsOf(104).size(), 2u);

    probe.sent.clear();
    probe.versions = versionAnswer(15, 0x0102, 0xA005, 4005);
    EXPECT_EQ(run(1), 0);
    EXPECT_EQ(probe.requestsOf(104).size(), 2u);
    EXPECT_TRUE(probe.requestsOf(105).empty());
    expectClosed();
}

TEST_F(Update, RevCLogicIsPreparedThenProgrammedFromItsOwnFile) {
    probe.versions = versionAnswer(17, 0x0102, 0xA005, 4005, "123456780C");
    firmwareFile("TQBARMFW.005");
    jedecFile("ARMJEDQC.007");
    dir.write("ARMJEDQB.009", "not a JEDEC file\n");
    ASSERT_EQ(run(0), 0);
    const Codes codes = probe.opcodes();
    ASSERT_GE(codes.size(), 7u);
    EXPECT_EQ(Codes(codes.begin(), codes.begin() + 7), (Codes{114, 100, 105, 106, 112, 105, 105}));
    EXPECT_EQ(probe.requestsOf(105)[0], (Wire{105, 1}));
    EXPECT_EQ(probe.requestsOf(105)[1], (Wire{105, 0}));
    EXPECT_EQ(probe.requestsOf(108).size(), 134u);
    EXPECT_TRUE(probe.requestsOf(104).empty());
    // The UES carries the logic base plus the file's version: "TQV01E4007".
    EXPECT_EQ(probe.ues.substr(0, 16), "0101010001010001");
    EXPECT_EQ(probe.ues.substr(72, 8), "00110111");  // '7'
    expectClosed();

    // The plain TOV-B takes the B file; here that is the unreadable one.
    probe.versions = versionAnswer(17, 0x0102, 0xA005, 4005, "1234567801");
    EXPECT_EQ(run(0), -1306);
    expectClosed();
}

TEST_F(Update, ForeignLogicDeviceIsNeitherErasedNorProgrammed) {
    firmwareFile("TQBARMFW.009");
    jedecFile("ARMJEDQB.005");
    probe.deviceId = 18;
    EXPECT_EQ(run(2), link::kLogicIdFailed);
    EXPECT_EQ(probe.opcodes(), (Codes{114, 100, 105, 106, 105}));
    EXPECT_EQ(probe.requestsOf(105).back(), (Wire{105, 0}));
    expectClosed();
}

}  // namespace
}  // namespace tov::maint
