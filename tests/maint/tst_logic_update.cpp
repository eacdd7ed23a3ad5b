// The library's logic programming against a fake loader: request bytes, waits and the order of
// the steps, read-back checks, and that logic programming is always left again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/error_codes.h"
#include "maint/logic_geometry.h"
#include "maint/logic_update.h"
#include "maint/ues.h"
#include "tests/maint/logic_fake_loader.h"
#include "tests/maint/logic_test_files.h"
#include "tests/support/jedec_file.h"

namespace tov::maint {
namespace {

using test::FakeLogicLoader;
using test::LoaderBytes;

const LoaderBytes kEnterLogic{0x69, 0x01};
const LoaderBytes kLeaveLogic{0x69, 0x00};

LoaderBytes withText(LoaderBytes head, const std::string& text) {
    head.insert(head.end(), text.begin(), text.end());
    return head;
}

// A device, a JEDEC file for it and a fake loader.
struct LogicBench {
    explicit LogicBench(ProbeModel model, uint32_t seed = 1)
        : model(model),
          geometry(logicGeometry(model)),
          rows(test::fuseRows(geometry.rows, geometry.rowLength, seed)),
          jedec(dir.write("logic.jed",
                          test::jedecText(test::fuseLines(rows, geometry.linesPerRow)))) {
        loader.deviceId = geometry.deviceId;
    }
    int32_t run(uint16_t version) {
        return programLogic(loader, model, jedec, version, libraryCaller());
    }

