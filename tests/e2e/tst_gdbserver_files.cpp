// tov gdbserver serving a program's host files and console, driven by gdb-multiarch on the
// emulated core: a real program tries every name of the root matrix, and its data lies far above
// 0x7C000 so that it opens files only when the heap info answer leaves it a heap; with
// --semihosting-io gdb the console and the files are GDB's; Ctrl-C stops a console read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/process_runner.h"
#include "tests/semihost/root_matrix.h"

namespace tov::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

TEST(GdbServerFiles, ABadHeapTextOrAFileRootForGdbsFilesIsAUsageError) {
    ProcessResult run = runProcess(kTov, {"--sim", "gdbserver", "--heap", "0,0x200,0x100"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--heap: expected BASE,LIMIT,STACKBASE,STACKLIMIT"), std::string::npos)
        << run.err;
    run = runProcess(kTov, {"--sim", "gdbserver", "--semihosting-io", "gdb", "--semihosting-root",
                            ::testing::TempDir()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--semihosting-root does not apply to --semihosting-io gdb"),
              std::string::npos)
        << run.err;
}

#if defined(TOV_GDB_CLIENT) && defined(TOV_ARM_PROGRAMS_DIR)

const std::string kProgram = std::string(TOV_ARM_PROGRAMS_DIR) + "/file_ops_far_arm.elf";

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The server on a port of the system's choosing, its output kept in files of `dir`, which is its
// working folder; its standard input from the file `input` names (none: the test's).
class Server {
public:
    Server(const fs::path& dir, const std::vector<std::string>& options,
           const std::string& input = {})
        : out_(dir / "server.out"), err_(dir / "server.err") {
        // Not the ready line of a server before.
        fs::remove(out_);
        std::vector<std::string> args = {
            "-c",         "cd \"$DIR\" && exec \"$0\" \"$@\" >\"$OUT\" 2>\"$ERR\"",
            kTov,         "--sim",
            "--core",     "arm1136",
            "gdbserver",  "--listen",
            "127.0.0.1:0"};
        args.insert(args.end(), options.begin(), options.end());
        process_ = std::make_unique<Process>("/bin/sh", args,
                                             EnvironmentChanges{{"DIR", dir.string()},
                                                                {"OUT", out_.string()},
                                                                {"ERR", err_.string()},
                                                                {"TOV_FLASH_TYPE", std::nullopt}},
                                             input);
        const std::regex listening("listening on [^ \\n]*:(\\d+)");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (port_ == 0 && std::chrono::steady_clock::now() < deadline) {
            std::smatch found;
            const std::string text = readAll(out_);
            if (std::regex_search(text, found, listening)) port_ = std::stoi(found[1]);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~Server() { stop(); }

    int port() const { return port_; }
    // Ends the server; what it wrote on both streams.
    std::string stop() {
        if (process_) {
            process_->sendSignal(SIGTERM);
            process_->finish();
            process_.reset();
        }
        return readAll(out_) + readAll(err_);
    }

private:
    fs::path out_;
    fs::path err_;
    std::unique_ptr<Process> process_;
    int port_ = 0;
};

// GDB in `dir` running `commands` on the program, its standard input from `input` (none: the
// test's), both its output streams on one pipe.
std::unique_ptr<Process> startGdb(const Server& server, const fs::path& dir,
                                  const std::string& program, const std::string& commands,
                                  const std::string& input = {}) {
    const fs::path script = dir / "gdb_script";
    std::ofstream(script) << "set pagination off\nset confirm off\n"
                          << "target extended-remote 127.0.0.1:" << server.port() << "\n"
                          << commands;
    return std::make_unique<Process>(
        "/bin/sh",
        std::vector<std::string>{"-c", "cd \"$1\" && exec \"$0\" -nx -batch -x \"$2\" \"$3\" 2>&1",
                                 TOV_GDB_CLIENT, dir.string(), script.string(), program},
        EnvironmentChanges{}, input);
}

// Loads and runs the program to its end in one GDB session; what GDB printed.
std::string runProgram(const Server& server, const fs::path& dir,
                       const std::string& program = kProgram, const std::string& input = {}) {
    return startGdb(server, dir, program, "load\ncontinue\n", input)->finish().out;
}

std::string armProgram(const std::string& name) {
    return std::string(TOV_ARM_PROGRAMS_DIR) + "/" + name + ".elf";
}

// With --semihosting-io gdb the program's console is GDB's and its files are GDB's, named
// relative to GDB's folder: none lands in the server's.
TEST(GdbServerFiles, ConsoleAndFilesGoThroughGdb) {
    const fs::path base = fs::path(::testing::TempDir()) / ("gdb_io_" + std::to_string(getpid()));
    fs::create_directories(base / "server");
    fs::create_directories(base / "gdb");
    Server server(base / "server", {"--semihosting-io", "gdb"});
    ASSERT_NE(server.port(), 0) << server.stop();

    std::ofstream(base / "typed.txt") << "Ada Lovelace\n";
    std::string out = runProgram(server, base / "gdb", armProgram("console_read_arm"),
                                 (base / "typed.txt").string());
    EXPECT_NE(out.find("name? echo: Ada Lovelace\n"), std::string::npos) << out;
    EXPECT_NE(out.find("exited normally"), std::string::npos) << out;

    std::ofstream(base / "gdb" / "ops.txt") << "write made.txt\nread made.txt\n"
                                               "rename made.txt moved.txt\nread made.txt\n"
                                               "write gone.txt\nremove gone.txt\nsystem true\n";
    out = runProgram(server, base / "gdb", kProgram);
    EXPECT_NE(out.find("write made.txt: ok\nread made.txt: ok\nrename made.txt moved.txt: ok\n"
                       "read made.txt: refused\nwrite gone.txt: ok\nremove gone.txt: ok\n"
                       "system true: -1\ndone\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(readAll(base / "gdb" / "moved.txt"), "written\n");
    EXPECT_FALSE(fs::exists(base / "gdb" / "gone.txt"));
    const std::string served = server.stop();
    EXPECT_EQ(std::distance(fs::directory_iterator(base / "server"), fs::directory_iterator()), 2)
        << served;  // server.out and server.err only
    fs::remove_all(base);
}

// Ctrl-C in GDB while the program waits in a console read stops it on the semihosting
// instruction with SIGINT; continue makes the read again, which takes the line typed then. The
// input is the server's own (server) or GDB's (gdb), in ARM and in Thumb state.
class ConsoleInterrupt : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(ConsoleInterrupt, StopsOnTheCallAndContinueRepeatsTheRead) {
    const auto [io, state] = GetParam();
    const fs::path base = fs::path(::testing::TempDir()) /
                          ("gdb_int_" + std::string(io) + "_" + std::to_string(getpid()));
    fs::create_directories(base);
    // Input is a pipe the test writes into only after the stop.
    const std::string fifo = (base / "input").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    const bool serverInput = std::string(io) == "server";
    Server server(base, {"--semihosting-io", io}, serverInput ? fifo : "");
    ASSERT_NE(server.port(), 0) << server.stop();
    const std::unique_ptr<Process> gdb =
        startGdb(server, base, armProgram(std::string("console_read_") + state),
                 "load\ncontinue\nx/i $pc\ncontinue\n", serverInput ? "/dev/null" : fifo);
    gdb->readOutUntil(std::regex("name\\? "));
    // The prompt comes just before the read: give the program the moment to reach it.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    gdb->sendSignal(SIGINT);
    gdb->readOutUntil(std::regex("=> 0x"));
    ASSERT_EQ(::write(writer, "Ada\n", 4), 4);
    const std::string out = gdb->finish().out;
    ::close(writer);
    EXPECT_NE(out.find("name? \nProgram received signal SIGINT, Interrupt."), std::string::npos)
        << out;
    // The PC is back on the call's instruction (SVC in either state with this library).
    EXPECT_TRUE(std::regex_search(out, std::regex("=> 0x[0-9a-f]+ <_read\\+\\d+>:\\s+svc\\s")))
        << out;
    EXPECT_NE(out.find("echo: Ada\n"), std::string::npos) << out;
    EXPECT_NE(out.find("exited normally"), std::string::npos) << out;
    server.stop();
    fs::remove_all(base);
}

INSTANTIATE_TEST_SUITE_P(Modes, ConsoleInterrupt,
                         ::testing::Values(std::pair("server", "arm"), std::pair("gdb", "thumb")),
                         [](const auto& info) {
                             return std::string(info.param.first) + "_" + info.param.second;
                         });

TEST(GdbServerFiles, EveryNameLeadingOutOfTheRootFailsAndNamesInsideWork) {
    const fs::path base =
        fs::path(::testing::TempDir()) / ("gdb_files_" + std::to_string(getpid()));
    test::RootLayout layout(base / "tree");
    std::ofstream ops(layout.root() / "ops.txt");
    for (const test::RootCase& c : layout.cases()) ops << c.line() << '\n';
    ops.close();
    const std::string before = layout.outside();

    // Without --heap: the heap from the program's end, the stack above it.
    Server server(base, {"--semihosting-root", layout.root().string()});
    ASSERT_NE(server.port(), 0) << server.stop();
    const std::string out = runProgram(server, base);
    for (const test::RootCase& c : layout.cases()) {
        EXPECT_NE(out.find(c.line() + (c.inside ? ": ok\n" : ": refused\n")), std::string::npos)
            << c.line() << "\n"
            << out;
    }
    EXPECT_NE(out.find("done\n"), std::string::npos) << out;
    EXPECT_NE(out.find("exited normally"), std::string::npos) << out;
    server.stop();
    EXPECT_EQ(layout.outside(), before);
    EXPECT_TRUE(layout.insideDone());
    fs::remove_all(base);
}

TEST(GdbServerFiles, TheHeapInfoAnswerDecidesWhetherAProgramHighInMemoryHasAHeap) {
    const fs::path base = fs::path(::testing::TempDir()) / ("gdb_heap_" + std::to_string(getpid()));
    fs::create_directories(base / "root");
    std::ofstream(base / "root" / "ops.txt") << "write made.txt\n";
    // The answer that puts the stack at 0x80000, below the program's data: no heap, no FILE.
    {
        Server server(base, {"--semihosting-root", (base / "root").string(), "--heap",
                             "0,0x7C000,0x80000,0x7C000"});
        ASSERT_NE(server.port(), 0) << server.stop();
        const std::string out = runProgram(server, base);
        EXPECT_NE(out.find("no ops.txt"), std::string::npos) << out;
    }
    // Given room above the data, it opens, writes and reports.
    Server server(base, {"--semihosting-root", (base / "root").string(), "--heap",
                         "0,0x300000,0x400000,0x300000"});
    ASSERT_NE(server.port(), 0) << server.stop();
    const std::string out = runProgram(server, base);
    EXPECT_NE(out.find("write made.txt: ok\n"), std::string::npos) << out;
    EXPECT_EQ(readAll(base / "root" / "made.txt"), "written\n");
    fs::remove_all(base);
}

#endif

}  // namespace
}  // namespace tov::e2e
