// tov gdbserver serving a program's host files, driven by gdb-multiarch on the emulated core: a
// real program tries every name of the root matrix, and its data lies far above 0x7C000 so that
// it opens files only when the heap info answer leaves it a heap.
#include <gtest/gtest.h>
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

TEST(GdbServerFiles, ABadHeapTextIsAUsageError) {
    const ProcessResult run = runProcess(kTov, {"--sim", "gdbserver", "--heap", "0,0x200,0x100"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--heap: expected BASE,LIMIT,STACKBASE,STACKLIMIT"), std::string::npos)
        << run.err;
}

#if defined(TOV_GDB_CLIENT) && defined(TOV_ARM_PROGRAMS_DIR)

const std::string kProgram = std::string(TOV_ARM_PROGRAMS_DIR) + "/file_ops_far_arm.elf";

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The server on a port of the system's choosing, its output kept in files of `dir`.
class Server {
public:
    Server(const fs::path& dir, const std::vector<std::string>& options)
        : out_(dir / "server.out"), err_(dir / "server.err") {
        // Not the ready line of a server before.
        fs::remove(out_);
        std::vector<std::string> args = {"-c",         "exec \"$0\" \"$@\" >\"$OUT\" 2>\"$ERR\"",
                                         kTov,         "--sim",
                                         "--core",     "arm1136",
                                         "gdbserver",  "--listen",
                                         "127.0.0.1:0"};
        args.insert(args.end(), options.begin(), options.end());
        process_ = std::make_unique<Process>(
            "/bin/sh", args,
            EnvironmentChanges{
                {"OUT", out_.string()}, {"ERR", err_.string()}, {"TOV_FLASH_TYPE", std::nullopt}});
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

// Loads and runs the program to its end in one GDB session; what GDB printed.
std::string runProgram(const Server& server, const fs::path& dir) {
    const fs::path script = dir / "gdb_script";
    std::ofstream(script) << "set pagination off\nset confirm off\n"
                          << "target extended-remote 127.0.0.1:" << server.port() << "\n"
                          << "load\ncontinue\n";
    const ProcessResult gdb =
        runProcess(TOV_GDB_CLIENT, {"-nx", "-batch", "-x", script.string(), kProgram});
    return gdb.out + gdb.err;
}

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