    ProbeModel model;
    LogicGeometry geometry;
    test::JedecDir dir;
    std::vector<std::string> rows;
    std::string jedec;
    FakeLogicLoader loader;
};

TEST(LogicUpdate, ProgramsAndVerifiesEveryModel) {
    const std::vector<std::pair<ProbeModel, uint16_t>> cases = {{ProbeModel::X, 3005},
                                                                {ProbeModel::B, 4012},
                                                                {ProbeModel::BC, 9001},
                                                                {ProbeModel::A, 11012}};
    for (const auto& [model, version] : cases) {
        SCOPED_TRACE(static_cast<int>(model));
        LogicBench bench(model, version);
        ASSERT_EQ(bench.run(version), 0);

        const size_t n = bench.geometry.rows;
        const auto& sent = bench.loader.sent;
        ASSERT_EQ(sent.size(), 1 + n + 1 + n + 1 + 1);
        EXPECT_EQ(sent[0].request, kEnterLogic);
        EXPECT_EQ(sent[0].extraTimeout, 100);
        EXPECT_EQ(sent[1].request, withText({0x6C, 0x00}, bench.rows[0]));
        EXPECT_EQ(sent[1].extraTimeout, 300);
        EXPECT_EQ(sent[n].request,
                  withText({0x6C, static_cast<uint8_t>(n - 1)}, bench.rows.back()));
        const std::string bits = uesBits(model, uesText(model, version));
        EXPECT_EQ(sent[n + 1].request, withText({0x6E}, bits));
        EXPECT_EQ(sent[n + 1].extraTimeout, 300);
        for (size_t r = 0; r < n; ++r) {
            EXPECT_EQ(sent[n + 2 + r].request, (LoaderBytes{0x6B, static_cast<uint8_t>(r)}));
            EXPECT_EQ(sent[n + 2 + r].extraTimeout, 100);
        }
        EXPECT_EQ(sent[2 * n + 2].request, LoaderBytes{0x6D});
        EXPECT_EQ(sent.back().request, kLeaveLogic);
        EXPECT_EQ(sent.back().extraTimeout, 100);

        EXPECT_EQ(bench.loader.ues.size(), uesBitCount(model));
        ASSERT_EQ(bench.loader.rows.size(), n);
        for (size_t r = 0; r < n; ++r)
            EXPECT_EQ(bench.loader.rows[static_cast<uint8_t>(r)], bench.rows[r]);
    }
}

TEST(LogicUpdate, UesRequestOfTheTovBIsExact) {
    LogicBench bench(ProbeModel::B);
    ASSERT_EQ(bench.run(4012), 0);
    const auto ues = bench.loader.requestsOf(0x6E);
    ASSERT_EQ(ues.size(), 1u);
    EXPECT_EQ(ues[0], withText({0x6E},
                               "0101010001010001010101100011000000110001010001010011010000110000"
                               "00110001001100100000000000000000000000000000000000000000"));
}

TEST(LogicUpdate, ReadBackDifferencesAreVerifyErrors) {
    for (int reading : {0, 1}) {
        LogicBench bench(ProbeModel::B);
        bench.loader.badReading = std::make_pair(uint8_t{57}, reading);
        EXPECT_EQ(bench.run(4012), link::kLogicVerifyFailed);
        // Verification stops at the bad row; the UES is not read and logic mode is left.
        EXPECT_EQ(bench.loader.requestsOf(0x6B).size(), 58u);
        EXPECT_TRUE(bench.loader.requestsOf(0x6D).empty());
        EXPECT_EQ(bench.loader.sent.back().request, kLeaveLogic);
    }

    LogicBench ues(ProbeModel::X);
    ues.loader.badUes = true;
    EXPECT_EQ(ues.run(3005), link::kLogicVerifyFailed);
    EXPECT_EQ(ues.loader.sent.back().request, kLeaveLogic);

    // An answer with a reading cut short cannot hold the row twice.
    LogicBench cut(ProbeModel::A);
    cut.loader.cutRowAnswer = 2;
    EXPECT_EQ(cut.run(11012), link::kLogicVerifyFailed);
    EXPECT_EQ(cut.loader.requestsOf(0x6B).size(), 1u);
}

TEST(LogicUpdate, WrongOpcodesAreInvalidResponses) {
    for (uint8_t opcode : {uint8_t{0x6B}, uint8_t{0x6D}}) {
        LogicBench bench(ProbeModel::A);
        bench.loader.wrongEchoFor = opcode;
        EXPECT_EQ(bench.run(4007), link::kInvalidResponse);
        EXPECT_EQ(bench.loader.requestsOf(opcode).size(), 1u);
        EXPECT_EQ(bench.loader.sent.back().request, kLeaveLogic);
    }
    // Answers of Logic mode, Program fuse row and Program UES are not examined.
    for (uint8_t opcode : {uint8_t{0x69}, uint8_t{0x6C}, uint8_t{0x6E}}) {
        LogicBench bench(ProbeModel::X);
        bench.loader.wrongEchoFor = opcode;
        EXPECT_EQ(bench.run(3005), 0);
    }
}

TEST(LogicUpdate, UnreadableJedecFileSendsOnlyTheLeaveRequest) {
    LogicBench missing(ProbeModel::B);
    missing.jedec = missing.dir.file("absent.jed");
    EXPECT_EQ(missing.run(4012), link::kLogicFileFailed);

    LogicBench illegal(ProbeModel::B);
    auto lines = test::fuseLines(illegal.rows, 4);
    lines[13].pop_back();
    illegal.dir.write("logic.jed", test::jedecText(lines));
    EXPECT_EQ(illegal.run(4012), link::kLogicFileFailed);

    LogicBench noList(ProbeModel::A);
    test::JedecFrame frame;
    frame.startLine = "*L01000";
    noList.dir.write("logic.jed", test::jedecText(test::fuseLines(noList.rows, 4), frame));
    EXPECT_EQ(noList.run(4012), link::kLogicFileFailed);

    for (const auto* bench : {&missing, &illegal, &noList}) {
        ASSERT_EQ(bench->loader.sent.size(), 1u);
        EXPECT_EQ(bench->loader.sent[0].request, kLeaveLogic);
    }

    // The failure wins over a failing leave request.
    LogicBench both(ProbeModel::X);
    both.jedec = both.dir.file("absent.jed");
    both.loader.failWhen = [](const LoaderBytes&) { return true; };
    EXPECT_EQ(both.run(3005), link::kLogicFileFailed);
}

TEST(LogicUpdate, TransportFailuresStopTheRunAndTheFirstErrorWins) {
    LogicBench row(ProbeModel::B);
    row.loader.failWhen = [](const LoaderBytes& r) { return r[0] == 0x6C && r[1] == 5; };
    row.loader.failCode = link::kReceiveTimeout;
    EXPECT_EQ(row.run(4012), link::kReceiveTimeout);
    EXPECT_EQ(row.loader.requestsOf(0x6C).size(), 6u);
    EXPECT_TRUE(row.loader.requestsOf(0x6E).empty());
    EXPECT_EQ(row.loader.sent.back().request, kLeaveLogic);

    LogicBench enter(ProbeModel::B);
    enter.loader.failWhen = [](const LoaderBytes& r) { return r == kEnterLogic; };
    EXPECT_EQ(enter.run(4012), -1002);
    EXPECT_EQ(enter.loader.sent.size(), 2u);
    EXPECT_EQ(enter.loader.sent.back().request, kLeaveLogic);

    // With everything else done, the leave request's own result is the result.
    LogicBench leave(ProbeModel::A);
    leave.loader.failWhen = [](const LoaderBytes& r) { return r == kLeaveLogic; };
    leave.loader.failCode = link::kReceiveBcc;
    EXPECT_EQ(leave.run(4007), link::kReceiveBcc);
    EXPECT_EQ(leave.loader.ues.size(), 80u);
}

TEST(LogicUpdate, TheCallersLineLimitIsUsed) {
    // Fuse lines of 90 characters: whole lines for the library's reader, split by one of 80.
    LogicBench bench(ProbeModel::B);
    std::vector<std::string> lines;
    for (const auto& row : bench.rows) {
        lines.insert(lines.end(), {row.substr(0, 90), row.substr(90, 90), row.substr(180), ""});
    }
    bench.dir.write("logic.jed", test::jedecText(lines));
    EXPECT_EQ(bench.run(4012), 0);
    FakeLogicLoader setupLoader;
    EXPECT_EQ(programLogic(setupLoader, ProbeModel::B, bench.jedec, 4012, setupCaller()),
              link::kLogicFileFailed);
}

}  // namespace
}  // namespace tov::maint
