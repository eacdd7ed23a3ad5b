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
#include <sstream>
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

// A server on the emulated core (or on the probe `connection` names) on a free loopback port,
// ready for its first client once constructed.
class GdbServer {
public:
    explicit GdbServer(const std::vector<std::string>& options = {},
                       std::vector<std::string> connection = {"--sim", "--core", "arm1136"}) {
        std::vector<std::string> args = std::move(connection);
        args.insert(args.end(), {"gdbserver", "--listen", "0"});
        args.insert(args.end(), options.begin(), options.end());
        process_ = std::make_unique<Process>(kTov, args,
                                             EnvironmentChanges{{"TOV_FLASH_TYPE", std::nullopt}});
        // The ready line names the address and the port the system picked.
        const std::regex ready("gdbserver: listening on [0-9.]+:([0-9]+)\n");
        const std::string out = process_->readOutUntil(ready);
        std::smatch port;
        if (std::regex_search(out, port, ready)) port_ = std::stoi(port[1].str());
    }
    ~GdbServer() { stop(); }

    bool ready() const { return port_ > 0; }
    int port() const { return port_; }
    Process& process() { return *process_; }
    ProcessResult stop(int signal = SIGTERM) {
        if (!process_) return {};
        process_->sendSignal(signal);
        ProcessResult result = process_->finish();
        process_.reset();
        return result;
    }

private:
    int port_ = 0;
    std::unique_ptr<Process> process_;
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
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    GdbServer server;
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
    void sendRaw(std::string_view bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    }
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
    GdbServer server;
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
    GdbServer server({"--semihosting-root", (base / "root").string(), "--no-semihosting-system"});
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

    GdbServer server({"--flash-base", "0x20000000", "--type", setup, "--verify"},
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

#ifdef TOV_GDB_CLIENT
// Counts the matches of a pattern.
long count(const std::string& text, const std::string& pattern) {
    const std::regex re(pattern);
    return std::distance(std::sregex_iterator(text.begin(), text.end(), re),
                         std::sregex_iterator());
}
#endif

// Every example of the README's GDB section, as written there: the server's command line (on a
// free port) and the GDB commands without their comments.
TEST(GdbServer, ReadmeExamplesRunAsWritten) {
#ifndef TOV_GDB_CLIENT
    GTEST_SKIP() << "gdb-multiarch is not installed";
#else
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    std::ifstream file(std::string(TOV_SOURCE_DIR) + "/README.md");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t section = text.find("## Debugging with GDB");
    ASSERT_NE(section, std::string::npos);
    text = text.substr(section, text.find("\n## ", section + 3) - section);
    const std::regex example(
        "```sh\n(tov [^\n#]*?) *(#[^\n]*)?\n```\n\n```\n\\$ gdb-multiarch "
        "build/default/tests/arm_programs/([^\n]+)\n((\\(gdb\\)[^\n]*\n| +#[^\n]*\n)+)```");
    std::vector<std::string> outputs;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), example);
         it != std::sregex_iterator(); ++it) {
        std::vector<std::string> args;
        std::istringstream words((*it)[1].str().substr(4));
        for (std::string word; words >> word;) args.push_back(word);
        const auto listen = std::find(args.begin(), args.end(), "--listen");
        if (listen != args.end()) args.erase(listen, listen + 2);
        const auto command = std::find(args.begin(), args.end(), "gdbserver");
        ASSERT_NE(command, args.end());
        GdbServer server(std::vector<std::string>(command + 1, args.end()),
                         std::vector<std::string>(args.begin(), command));
        ASSERT_TRUE(server.ready());
        std::string commands;
        std::istringstream lines((*it)[4].str());
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("(gdb) ")) continue;  // a comment's second line
            line = line.substr(6, line.find('#') - 6);
            if (line.starts_with("target ")) continue;
            commands += line + "\n";
        }
        const ProcessResult gdb = runGdb(
            server.port(), std::string(TOV_ARM_PROGRAMS_DIR) + "/" + (*it)[3].str(), commands);
        outputs.push_back(gdb.out + gdb.err);
    }
    ASSERT_EQ(outputs.size(), 2u) << text;
    const std::string& debug = outputs[0];
    SCOPED_TRACE(debug);
    EXPECT_NE(debug.find("Breakpoint 1, add (value=1) at"), std::string::npos);
    EXPECT_NE(debug.find("$1 = 2"), std::string::npos);
    EXPECT_TRUE(std::regex_search(debug, std::regex("spsr +0x[0-9a-f]+")));
    EXPECT_NE(debug.find("firmware"), std::string::npos);
    EXPECT_NE(debug.find("halted at 0x"), std::string::npos);
    // After the reset the program runs from its start; run runs it once more.
    EXPECT_EQ(count(debug, "sum 12 total 12"), 2);
    EXPECT_EQ(count(debug, "exited normally"), 2);
    EXPECT_EQ(debug.find("rror"), std::string::npos);
    // The flash example: the map, the load into flash and the hardware breakpoint there.
    EXPECT_NE(outputs[1].find("flash blocksize 0x40000"), std::string::npos) << outputs[1];
    EXPECT_NE(outputs[1].find("Breakpoint 1, 0x2"), std::string::npos) << outputs[1];
    EXPECT_EQ(outputs[1].find("rror"), std::string::npos) << outputs[1];
#endif
}

