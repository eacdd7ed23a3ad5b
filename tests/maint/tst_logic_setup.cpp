// The setup program's logic step against a fake loader: its status texts, its message box texts
// for each failure, and that logic programming is always left again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/error_codes.h"
#include "maint/logic_update.h"
#include "maint/ues.h"
#include "tests/maint/logic_fake_loader.h"
#include "tests/maint/logic_test_files.h"
#include "tests/support/jedec_file.h"

namespace tov::maint {
namespace {

using test::FakeLogicLoader;
using test::LoaderBytes;

const LoaderBytes kLeaveLogic{0x69, 0x00};

// A TOV-B JEDEC file, a fake loader and the status lines shown.
struct SetupBench {
    SetupBench()
        : rows(test::fuseRows(134, 240, 21)),
          jedec(dir.write("ARMJEDQB.012", test::jedecText(test::fuseLines(rows, 4)))) {}
    SetupLogicResult run(uint16_t version = 12) {
        return programLogicForSetup(loader, jedec, version,
                                    [this](const std::string& text) { status.push_back(text); });
    }

    test::JedecDir dir;
    std::vector<std::string> rows;
    std::string jedec;
    FakeLogicLoader loader;
    std::vector<std::string> status;
};

std::vector<std::string> percentTexts(const std::string& stage) {
    std::vector<std::string> texts;
    for (unsigned i = 0; i < 134; ++i) {
        texts.push_back(stage + " ( " + std::to_string(i * 100 / 134) + "% )");
    }
    return texts;
}

TEST(LogicSetup, ShowsEveryStageAndProgramsTheDevice) {
    SetupBench bench;
    const SetupLogicResult result = bench.run(12);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.message, "");

    std::vector<std::string> expected = {"Logic: Reading JEDEC File ...", "Logic: Erasing ...",
                                         "Logic: Programming ..."};
    for (const auto& t : percentTexts("Logic: Programming ...")) expected.push_back(t);
    expected.push_back("Logic: Verifying ...");
    for (const auto& t : percentTexts("Logic: Verifying ...")) expected.push_back(t);
    EXPECT_EQ(bench.status, expected);
    EXPECT_EQ(bench.status[3 + 133], "Logic: Programming ... ( 99% )");

