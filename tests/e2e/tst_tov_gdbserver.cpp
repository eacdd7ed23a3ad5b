// tov gdbserver on the simulator's emulated core, driven by a real GDB client in batch mode and
// by a scripted client that interrupts a running program.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "gdb/packet.h"
#include "tests/e2e/process_runner.h"
#include "tests/e2e/pty_simulator.h"

// The ARM test programs are built only when the ARM toolchain is there.
#ifndef TOV_ARM_PROGRAMS_DIR
#define TOV_ARM_PROGRAMS_DIR ""
#endif

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

// A client socket to the server on 127.0.0.1:port, or -1 when none answers within 20 s.
int connectTo(int port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

// A server on the emulated core (or on the probe `connection` names), ready for its next client
// once constructed.
class GdbServer {
public:
    explicit GdbServer(int port, const std::vector<std::string>& options = {},
                       std::vector<std::string> connection = {"--sim", "--core", "arm1136"})
        : port_(port) {
        std::vector<std::string> args = std::move(connection);
        args.insert(args.end(), {"gdbserver", "--listen", "127.0.0.1:" + std::to_string(port)});
        args.insert(args.end(), options.begin(), options.end());
        process_ = std::make_unique<Process>(kTov, args,
                                             EnvironmentChanges{{"TOV_FLASH_TYPE", std::nullopt}});
        // A client that only looks leaves the server ready for the next.
        const int fd = connectTo(port);
        ready_ = fd >= 0;
        if (ready_) ::close(fd);
    }
    ~GdbServer() { stop(); }

    bool ready() const { return ready_; }
    int port() const { return port_; }
    ProcessResult stop() {
        if (!process_) return {};
        process_->sendSignal(SIGTERM);
        ProcessResult result = process_->finish();
        process_.reset();
        return result;
    }

private:
    int port_;
    std::unique_ptr<Process> process_;
    bool ready_ = false;
};

std::string program(const std::string& state, const std::string& name = "debug_me") {
    return std::string(TOV_ARM_PROGRAMS_DIR) + "/" + name + "_" + state + ".elf";
}

#ifdef TOV_GDB_CLIENT
ProcessResult runGdb(int port, const std::string& elf, const std::string& commands) {
    const std::string script = ::testing::TempDir() + "gdb_script_" + std::to_string(port);
    std::ofstream(script) << "set pagination off\nset confirm off\n"
                          << "target extended-remote 127.0.0.1:" << port << "\n"
                          << commands;
    return runProcess(TOV_GDB_CLIENT, {"-nx", "-batch", "-x", script, elf});
}

#endif

class GdbSession : public ::testing::TestWithParam<const char*> {};

TEST_P(GdbSession, LoadsBreaksStepsPrintsWatchesAndRunsToTheEnd) {
#ifndef TOV_GDB_CLIENT
    GTEST_SKIP() << "gdb-multiarch is not installed";
#else
    const bool thumb = std::string(GetParam()) == "thumb";
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    GdbServer server(thumb ? 3341 : 3340);
    ASSERT_TRUE(server.ready());
    const ProcessResult gdb = runGdb(server.port(), program(GetParam()),
                                     "load\n"
                                     "break add\n"
                                     "continue\n"
                                     "next\n"
                                     "print doubled\n"
                                     "print total\n"
                                     "info registers\n"
                                     "print/x $pc\n"
                                     "print/x $sp\n"
                                     "watch total\n"
                                     "continue\n"
                                     "delete\n"
                                     "next\n"
                                     "next\n"
                                     "step\n"
                                     "step\n"
                                     "monitor version\n"
                                     "continue\n");
    // GDB writes what the target sends (console and monitor output) on its error stream.
    const std::string out = gdb.out + gdb.err;
    SCOPED_TRACE(out);
    EXPECT_NE(out.find("Breakpoint 1, add (value=1) at"), std::string::npos);
    EXPECT_NE(out.find("debug_me.c:8"), std::string::npos);
    // next moved to the following source line, where the local has its value.
    EXPECT_NE(out.find("9\t    total = total + doubled;"), std::string::npos);
    EXPECT_NE(out.find("$1 = 2"), std::string::npos);
    EXPECT_NE(out.find("$2 = 0"), std::string::npos);
    // info registers shows what the probe reports: the same pc and sp as print.
    std::smatch pc, sp;
    ASSERT_TRUE(std::regex_search(out, pc, std::regex("\\$3 = (0x[0-9a-f]+)")));
    ASSERT_TRUE(std::regex_search(out, sp, std::regex("\\$4 = (0x[0-9a-f]+)")));
    EXPECT_TRUE(std::regex_search(out, std::regex("pc +" + pc[1].str() + " ")));
    EXPECT_TRUE(std::regex_search(out, std::regex("sp +" + sp[1].str() + " ")));
    EXPECT_TRUE(std::regex_search(out, std::regex("cpsr +0x[0-9a-f]+")));
    // The watchpoint stops when the global is written.
    EXPECT_NE(out.find("atchpoint 2: total"), std::string::npos);
    EXPECT_NE(out.find("Old value = 0"), std::string::npos);
    EXPECT_NE(out.find("New value = 2"), std::string::npos);
    // next and step went back to main and into add again.
    EXPECT_NE(out.find("main () at"), std::string::npos);
    EXPECT_NE(out.find("add (value=2) at"), std::string::npos);
    // monitor text reached the probe's command interpreter.
    EXPECT_NE(out.find("firmware"), std::string::npos);
    // The program's own output through semihosting, and its end.
    EXPECT_NE(out.find("sum 12 total 12"), std::string::npos);
    EXPECT_NE(out.find("exited normally"), std::string::npos);
#endif
}

// A scripted client: packets out, the server's replies (console output skipped) back.
class ScriptedClient {
public:
    explicit ScriptedClient(int port) : fd_(connectTo(port)) {}
    ~ScriptedClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool connected() const { return fd_ >= 0; }
    void sendRaw(std::string_view bytes) { ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), ssize_t(bytes.size())); }
    // The next reply packet's payload ("" after 20 s without one).
    std::string request(const std::string& payload) {
        sendRaw(gdb::framePacket(payload));
        return reply();
    }
    std::string reply() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            for (size_t i = 0; i < got_.size(); ++i) {
                if (got_[i].kind != gdb::Incoming::Kind::Packet) continue;
                const std::string payload = got_[i].payload;
                got_.erase(got_.begin(), got_.begin() + static_cast<long>(i) + 1);
                if (payload.starts_with("O") && payload != "OK") break;
                return payload;
            }
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                reader_.feed(std::string_view(buffer, static_cast<size_t>(n)), got_);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return "";
    }

