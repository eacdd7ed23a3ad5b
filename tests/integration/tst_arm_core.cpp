// Real ARM programs on the simulator's emulated core, reached through the library over a
// pseudo-terminal: loaded from S-records, run with their semihosting calls served on the host,
// stopped by points, halts and steps. Each test runs for ARM and for Thumb builds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "include/tovlink.h"
#include "semihost/api_requests.h"
#include "semihost/run_loop.h"
#include "tests/integration/arm_program.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

constexpr uint32_t kSupervisorCpsr = 0x1D3;
constexpr uint32_t kStackTop = 0x80000;
constexpr uint32_t kCauseHalt = 0, kCauseBreakpoint = 1, kCauseWatchpoint = 2, kCauseStep = 4;

// A console that records what the program writes and feeds it prepared input. `onRead` runs
// before each line is read (to raise the stop request as a user would while the program waits).
class ScriptedConsole : public semihost::Console {
public:
    std::string output;
    std::string input;
    std::function<bool()> onRead;  // true: the read is given up (no input taken)

    void writeChar(uint8_t c) override { output += static_cast<char>(c); }
    size_t writeBlock(std::span<const uint8_t> data) override {
        output.append(data.begin(), data.end());
        return data.size();
    }
    size_t readLine(std::span<uint8_t> out) override {
        if (onRead && onRead()) return 0;
        size_t n = 0;
        while (n < out.size() && !input.empty()) {
            out[n++] = static_cast<uint8_t>(input.front());
            input.erase(0, 1);
            if (out[n - 1] == '\n') break;
        }
        return n;
    }
    int readChar() override { return 0; }
};

class ArmCore : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        sim::SimOptions options = simAt(115200);
        options.core = sim::CoreKind::Arm1136;
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        ASSERT_EQ(TOV_Connect(probe_->port().c_str()), 0);
    }
    void TearDown() override { TOV_Disconnect(); }

    bool thumb() const { return std::string(GetParam()) == "thumb"; }
    uint32_t instructionSize() const { return thumb() ? 2 : 4; }
    ArmProgram program(const std::string& name) const { return ArmProgram(name, GetParam()); }

    // Loads the program and points the core at its entry, in Supervisor mode with a stack.
    void load(const ArmProgram& program) {
        uint32_t detail = 0;
        ASSERT_EQ(TOV_LoadFile(program.srecords().c_str(), &detail), 0) << program.srecords();
        ASSERT_TRUE(program.entry());
        const RegisterDescriptor registers[] = {{601, 0}, {600, 15}, {600, 13}};
        const int32_t values[] = {kSupervisorCpsr, static_cast<int32_t>(*program.entry()),
                                  kStackTop};
        ASSERT_EQ(TOV_RegisterSet(3, registers, values), 0);
    }

    semihost::RunOutcome run(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        semihost::RunOptions options;
        options.timeout = timeout;
        return semihost::runProgram(requests_, service_, stop_, options);
    }

    uint32_t pc() {
        const RegisterDescriptor reg{600, 15};
        uint32_t value = 0;
        EXPECT_EQ(TOV_RegisterGet(1, &reg, &value), 0);
        return value;
    }

    std::unique_ptr<SimOnPty> probe_;
    ScriptedConsole console_;
    std::atomic<bool> stop_{false};
    semihost::Service service_{console_, stop_};
    semihost::ApiRequests requests_;
};

// The program ran to its normal end.
void expectExit(const semihost::RunOutcome& outcome) {
    EXPECT_EQ(outcome.error, 0);
    ASSERT_TRUE(outcome.service.has_value()) << "cause " << outcome.cause;
    EXPECT_EQ(outcome.service->status, semihost::Status::Stopped);
    EXPECT_EQ(outcome.service->reason, semihost::Service::kApplicationExit);
}

TEST_P(ArmCore, HelloWorldPrintsOnTheConsoleAndExits) {
    load(program("hello"));
    const semihost::RunOutcome outcome = run();
    expectExit(outcome);
    EXPECT_EQ(outcome.service->exit, 0);
    EXPECT_EQ(console_.output, "Hello, world!\n");
}