// Points live as long as the session that set them: gone after kill, after the program's end,
// after a detach and after a client that vanished, so each new session gets every comparator.
// kill and the end of the program leave no process; run starts the program again.
TEST(GdbServer, PointsEndWithTheSessionAndRunRestartsTheProgram) {
#ifndef TOV_GDB_CLIENT
    GTEST_SKIP() << "gdb-multiarch is not installed";
#else
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    GdbServer server;
    ASSERT_TRUE(server.ready());
    const std::string elf = program("arm", "watch_me");
    const std::string fourWatches = "watch origin\nwatch a\nwatch b\nwatch c\n";
    ProcessResult gdb = runGdb(server.port(), elf,
                               "load\n" + fourWatches +
                                   "continue\n"
                                   "kill\n"
                                   "monitor points\n"
                                   "info threads\n"
                                   "run\n"
                                   "delete 2 3 4\n"
                                   "continue\ncontinue\ncontinue\n"
                                   "delete\n"
                                   "continue\n"
                                   "monitor points\n"
                                   "run\n"
                                   "continue\n");
    std::string out = gdb.out + gdb.err;
    // run after kill starts over with the loaded data: a is 10 again when the watch fires.
    EXPECT_EQ(count(out, "Hardware watchpoint 2: a\n\nOld value = 10\nNew value = 1\n"), 2)
        << out;
    EXPECT_EQ(count(out, "no points in the probe"), 2) << out;
    EXPECT_NE(out.find("No threads."), std::string::npos) << out;
    // The 12-byte struct is watched whole: the write to its last member stops the program.
    EXPECT_NE(out.find("Old value = {x = 1, y = 2, z = 9}\nNew value = {x = 1, y = 2, z = 3}"),
              std::string::npos)
        << out;
    // Host commands are refused by default; run after the exit runs the program again.
    EXPECT_EQ(count(out, "origin 1 2 3 system -1"), 2) << out;
    EXPECT_EQ(count(out, "exited normally"), 2) << out;
    EXPECT_NE(out.find("The program is not being run."), std::string::npos) << out;
    EXPECT_EQ(out.find("Could not insert"), std::string::npos) << out;

    // A client that vanishes with points set leaves none behind either.
    {
        ScriptedClient vanishing(server.port());
        ASSERT_TRUE(vanishing.connected());
        for (const char* address : {"80000", "80004", "80008", "8000c"})
            EXPECT_EQ(vanishing.request(std::string("Z2,") + address + ",4"), "OK");
        // 32 bytes across a 1-MiB boundary: no comparator covers them, and the reply says why.
        EXPECT_EQ(vanishing.request("Z2,ffff0,20").substr(0, 27), "E.cannot watch 32 bytes at ");
    }
    gdb = runGdb(server.port(), elf, "load\n" + fourWatches + "continue\ndetach\n");
    out = gdb.out + gdb.err;
    EXPECT_EQ(out.find("Could not insert"), std::string::npos) << out;
    EXPECT_EQ(count(out, "Hardware watchpoint \\d+: a\n\nOld value = 10"), 1) << out;
#endif
}

// A bad or busy --listen is a usage error before the probe hears anything; a server that was
// killed leaves its points, which the next one removes; a second client is turned away at once
// while the first one's session goes on.
TEST(GdbServer, ListenIsCheckedFirstLeftoversAreRemovedAndASecondClientIsTurnedAway) {
    PtySimulator sim({"--core", "arm1136"});
    ASSERT_TRUE(sim.ready());
    const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(busy, 1), 0);
    ASSERT_EQ(::getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const uintmax_t traced = sim.traced();
    for (const std::string& listen :
         {std::string("70000"), "127.0.0.1:" + std::to_string(ntohs(address.sin_port))}) {
        const ProcessResult refused = sim.tov({"gdbserver", "--listen", listen});
        EXPECT_EQ(refused.exitCode, 2) << refused.err;
        EXPECT_NE(refused.err.find("--listen"), std::string::npos) << refused.err;
    }
    ::close(busy);
    EXPECT_EQ(sim.traced(), traced);

    {
        GdbServer first({"--listen", "0.0.0.0:0"}, {"--port", sim.port()});
        ASSERT_TRUE(first.ready());
        ScriptedClient client(first.port());
        EXPECT_EQ(client.request("Z0,8000,4"), "OK");
        EXPECT_EQ(client.request("Z2,80000,c"), "OK");
        const ProcessResult killed = first.stop(SIGKILL);
        EXPECT_NE(killed.out.find("warning: listening on 0.0.0.0:"), std::string::npos)
            << killed.out;
    }
    GdbServer server({}, {"--port", sim.port()});
    ASSERT_TRUE(server.ready());
    ScriptedClient holder(server.port());
    EXPECT_EQ(holder.request("qC"), "QC1");
#ifdef TOV_GDB_CLIENT
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult second = runGdb(server.port(), program("arm", "hello"), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_NE(second.err.find("the probe is in use by the GDB client at 127.0.0.1:"),
              std::string::npos)
        << second.err;
#endif
    EXPECT_EQ(holder.request("m8000,4").size(), 8u);
    EXPECT_EQ(holder.request("D"), "OK");
    const ProcessResult served = server.stop();
    EXPECT_NE(served.out.find("removed 2 points left in the probe"), std::string::npos)
        << served.out;
    EXPECT_NE(served.out.find("gdbserver: refused 127.0.0.1:"), std::string::npos) << served.out;
    EXPECT_EQ(served.out.find("warning"), std::string::npos) << served.out;
}

INSTANTIATE_TEST_SUITE_P(States, GdbSession, ::testing::Values("arm", "thumb"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace tov::e2e
