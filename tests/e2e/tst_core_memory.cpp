// The emulated core over the whole memory, as a user drives it with tov, gdb-multiarch and the
// simulator's second UDP port: a program that sums a 16 MiB table, and a running program that
// answers state requests and memory reads while it runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "process_runner.h"
#include "tests/integration/arm_program.h"
#include "tests/support/sim_fixture.h"

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

class CoreMemory : public ::testing::Test {
protected:
    void start(const std::string& address) {
        port_ = "NETWORK " + address + " 1";
        sim::SimOptions options;
        options.core = sim::CoreKind::Arm1136;
        options.udpAddress = address;
        sim_ = std::make_unique<test::SimOnPty>(options);
        ASSERT_TRUE(sim_->started());
    }
    ProcessResult tov(std::vector<std::string> args, const std::string& port = {}) {
        args.insert(args.begin(), {"--no-progress", "--port", port.empty() ? port_ : port});
        return runProcess(kTov, args);
    }
    // A word of target memory as `tov read` shows it (little-endian bytes).
    uint32_t word(uint32_t address) {
        const ProcessResult read = tov({"read", std::to_string(address), "4"});
        EXPECT_EQ(read.exitCode, 0) << read.err;
        std::smatch m;
        static const std::regex bytes(
            "([0-9A-Fa-f]{2}) ([0-9A-Fa-f]{2}) ([0-9A-Fa-f]{2}) "
            "([0-9A-Fa-f]{2})");
        if (!std::regex_search(read.out, m, bytes)) return 0;
        uint32_t value = 0;
        for (int i = 4; i >= 1; --i) value = value << 8 | std::stoul(m[i].str(), nullptr, 16);
        return value;
    }

    std::string port_;
    std::unique_ptr<test::SimOnPty> sim_;
};

#ifdef TOV_GDB_CLIENT
TEST_F(CoreMemory, ASixteenMebibyteTableLoadedWithTovIsSummedThroughTheGdbServer) {
    start("127.25.25.1");
    const std::string base = std::string(TOV_ARM_PROGRAMS_DIR) + "/sum_table";
    const ProcessResult load = tov({"load", base + ".srec"});
    ASSERT_EQ(load.exitCode, 0) << load.out << load.err;

    // The server takes any free port and says which.
    const std::string dir = ::testing::TempDir() + "core_memory_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string said = dir + "/server";
    Process server("/bin/sh",
                   {"-c", "exec '" + kTov + "' --port '" + port_ +
                              "' gdbserver --listen 127.0.0.1:0 --once >'" + said + "' 2>&1"});
    std::smatch m;
    std::string text;
    static const std::regex listening("listening on [0-9.]+:([0-9]+)");
    for (int i = 0; i < 200 && !std::regex_search(text, m, listening); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(said);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_TRUE(std::regex_search(text, m, listening)) << text;
    const ProcessResult gdb =
        runProcess(TOV_GDB_CLIENT,
                   {"-nx", "-batch", "-ex", "set confirm off", "-ex",
                    "target extended-remote 127.0.0.1:" + m[1].str(), "-ex", "set $cpsr = 0x1d3",
                    "-ex", "set $pc = _start", "-ex", "continue", base + ".elf"});
    server.finish();
    std::filesystem::remove_all(dir);
    // 1/4 of the words hold 1, 1/4 hold 3, the rest 7 but the last, 0x1000.
    EXPECT_NE((gdb.out + gdb.err).find("sum 18878457"), std::string::npos) << gdb.out << gdb.err;
    EXPECT_NE(gdb.out.find("exited normally"), std::string::npos) << gdb.out;

    // The simulator is still there, and its memory still holds the table.
    EXPECT_EQ(tov({"state"}).exitCode, 0);
    EXPECT_EQ(word(0x01FFFFFC), 0x1000u);
}
#endif

TEST_F(CoreMemory, ARunningProgramAnswersStateOnTheSecondPortAndShowsItsWritesAtOnce) {
    start("127.25.25.2");
    const test::ArmProgram program("busy_loop", "arm");
    ASSERT_EQ(tov({"load", program.srecords()}).exitCode, 0);
    const std::optional<uint32_t> ticks = program.symbol("ticks");
    const std::optional<uint32_t> main = program.symbol("main");
    ASSERT_TRUE(ticks && main);
    // Straight into main: the start-up code's semihosting calls would need a host to serve them.
    std::ostringstream pc;
    pc << "600:15=" << *main;
    ASSERT_EQ(tov({"setreg", "601:0=0x1D3", pc.str(), "600:13=0x80000"}).exitCode, 0);
    ASSERT_EQ(tov({"go"}).exitCode, 0);

    const std::string second = "NETWORK 127.25.25.2 2";
    const ProcessResult state = tov({"state"}, second);
    EXPECT_EQ(state.exitCode, 0) << state.err;
    EXPECT_NE(state.out.find("state:  RUNNING"), std::string::npos) << state.out;
    // The core writes the counter in the very memory the link reads.
    const uint32_t first = word(*ticks);
    uint32_t later = first;
    for (int i = 0; i < 50 && later == first; ++i) later = word(*ticks);
    EXPECT_NE(later, first);

    ASSERT_EQ(tov({"halt"}, second).exitCode, 0);
    const ProcessResult halted = tov({"state"});
    EXPECT_NE(halted.out.find("state:  READY"), std::string::npos) << halted.out;
}

}  // namespace
}  // namespace tov::e2e