TEST_P(ArmCore, FileProgramWorksOnHostFiles) {
    char pattern[] = "/tmp/tovfiles-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    service_.setCommandLine("file_io " + dir);
    load(program("file_io"));
    const semihost::RunOutcome outcome = run();
    expectExit(outcome);
    EXPECT_EQ(console_.output, "read 4 bytes: 4567, length 16\ndone\n");
    std::ifstream kept(dir + "/kept.bin", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(kept), {}};
    EXPECT_EQ(bytes, (std::vector<char>{0x00, 0x01, 0x7F, char(0x80), char(0xFE), char(0xFF), '\n',
                                        '\r'}));
    EXPECT_FALSE(std::filesystem::exists(dir + "/scratch.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/renamed.txt"));
    std::filesystem::remove_all(dir);
}

TEST_P(ArmCore, ConsoleReadCutByAStopIsRepeatedOnResumption) {
    load(program("console_read"));
    console_.onRead = [this] {
        stop_ = true;  // the user stops the program while it waits for its line
        return true;
    };
    semihost::RunOutcome outcome = run();
    ASSERT_TRUE(outcome.interrupted);
    EXPECT_EQ(outcome.state, 1);
    const uint32_t call = pc();
    EXPECT_EQ(call, outcome.pc);
    // The PC sits on the semihosting instruction itself.
    uint8_t instruction[4] = {};
    ASSERT_EQ(TOV_MemoryRead(call, 0, 4, instruction), 0);
    if (thumb()) {
        EXPECT_EQ(instruction[0], 0xAB);
        EXPECT_EQ(instruction[1], 0xDF);
    } else {
        EXPECT_EQ(instruction[3], 0xEF);
        EXPECT_EQ(instruction[0] | instruction[1] << 8 | instruction[2] << 16, 0x123456);
    }

    stop_ = false;
    console_.onRead = nullptr;
    console_.input = "Ada\n";
    outcome = run();
    expectExit(outcome);
    EXPECT_EQ(console_.output, "name? echo: Ada\n");
}

TEST_P(ArmCore, ExitStatusReachesTheHost) {
    load(program("exit_status"));
    const semihost::RunOutcome outcome = run();
    expectExit(outcome);
    EXPECT_EQ(outcome.service->exit, 3);
}