    const auto& sent = bench.loader.sent;
    ASSERT_EQ(sent.size(), 3 + 134 + 1 + 134 + 1 + 1);
    EXPECT_EQ(sent[0].request, (LoaderBytes{0x69, 0x01}));
    EXPECT_EQ(sent[1].request, LoaderBytes{0x6A});
    EXPECT_EQ(sent[2].request, LoaderBytes{0x70});
    EXPECT_EQ(sent[2].extraTimeout, 600);
    EXPECT_EQ(sent[3].request[1], 0);
    EXPECT_EQ(sent.back().request, kLeaveLogic);
    EXPECT_EQ(bench.loader.ues, uesBits(ProbeModel::B, "TQV01E8012"));
    for (uint8_t r = 0; r < 134; ++r) EXPECT_EQ(bench.loader.rows[r], bench.rows[r]);
}

TEST(LogicSetup, UesCarriesVersionsUpTo255Only) {
    SetupBench valid;
    ASSERT_EQ(valid.run(255).code, 0);
    EXPECT_EQ(valid.loader.ues, uesBits(ProbeModel::B, "TQV01E8255"));
    SetupBench beyond;
    ASSERT_EQ(beyond.run(256).code, 0);
    EXPECT_EQ(beyond.loader.ues, uesBits(ProbeModel::B, "TQV01E8000"));
}

TEST(LogicSetup, JedecFailuresHaveTheirOwnTexts) {
    SetupBench missing;
    missing.jedec = missing.dir.file("ARMJEDQB.013");
    SetupLogicResult result = missing.run();
    EXPECT_EQ(result.code, link::kLogicFileFailed);
    EXPECT_EQ(result.message, "Logic: Cannot open JEDEC file!");

    SetupBench noList;
    test::JedecFrame frame;
    frame.startLine = "L00000";
    noList.dir.write("ARMJEDQB.012", test::jedecText(test::fuseLines(noList.rows, 4), frame));
    EXPECT_EQ(noList.run().message, "Logic: Illegal JEDEC file format!");

    SetupBench shortRow;
    auto lines = test::fuseLines(shortRow.rows, 4);
    lines.back().pop_back();
    shortRow.dir.write("ARMJEDQB.012", test::jedecText(lines));
    EXPECT_EQ(shortRow.run().message, "Illegal JEDEC file format!");

    for (const auto* bench : {&missing, &noList, &shortRow}) {
        EXPECT_EQ(bench->status, std::vector<std::string>{"Logic: Reading JEDEC File ..."});
        ASSERT_EQ(bench->loader.sent.size(), 1u);
        EXPECT_EQ(bench->loader.sent[0].request, kLeaveLogic);
    }
}

TEST(LogicSetup, AnotherDeviceIsNotErased) {
    SetupBench bench;
    bench.loader.deviceId = 21;
    const SetupLogicResult result = bench.run();
    EXPECT_EQ(result.code, link::kLogicIdFailed);
    EXPECT_EQ(result.message, "Logic: Unknown ispLSI device type!");
    EXPECT_TRUE(bench.loader.requestsOf(0x70).empty());
    EXPECT_EQ(bench.loader.sent.size(), 3u);
    EXPECT_EQ(bench.loader.sent.back().request, kLeaveLogic);
}

TEST(LogicSetup, EachVerificationHasItsText) {
    SetupBench programmed;
    programmed.loader.badReading = std::make_pair(uint8_t{133}, 0);
    SetupLogicResult result = programmed.run();
    EXPECT_EQ(result.code, link::kLogicVerifyFailed);
    EXPECT_EQ(result.message, "Logic: Fuse map programmed verification failed!");
    // The row's progress is shown before its answer is judged.
    EXPECT_EQ(programmed.status.back(), "Logic: Verifying ... ( 99% )");

    SetupBench erased;
    erased.loader.badReading = std::make_pair(uint8_t{0}, 1);
    result = erased.run();
    EXPECT_EQ(result.code, link::kLogicVerifyFailed);
    EXPECT_EQ(result.message, "Logic: Fuse map erased verification failed!");
    EXPECT_EQ(erased.loader.requestsOf(0x6B).size(), 1u);

    SetupBench ues;
    ues.loader.badUes = true;
    result = ues.run();
    EXPECT_EQ(result.code, link::kLogicVerifyFailed);
    EXPECT_EQ(result.message, "Logic: UES verify failed!");

    for (const auto* bench : {&programmed, &erased, &ues}) {
        EXPECT_EQ(bench->loader.sent.back().request, kLeaveLogic);
    }
}

TEST(LogicSetup, CommunicationFailuresShareOneText) {
    // A fuse row answer one byte short, a wrong echo, and a transport failure at each stage.
    SetupBench cut;
    cut.loader.cutRowAnswer = 1;
    SetupLogicResult result = cut.run();
    EXPECT_EQ(result.code, link::kInvalidResponse);
    EXPECT_EQ(result.message, "Communication with TOV failed!");

    SetupBench echo;
    echo.loader.wrongEchoFor = 0x6D;
    result = echo.run();
    EXPECT_EQ(result.code, link::kInvalidResponse);
    EXPECT_EQ(result.message, "Communication with TOV failed!");

    for (uint8_t opcode : {0x69, 0x6A, 0x70, 0x6C, 0x6E, 0x6B, 0x6D}) {
        SetupBench bench;
        bench.loader.failWhen = [opcode](const LoaderBytes& r) {
            return r[0] == opcode && r != kLeaveLogic;
        };
        result = bench.run();
        EXPECT_EQ(result.code, -1002) << int{opcode};
        EXPECT_EQ(result.message, "Communication with TOV failed!") << int{opcode};
        // Nothing of the same kind follows the failing request (the leave request aside).
        const size_t leaves = opcode == 0x69 ? 1 : 0;
        EXPECT_EQ(bench.loader.requestsOf(opcode).size(), 1u + leaves) << int{opcode};
        EXPECT_EQ(bench.loader.sent.back().request, kLeaveLogic) << int{opcode};
    }

    // A failing leave request after a good run is not shown.
    SetupBench leave;
    leave.loader.failWhen = [](const LoaderBytes& r) { return r == kLeaveLogic; };
    result = leave.run();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.message, "");
}

}  // namespace
}  // namespace tov::maint
