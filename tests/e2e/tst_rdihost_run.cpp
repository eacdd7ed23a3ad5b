// rdihost running real ARM and Thumb programs on the simulator's emulated core, as a user runs
// them: the console on the terminal, files in a directory, the program's exit status, points,
// a step, and the stop on a time limit and on Ctrl-C.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "tests/integration/arm_program.h"
#include "tests/support/sim_fixture.h"

namespace tov::e2e {
namespace {

const std::string kRdihost = std::string(TOV_BIN_DIR) + "/rdihost";

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

class RdihostRun : public ::testing::TestWithParam<const char*> {
protected:
    // Each test has its own pair of simulator addresses (ARM, Thumb).
    void start(int pair) {
        address_ = "127.0.0." + std::to_string(120 + 2 * pair + (thumb() ? 1 : 0));
        sim::SimOptions options;
        options.core = sim::CoreKind::Arm1136;
        options.udpAddress = address_;
        sim_ = std::make_unique<test::SimOnPty>(options);
        ASSERT_TRUE(sim_->started());
        char pattern[] = "/tmp/rdihost-run-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override {
        sim_.reset();
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    bool thumb() const { return std::string(GetParam()) == "thumb"; }
    test::ArmProgram program(const std::string& name) const {
        return test::ArmProgram(name, GetParam());
    }
    // rdihost on the simulator's UDP address, loading the program first.
    std::vector<std::string> args(const std::string& name, std::vector<std::string> commands) {
        std::vector<std::string> all = {"--config", "SERIALPORT=0", "--config",
                                        "ETHERNETTARGET=" + address_,
                                        "-e", "load " + program(name).srecords()};
        for (const std::string& command : commands) {
            all.push_back("-e");
            all.push_back(command);
        }
        return all;
    }
    ProcessResult rdihost(const std::string& name, std::vector<std::string> commands,
                          const std::string& input = {}) {
        return runProcess(kRdihost, args(name, std::move(commands)), {}, input);
    }

    std::string address_;
    std::string dir_;
    std::unique_ptr<test::SimOnPty> sim_;
};

TEST_P(RdihostRun, ProgramsRunToTheirEndWithConsoleFilesAndStatus) {
    start(0);
    ProcessResult run = rdihost("hello", {"run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\nHello, world!\nprogram exited with status 0\n"), std::string::npos)
        << run.out;

    run = rdihost("exit_status", {"run"});
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    EXPECT_NE(run.out.find("program exited with status 3\n"), std::string::npos) << run.out;

    std::ofstream(dir_ + "/line.txt") << "Ada Lovelace\n";
    run = rdihost("console_read", {"run"}, dir_ + "/line.txt");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("name? echo: Ada Lovelace\n"), std::string::npos) << run.out;

    run = rdihost("file_io", {"cmdline file_io " + dir_, "run"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("read 4 bytes: 4567, length 16\ndone\n"), std::string::npos) << run.out;
    std::ifstream kept(dir_ + "/kept.bin", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(kept), {}};
    EXPECT_EQ(bytes, (std::vector<char>{0x00, 0x01, 0x7F, char(0x80), char(0xFE), char(0xFF), '\n',
                                        '\r'}));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/scratch.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/renamed.txt"));
}

TEST_P(RdihostRun, PointsStepAndStopsOfTheBusyLoop) {
    start(1);
    const uint32_t tick = program("busy_loop").symbol("tick").value();
    const uint32_t ticks = program("busy_loop").symbol("ticks").value();
    const uint32_t size = thumb() ? 2 : 4;
    // The simulator numbers its points from 1.
    ProcessResult run = rdihost(
        "busy_loop", {"break " + hex(tick) + (thumb() ? " --thumb" : ""), "run", "clear break 1",
                      "step", "watch " + hex(ticks) + " --write", "run", "clear watch 1",
                      "run --timeout 0.5"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("stopped: breakpoint (143) at " + hex(tick) + "\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\npc " + hex(tick + size) + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("stopped: watchpoint (144)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("stopped: stopped by the user (147)"), std::string::npos) << run.out;

    // Ctrl-C while the program runs stops it; rdihost goes on and ends normally.
    Process interrupted(kRdihost, args("busy_loop", {"run", "info 0x182"}));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    interrupted.sendSignal(SIGINT);
    run = interrupted.finish();
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("stopped: stopped by the user (147)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("info 0x182: 0 (0x00000001)\n"), std::string::npos) << run.out;
}

TEST_P(RdihostRun, CtrlCDuringAConsoleReadStopsAndTheReadIsRepeated) {
    start(2);
    // Standard input is a pipe the test writes into only after the stop.
    const std::string fifo = dir_ + "/input";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    Process reading(kRdihost, args("console_read", {"run", "run"}), {}, fifo);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    reading.sendSignal(SIGINT);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_EQ(::write(writer, "Ada\n", 4), 4);
    const ProcessResult run = reading.finish();
    ::close(writer);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("name? \nstopped: stopped by the user (147)"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("echo: Ada\nprogram exited with status 0\n"), std::string::npos)
        << run.out;
}

INSTANTIATE_TEST_SUITE_P(States, RdihostRun, ::testing::Values("arm", "thumb"));

}  // namespace
}  // namespace tov::e2e
