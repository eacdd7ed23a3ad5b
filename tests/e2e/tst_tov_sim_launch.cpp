// tov --sim against a stand-in simulator script: the options it passes on, waiting for the
// ready line, and the clean-up after the command, after a failed start and after an interrupt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "process_runner.h"

namespace tov::e2e {
namespace {

namespace fs = std::filesystem;

// Writes its arguments to $FAKE_SIM_LOG, then behaves as $FAKE_SIM_MODE says.
constexpr const char* kFakeSimulator = R"(#!/bin/sh
trap 'echo stopped-by-term >> "$FAKE_SIM_LOG"; exit 0' TERM
printf '%s\n' "$@" > "$FAKE_SIM_LOG"
case "$FAKE_SIM_MODE" in
  fail) echo "fake: refusing" >&2; exit 3 ;;
  mute) while :; do sleep 0.05; done ;;
esac
echo "ready serial=$2"
while :; do sleep 0.05; done
)";

// A private copy of tov with the stand-in simulator beside it and a private TMPDIR.
class FakeSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tov-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "bin");
        fs::create_directories(root_ / "tmp");
        tov_ = root_ / "bin" / "tov";
        fs::copy_file(fs::path(TOV_BIN_DIR) / "tov", tov_);
        fs::permissions(tov_, fs::perms::owner_all);
        const fs::path sim = root_ / "bin" / "tovsim";
        std::ofstream(sim) << kFakeSimulator;
        fs::permissions(sim, fs::perms::owner_all);
        log_ = root_ / "sim.log";
    }

    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    EnvironmentChanges environment(const std::string& mode) const {
        return {{"TOV_PORT", std::nullopt},
                {"TMPDIR", (root_ / "tmp").string()},
                {"FAKE_SIM_LOG", log_.string()},
                {"FAKE_SIM_MODE", mode}};
    }

    std::vector<std::string> simulatorLog() const {
        std::ifstream in(log_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    bool privateTmpIsEmpty() const { return fs::is_empty(root_ / "tmp"); }

    fs::path root_;
    fs::path tov_;
    fs::path log_;
};

TEST_F(FakeSimulatorTest, PassesOptionsOnAndStopsTheSimulatorAfterTheCommand) {
    const ProcessResult run = runProcess(
        tov_.string(),
        {"--sim", "--loader", "--rate", "38400", "--model=A", "--trace", "t.log", "errors"},
        environment("ready"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(splitLines(run.out).size(), 87u);

    const std::vector<std::string> log = simulatorLog();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0], "--serial");
    const fs::path tty = log[1];
    EXPECT_EQ(tty.filename(), "tty");
    EXPECT_EQ(tty.parent_path().parent_path(), root_ / "tmp");
    EXPECT_EQ(
        std::vector<std::string>(log.begin() + 2, log.begin() + 8),
        (std::vector<std::string>{"--loader", "--rate", "38400", "--model=A", "--trace", "t.log"}));
    EXPECT_EQ(log[8], "stopped-by-term");
    EXPECT_TRUE(privateTmpIsEmpty());
}

TEST_F(FakeSimulatorTest, CommandFailureStillStopsTheSimulator) {
    // The stand-in makes no pty, so opening it fails like a missing device.
    const ProcessResult run = runProcess(tov_.string(), {"--sim", "ping"}, environment("ready"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.find("tov: ping: LNK: Communication setup failed") != std::string::npos)
        << run.err;
    const std::vector<std::string> log = simulatorLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "stopped-by-term");
    EXPECT_TRUE(privateTmpIsEmpty());
}

TEST_F(FakeSimulatorTest, SimulatorThatEndsOrStaysSilentIsReported) {
    const ProcessResult failed = runProcess(tov_.string(), {"--sim", "ping"}, environment("fail"));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.find("fake: refusing") != std::string::npos);
    EXPECT_TRUE(failed.err.find("ended before it was ready (exit status 3)") != std::string::npos)
        << failed.err;
    EXPECT_TRUE(privateTmpIsEmpty());

    const ProcessResult mute = runProcess(tov_.string(), {"--sim", "ping"}, environment("mute"));
    EXPECT_EQ(mute.exitCode, 1);
    EXPECT_TRUE(mute.err.find("did not report ready") != std::string::npos) << mute.err;
    EXPECT_EQ(simulatorLog().back(), "stopped-by-term");
    EXPECT_TRUE(privateTmpIsEmpty());
}

TEST_F(FakeSimulatorTest, InterruptStopsTheSimulatorAndRemovesTheDirectory) {
    // The mute stand-in holds tov in its wait for the ready line.
    Process process(tov_.string(), {"--sim", "ping"}, environment("mute"));
    for (int i = 0; i < 300 && simulatorLog().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(simulatorLog().empty());
    process.sendSignal(SIGINT);
    const ProcessResult run = process.finish();
    EXPECT_EQ(run.signal, SIGINT);
    EXPECT_EQ(simulatorLog().back(), "stopped-by-term");
    EXPECT_TRUE(privateTmpIsEmpty());
}

// With the real simulator: Ctrl-C in the middle of a dump ends the simulator, removes its
// folder and leaves neither the dump nor a temporary file of it.
TEST(TovSimInterrupt, CtrlCDuringADumpLeavesTheTemporaryFolderAsItWas) {
    if (!fs::exists(fs::path(TOV_BIN_DIR) / "tovsim")) GTEST_SKIP() << "tovsim is not built";
    std::string pattern = (fs::temp_directory_path() / "tov-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    fs::create_directories(root / "tmp");
    fs::create_directories(root / "out");
    const fs::path trace = root / "trace";
    Process dump(std::string(TOV_BIN_DIR) + "/tov",
                 {"--sim", "--trace", trace.string(), "dump", "0", "0x1000000",
                  (root / "out" / "big.s37").string()},
                 {{"TOV_PORT", std::nullopt}, {"TMPDIR", (root / "tmp").string()}});
    // Interrupt once the reads flow, however loaded the machine is.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ec;
    while (fs::file_size(trace, ec) < 64 * 1024 || ec) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the dump did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    dump.sendSignal(SIGINT);
    const ProcessResult run = dump.finish();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_TRUE(run.err.find("tov: dump: interrupted after ") != std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(root / "tmp"));
    EXPECT_TRUE(fs::is_empty(root / "out"));
    fs::remove_all(root, ec);
}

}  // namespace
}  // namespace tov::e2e
