// The RDI library's semihosting settings through rdihost on the emulated core: a program kept
// inside its root, host commands refused, the heap info answer, and host files closed (and so
// written out) when the debugger closes the agent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "tests/semihost/root_matrix.h"
#include "tests/support/sim_fixture.h"

namespace tov::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kRdihost = std::string(TOV_BIN_DIR) + "/rdihost";
const std::string kPrograms = std::string(TOV_ARM_PROGRAMS_DIR);

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls `done` for up to 20 s.
template <typename Done>
bool eventually(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class RdihostFiles : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimOptions options;
        options.core = sim::CoreKind::Arm1136;
        options.udpAddress = address_;
        sim_ = std::make_unique<test::SimOnPty>(options);
        ASSERT_TRUE(sim_->started());
        base_ = fs::path(::testing::TempDir()) / ("rdihost_files_" + std::to_string(getpid()));
        fs::remove_all(base_);
        fs::create_directories(root());
    }
    void TearDown() override { fs::remove_all(base_); }

    fs::path root() const { return base_ / "tree" / "root"; }
    void operations(const std::string& lines) const { std::ofstream(root() / "ops.txt") << lines; }
    // rdihost's options: the simulator, the root and the given keys.
    std::vector<std::string> config(const std::vector<std::string>& keys) const {
        std::vector<std::string> all = {"--config", "SERIALPORT=0",
                                        "--config", "ETHERNETTARGET=" + address_,
                                        "--config", "SEMIHOSTINGROOT=" + root().string()};
        for (const std::string& key : keys) all.insert(all.end(), {"--config", key});
        return all;
    }
    static std::string load(const std::string& program) {
        return "load " + kPrograms + "/" + program + ".srec";
    }
    ProcessResult run(const std::string& program, const std::vector<std::string>& keys) {
        std::vector<std::string> all = config(keys);
        all.insert(all.end(), {"-e", load(program), "-e", "run"});
        return runProcess(kRdihost, all);
    }

    // Each test runs in its own process: the process id makes an address no concurrent test
    // has (pids stay below 2^22).
    const std::string address_ = "127." + std::to_string(128 + (getpid() >> 16)) + "." +
                                 std::to_string((getpid() >> 8) & 0xFF) + "." +
                                 std::to_string(getpid() & 0xFF);
    fs::path base_;
    std::unique_ptr<test::SimOnPty> sim_;
};

TEST_F(RdihostFiles, TheRootKeepsTheProgramInsideAndHostCommandsCanBeRefused) {
    test::RootLayout layout(base_ / "tree");
    std::string lines;
    for (const test::RootCase& c : layout.cases()) lines += c.line() + "\n";
    operations(lines + "system true\n");
    const std::string before = layout.outside();

    const ProcessResult confined = run("file_ops_arm", {"SEMIHOSTINGSYSTEM=0"});
    for (const test::RootCase& c : layout.cases()) {
        EXPECT_NE(confined.out.find(c.line() + (c.inside ? ": ok\n" : ": refused\n")),
                  std::string::npos)
            << c.line() << "\n"
            << confined.out << confined.err;
    }
    EXPECT_NE(confined.out.find("system true: -1\n"), std::string::npos) << confined.out;
    EXPECT_EQ(layout.outside(), before);
    EXPECT_TRUE(layout.insideDone());

    // By default the library runs the program's host commands.
    operations("system true\n");
    const ProcessResult served = run("file_ops_arm", {});
    EXPECT_NE(served.out.find("system true: 0\n"), std::string::npos) << served.out << served.err;
}

TEST_F(RdihostFiles, TheHeapKeyGivesAProgramHighInMemoryItsHeap) {
    operations("write made.txt\n");
    // The answer derived from the top of memory (0x80000) leaves no room above the data.
    const ProcessResult without = run("file_ops_far_arm", {});
    EXPECT_NE(without.out.find("no ops.txt"), std::string::npos) << without.out << without.err;
    const ProcessResult with =
        run("file_ops_far_arm", {"SEMIHOSTINGHEAP=0,0x300000,0x400000,0x300000"});
    EXPECT_NE(with.out.find("write made.txt: ok\n"), std::string::npos) << with.out << with.err;
    EXPECT_EQ(readAll(root() / "made.txt"), "written\n");
    // A text that is not four numbers refuses the open, naming the key.
    const ProcessResult bad = run("file_ops_far_arm", {"SEMIHOSTINGHEAP=0,0x300000"});
    EXPECT_NE(bad.err.find("### Error: SEMIHOSTINGHEAP: expected BASE,LIMIT,STACKBASE,STACKLIMIT"),
              std::string::npos)
        << bad.err;
}

// The descriptors of process `pid` that lead to `path`.
int descriptorsOf(const std::string& pid, const fs::path& path) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + pid + "/fd", error)) {
        std::error_code unreadable;
        if (fs::read_symlink(entry.path(), unreadable) == path) ++count;
    }
    return count;
}

TEST_F(RdihostFiles, ClosingTheAgentWritesOutAndClosesTheProgramsFiles) {
    operations("hold held.txt\n");
    // rdihost reads its commands from a pipe the test writes, so that it lives on after close.
    const fs::path fifo = base_ / "commands";
    const fs::path out = base_ / "rdihost.out";
    const fs::path pidFile = base_ / "rdihost.pid";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> shell = {"-c", "echo $$ >\"$PIDFILE\"; exec \"$0\" \"$@\" >\"$OUT\"",
                                      kRdihost};
    for (const std::string& arg : config({})) shell.push_back(arg);
    Process rdihost("/bin/sh", shell, {{"OUT", out.string()}, {"PIDFILE", pidFile.string()}},
                    fifo.string());
    const int commands = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(commands, 0);
    const fs::path held = fs::canonical(root()) / "held.txt";
    const std::string start = load("file_ops_arm") + "\nrun --timeout 2\n";
    ASSERT_EQ(::write(commands, start.data(), start.size()), static_cast<ssize_t>(start.size()));

    // Stopped while it holds the file: the file is open and what it wrote is still buffered.
    ASSERT_TRUE(eventually([&] {
        return readAll(out).find("stopped by the user") != std::string::npos;
    })) << readAll(out);
    const std::string pid = readAll(pidFile).substr(0, readAll(pidFile).find('\n'));
    EXPECT_NE(readAll(out).find("hold held.txt: ok"), std::string::npos) << readAll(out);
    EXPECT_EQ(descriptorsOf(pid, held), 1);
    EXPECT_EQ(fs::file_size(held), 0u);

    // Closed, with the debugger still running: the bytes are on disk, no descriptor is left.
    ASSERT_EQ(::write(commands, "close\n", 6), 6);
    EXPECT_TRUE(eventually([&] { return descriptorsOf(pid, held) == 0; }));
    EXPECT_EQ(readAll(held), "written\n");
    EXPECT_TRUE(fs::exists("/proc/" + pid + "/fd"));
    ::close(commands);
    EXPECT_EQ(rdihost.finish().exitCode, 0);
}

}  // namespace
}  // namespace tov::e2e