private:
    int fd_;
    gdb::PacketReader reader_{1 << 16};
    std::vector<gdb::Incoming> got_;
};

TEST(GdbServer, InterruptByteHaltsARunningLoopAndJunkIsSurvived) {
    GdbServer server(3343);
    ASSERT_TRUE(server.ready());
    ScriptedClient client(server.port());
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.request("QStartNoAckMode"), "OK");
    EXPECT_EQ(client.request("qSupported:swbreak+").substr(0, 16), "PacketSize=4000;");
    // Junk, a bad checksum and an oversized packet are dropped; the session goes on.
    client.sendRaw(std::string("\x00\xff#zz$m0,4#00", 13) + "$" + std::string(70000, 'x') + "#00");
    EXPECT_EQ(client.request("m8000,4").size(), 8u);
    // "b ." at 0x8000 in ARM state, the PC on it, and run.
    EXPECT_EQ(client.request("M8000,4:feffffea"), "OK");
    EXPECT_EQ(client.request("P10=d3010000"), "OK");
    EXPECT_EQ(client.request("Pf=00800000"), "OK");
    client.sendRaw(gdb::framePacket("c"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    client.sendRaw("\x03");
    EXPECT_EQ(client.reply().substr(0, 3), "T02");
    EXPECT_EQ(client.request("pf"), "00800000");
    // A breakpoint on the loop stops the next run there, reported as a software breakpoint.
    EXPECT_EQ(client.request("Z0,8000,4"), "OK");
    EXPECT_EQ(client.request("c"), "T05swbreak:;");
    EXPECT_EQ(client.request("z0,8000,4"), "OK");
    EXPECT_EQ(client.request("qRcmd," + gdb::toHex("no such command")), "E01");
    EXPECT_EQ(client.request("D"), "OK");
}

TEST(GdbServer, SemihostingRootKeepsTheProgramsFilesInside) {
#ifndef TOV_GDB_CLIENT
    GTEST_SKIP() << "gdb-multiarch is not installed";
#else
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    namespace fs = std::filesystem;
    const fs::path base = fs::path(::testing::TempDir()) / "gdb_root";
    fs::remove_all(base);
    fs::create_directories(base / "root");
    GdbServer server(3344, {"--semihosting-root", (base / "root").string(),
                            "--no-semihosting-system"});
    ASSERT_TRUE(server.ready());
    const ProcessResult gdb = runGdb(server.port(), program("arm", "escape"), "load\ncontinue\n");
    const std::string out = gdb.out + gdb.err;
    EXPECT_NE(out.find("up refused, passwd refused, inside opened"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(base / "outside"));
    EXPECT_TRUE(fs::exists(base / "root" / "inside.txt"));
    fs::remove_all(base);
#endif
}

TEST(GdbServer, LoadErasesAndProgramsTheFlashBankAndWritesRam) {
#ifndef TOV_GDB_CLIENT
    GTEST_SKIP() << "gdb-multiarch is not installed";
#else
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    // The set-up of the tov flash tests: the simulator's default bank of four byte-wide type-2
    // chips on a 32-bit bus at 0x20000000, in 256-KiB sectors; erasing the fifth one fails.
    const std::string setup = "2,0x80000,32,0x00100000";
    const std::string elf = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_flash.elf";
    PtySimulator sim({"--core", "arm1136", "--flash-fail-erase", "0x20100000"});
    ASSERT_TRUE(sim.ready());
    // Zeros programmed where the program goes: programming it without an erase fails.
    const std::string zeros = (sim.dir() / "zeros.bin").string();
    std::ofstream(zeros, std::ios::binary) << std::string(0x100, '\0');
    ASSERT_EQ(sim.tov({"flash", zeros, "--base", "0x20000000", "--type", setup}).exitCode, 0);
    ASSERT_EQ(sim.tov({"verify", elf}).exitCode, 1);

    GdbServer server(3346, {"--flash-base", "0x20000000", "--type", setup, "--verify"},
                     {"--port", sim.port()});
    ASSERT_TRUE(server.ready());
    // Loaded, the program runs from flash (GDB sets hardware breakpoints there by itself).
    const ProcessResult load =
        runGdb(server.port(), elf, "info mem\nload\nbreak main\ncontinue\ncontinue\n");
    std::string out = load.out + load.err;
    EXPECT_TRUE(
        std::regex_search(out, std::regex("0x20000000 +0x20200000 +flash blocksize 0x40000")))
        << out;
    EXPECT_NE(out.find("Loading section .text, size 0x422c lma 0x20000018"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Loading section .data, size 0x96c lma 0x80000"), std::string::npos) << out;
    EXPECT_NE(out.find("Breakpoint 1, 0x2"), std::string::npos) << out;
    EXPECT_NE(out.find("Hello, world!"), std::string::npos) << out;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;

    // GDB's flash-erase reaches the failing sector: GDB reports the failure; a load again
    // programs the program once more (and rewrites the RAM its run changed).
    const ProcessResult erase = runGdb(server.port(), elf, "flash-erase\n");
    EXPECT_NE(erase.err.find("Error finishing flash operation"), std::string::npos) << erase.err;
    out = runGdb(server.port(), elf, "load\ndetach\n").err;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;

    const ProcessResult served = server.stop();
    EXPECT_NE(served.err.find("tov: gdbserver: erasing at 0x20100000 failed"), std::string::npos)
        << served.err;
    const std::regex pass(
        "gdbserver: flash: \\d+ data bytes at 0x20000000-[^:]*: sectors erased "
        "1, programmed 1, skipped 0, verified in");
    EXPECT_EQ(std::distance(std::sregex_iterator(served.out.begin(), served.out.end(), pass),
                            std::sregex_iterator()),
              2)
        << served.out;
    // The flash and the RAM hold the whole program.
    const ProcessResult verify = sim.tov({"verify", elf});
    EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
#endif
}

INSTANTIATE_TEST_SUITE_P(States, GdbSession, ::testing::Values("arm", "thumb"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace tov::e2e