TEST_P(ArmCore, PointsHaltAndStepStopTheBusyLoop) {
    const ArmProgram busy = program("busy_loop");
    load(busy);
    const uint32_t tick = busy.symbol("tick").value_or(0);
    const uint32_t ticks = busy.symbol("ticks").value_or(0);
    ASSERT_NE(tick, 0u);
    ASSERT_NE(ticks, 0u);

    // A breakpoint on the function stops before its first instruction.
    const int32_t breakpoint = TOV_BreakAdd(tick | (thumb() ? 1 : 0), 1);
    ASSERT_GT(breakpoint, 0);
    semihost::RunOutcome outcome = run();
    EXPECT_EQ(outcome.cause, kCauseBreakpoint);
    EXPECT_EQ(outcome.pc, tick);

    // One step executes one instruction.
    uint32_t stepped = 0;
    ASSERT_EQ(TOV_TargetStep(0, 0, 1, &stepped), 0);
    EXPECT_EQ(stepped, tick + instructionSize());
    uint16_t state = 0, count = 10;
    int32_t error = 0;
    uint32_t value = 0, values[10] = {};
    ASSERT_EQ(TOV_StateGet(&state, &error, &value, &count, values), 0);
    EXPECT_EQ(values[0], kCauseStep);
    ASSERT_EQ(TOV_BreakDelete(breakpoint), 0);

    // A write watchpoint on the counter stops after the storing instruction.
    const int32_t watchpoint = TOV_WatchAdd(0x40 | 0x04, ticks, 4, 1, 0);
    ASSERT_GT(watchpoint, 0);
    uint8_t before[4] = {};
    ASSERT_EQ(TOV_MemoryRead(ticks, 0, 4, before), 0);
    outcome = run();
    EXPECT_EQ(outcome.cause, kCauseWatchpoint);
    count = 10;
    ASSERT_EQ(TOV_StateGet(&state, &error, &value, &count, values), 0);
    EXPECT_EQ(values[4], static_cast<uint32_t>(watchpoint));
    uint8_t after[4] = {};
    ASSERT_EQ(TOV_MemoryRead(ticks, 0, 4, after), 0);
    EXPECT_EQ(after[0], static_cast<uint8_t>(before[0] + 1));
    EXPECT_GT(outcome.pc, tick);
    // A step with the watchpoint still set executes exactly the next instruction: the store
    // is not carried out again.
    ASSERT_EQ(TOV_TargetStep(0, 0, 1, &stepped), 0);
    EXPECT_NE(stepped, outcome.pc);
    count = 10;
    ASSERT_EQ(TOV_StateGet(&state, &error, &value, &count, values), 0);
    EXPECT_EQ(values[0], kCauseStep);
    uint8_t stepped_over[4] = {};
    ASSERT_EQ(TOV_MemoryRead(ticks, 0, 4, stepped_over), 0);
    EXPECT_EQ(stepped_over[0], after[0]);
    ASSERT_EQ(TOV_WatchDelete(watchpoint), 0);

    // Running freely, the core keeps answering: memory reads see the counter move.
    ASSERT_EQ(TOV_TargetStart(), 0);
    uint32_t first = 0, second = 0;
    ASSERT_EQ(TOV_GetLong(ticks, &first), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(TOV_GetLong(ticks, &second), 0);
    EXPECT_NE(first, second);
    ASSERT_EQ(TOV_TargetHalt(), 0);

    // A stop raised from another thread halts the running loop.
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop_ = true;
    });
    outcome = run();
    stopper.join();
    EXPECT_EQ(outcome.error, 0);
    EXPECT_EQ(outcome.state, 1);
    EXPECT_EQ(outcome.cause, kCauseHalt);
    EXPECT_FALSE(outcome.timedOut);
}

// The library's own run-and-serve call as a C program makes it: the console through callbacks,
// a poll that stops a program that never ends, and the flags it does not know refused.
TEST_P(ArmCore, RunSemihostedServesTheConsoleThroughCallbacks) {
    struct Io {
        std::string in = "Ada\n", out;
        int polls = 0;
    } io;
    TOV_ConsoleCallbacks console{[](const char* data, uint32_t n, void* user) {
                                     static_cast<Io*>(user)->out.append(data, n);
                                     return static_cast<int32_t>(n);
                                 },
                                 [](char* buffer, uint32_t size, void* user) {
                                     std::string& in = static_cast<Io*>(user)->in;
                                     const size_t n = std::min<size_t>(size, in.size());
                                     in.copy(buffer, n);
                                     in.erase(0, n);
                                     return static_cast<int32_t>(n);
                                 },
                                 nullptr, &io};
    load(program("console_read"));
    TOV_RunResult result{};
    ASSERT_EQ(TOV_RunSemihosted(&console, nullptr, nullptr, 30000, 0, &result), 0);
    EXPECT_EQ(result.end, TOV_RUN_EXITED);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(io.out, "name? echo: Ada\n");

    load(program("busy_loop"));
    console.poll = [](void* user) {
        return static_cast<int32_t>(++static_cast<Io*>(user)->polls > 20);
    };
    ASSERT_EQ(TOV_RunSemihosted(&console, nullptr, nullptr, 30000, 0, &result), 0);
    EXPECT_EQ(result.end, TOV_RUN_STOPPED);
    EXPECT_EQ(result.state, 1);
    EXPECT_EQ(pc(), result.pc);
    EXPECT_EQ(TOV_RunSemihosted(&console, nullptr, nullptr, 0, 0x80, &result), -1202);
}

INSTANTIATE_TEST_SUITE_P(States, ArmCore, ::testing::Values("arm", "thumb"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace tov::test
