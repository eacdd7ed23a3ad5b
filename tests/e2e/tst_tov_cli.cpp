// tov without a probe: the error table, the help, bad command lines and a missing device.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "process_runner.h"

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

// Keeps the caller's own probe settings out of these runs.
const EnvironmentChanges kNoPort = {{"TOV_PORT", std::nullopt}};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(TovCli, ErrorsListsEveryCodeOnceInDescendingOrder) {
    const ProcessResult run = runProcess(kTov, {"errors"}, kNoPort);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 87u);
    EXPECT_EQ(lines.front(), "0 Okay");
    EXPECT_EQ(lines.back(), "-2207 Direct Cmd: Execution failed");

    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("-1203 TOV: TOV not connected"));
    EXPECT_TRUE(has("-1001 LNK: Communication setup failed (Port busy)"));
    EXPECT_TRUE(has("-2006 BDM: Wrong target state for requested command "));
    EXPECT_TRUE(has("-2077 JTAG: JTAG lockout recovery faild"));

    std::set<int> codes;
    int previous = 1;
    for (const std::string& line : lines) {
        size_t used = 0;
        const int code = std::stoi(line, &used);
        ASSERT_EQ(line[used], ' ') << line;
        EXPECT_LT(code, previous) << line;
        EXPECT_FALSE(contains(line, "Unknown error number")) << line;
        codes.insert(code);
        previous = code;
    }
    EXPECT_EQ(codes.size(), 87u);
}

TEST(TovCli, HelpAndBadCommandLines) {
    const ProcessResult help = runProcess(kTov, {"--help"}, kNoPort);
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command :
         {"ping",     "connect", "errors",   "raw",  "info",   "state", "halt",
          "go",       "reset",   "step",     "regs", "setreg", "read",  "write",
          "get8",     "get16",   "get32",    "set8", "set16",  "set32", "break",
          "breakdel", "watch",   "watchdel", "cmd",  "term",   "chan"}) {
        EXPECT_TRUE(contains(help.out, std::string("\n  ") + command)) << command;
    }

    const ProcessResult nothing = runProcess(kTov, {}, kNoPort);
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_TRUE(contains(nothing.err, "usage: tov"));

    const ProcessResult noPort = runProcess(kTov, {"ping"}, kNoPort);
    EXPECT_EQ(noPort.exitCode, 2);
    EXPECT_TRUE(contains(noPort.err, "no probe port"));
    EXPECT_TRUE(noPort.out.empty());

    EXPECT_EQ(runProcess(kTov, {"--port", "COM1", "bogus"}, kNoPort).exitCode, 2);
    EXPECT_EQ(runProcess(kTov, {"--port"}, kNoPort).exitCode, 2);
    EXPECT_EQ(runProcess(kTov, {"--loader", "ping"}, kNoPort).exitCode, 2);
    EXPECT_EQ(runProcess(kTov, {"--sim", "--serial", "/tmp/x", "ping"}, kNoPort).exitCode, 2);
    EXPECT_EQ(runProcess(kTov, {"--sim", "--rate"}, kNoPort).exitCode, 2);
}

TEST(TovCli, RawRejectsBadHexBeforeTouchingThePort) {
    // The port does not exist: only a usage failure (2) shows that the bytes were refused first.
    const EnvironmentChanges env = {{"TOV_PORT", std::nullopt}, {"TOV_COM9", "/nonexistent/tty"}};
    for (const std::vector<std::string>& args : {std::vector<std::string>{"raw"},
                                                 {"raw", "B"},
                                                 {"raw", "B8", "123"},
                                                 {"raw", "G0"},
                                                 {"raw", "0x"},
                                                 {"raw", "--wait"},
                                                 {"raw", "--wait", "soon", "B8"}}) {
        std::vector<std::string> full = {"--port", "COM9"};
        full.insert(full.end(), args.begin(), args.end());
        const ProcessResult run = runProcess(kTov, full, env);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_TRUE(contains(run.err, "tov: raw: ")) << run.err;
    }
}

TEST(TovCli, TargetCommandsRejectBadArgumentsBeforeTouchingThePort) {
    // As for raw: the port does not exist, so exit 2 means the line was refused before opening.
    const EnvironmentChanges env = {{"TOV_PORT", std::nullopt}, {"TOV_COM9", "/nonexistent/tty"}};
    const std::vector<std::vector<std::string>> badLines = {
        {"info", "extra"},
        {"state", "1"},
        {"halt", "now"},
        {"reset", "0x10000"},
        {"reset", "-1"},
        {"step", "0", "0"},
        {"step", "0", "0", "65536"},
        {"step", "0x", "0", "1"},
        {"regs"},
        {"regs", "601"},
        {"regs", "601:x"},
        {"regs", "70000:0"},
        {"regs", "601:0", ":1"},
        {"setreg", "603:0"},
        {"setreg", "603:0=0x100000000"},
        {"read", "0x2000"},
        {"read", "0xZZ", "8"},
        {"read", "0x2000", "8", "9"},
        {"read", "0x100000000", "1"},
        {"read", "0xFFFFFFFF", "2"},
        {"read", "0x2000", "0"},
        {"read", "0x2000", "8", "--access"},
        {"read", "0x2000", "8", "--access", "0x10000"},
        {"read", "1e3", "8"},
        {"write", "0x2000"},
        {"write", "0x2000", "ABC"},
        {"write", "0x2000", "GG"},
        {"write", "0xFFFFFFFE", "010203"},
        {"get8"},
        {"get16", "0x2000", "0x2002"},
        {"get32", " 0x2000"},
        {"set8", "0x2000", "256"},
        {"set16", "0x2000", "0x10000"},
        {"set32", "0x2000"},
        {"break"},
        {"break", "0x100", "1", "2"},
        {"breakdel", "65536"},
        {"breakdel", "-1"},
        {"watch"},
        {"watch", "0x100", "--size", "3"},
        {"watch", "0x100", "--size"},
        {"watch", "0x100", "--size", "2", "--mask", "0xFF"},
        {"watch", "0x100", "0x200"},
        {"watch", "0x100", "--often"},
        {"watchdel", "x"},
        {"cmd"},
        {"cmd", std::string(1024, 'a')},
        {"term", "--now"},
        {"chan"},
        {"chan", "read", "1"},
        {"chan", "read", "1", "0"},
        {"chan", "read", "1", "65536"},
        {"chan", "write", "1"},
        {"chan", "write", "70000", "00"},
        {"chan", "peek", "1", "1"},
    };
    for (const std::vector<std::string>& args : badLines) {
        std::vector<std::string> full = {"--port", "COM9"};
        full.insert(full.end(), args.begin(), args.end());
        const ProcessResult run = runProcess(kTov, full, env);
        const std::string shown = args.front() + " " + (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(run.exitCode, 2) << shown << "\n" << run.err;
        EXPECT_TRUE(run.err.starts_with("tov: " + args.front() + ": ")) << shown << run.err;
        EXPECT_TRUE(contains(run.err, "usage: tov")) << shown;
        EXPECT_FALSE(contains(run.err, "Port busy")) << shown;
        EXPECT_TRUE(run.out.empty()) << shown;
    }
}

TEST(TovCli, TargetCommandsOpenThePortForAGoodLine) {
    // Well-formed lines get as far as the port, which fails here: exit 1 with the link's text.
    const EnvironmentChanges env = {{"TOV_PORT", std::nullopt}, {"TOV_COM9", "/nonexistent/tty"}};
    const std::vector<std::vector<std::string>> goodLines = {
        {"info"},
        {"state"},
        {"reset", "0xFFFF"},
        {"step", "4294967295", "0", "0xFFFF"},
        {"regs", "601:0", "0x258:15"},
        {"setreg", "603:0=0xFFFFFFFF"},
        {"read", "0xFFFFFFFF", "1", "--access", "2"},
        {"write", "0x2000", "DEADBEEF", "0x0102"},
        {"set8", "0", "0xFF"},
        {"watch", "0x100", "--mask", "0xFFFFFF00", "--write"},
        {"breakdel", "65535"},
        {"cmd", "help", "me"},
        {"chan", "write", "3", "00FF"},
    };
    for (const std::vector<std::string>& args : goodLines) {
        std::vector<std::string> full = {"--port", "COM9"};
        full.insert(full.end(), args.begin(), args.end());
        const ProcessResult run = runProcess(kTov, full, env);
        EXPECT_EQ(run.exitCode, 1) << args.front();
        EXPECT_EQ(run.err,
                  "tov: " + args.front() + ": LNK: Communication setup failed (Port busy)\n");
        EXPECT_TRUE(run.out.empty()) << args.front();
    }
}

TEST(TovCli, MissingDeviceReportsThePortError) {
    const EnvironmentChanges env = {{"TOV_PORT", std::nullopt}, {"TOV_COM9", "/nonexistent/tty"}};
    for (const char* command : {"ping", "connect"}) {
        const ProcessResult run = runProcess(kTov, {"--port", "COM9", command}, env);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(run.err, std::string("tov: ") + command +
                               ": LNK: Communication setup failed (Port busy)\n");
        EXPECT_TRUE(run.out.empty());
    }
    const ProcessResult raw = runProcess(kTov, {"--port", "COM9", "raw", "B8", "00001000"}, env);
    EXPECT_EQ(raw.exitCode, 1);
    EXPECT_TRUE(contains(raw.err, "tov: raw: LNK: Communication setup failed (Port busy)"));

    // The port text may also come from the environment.
    const EnvironmentChanges fromEnv = {{"TOV_PORT", "COM9 57600"},
                                        {"TOV_COM9", "/nonexistent/tty"}};
    const ProcessResult viaEnv = runProcess(kTov, {"ping"}, fromEnv);
    EXPECT_EQ(viaEnv.exitCode, 1);
    EXPECT_TRUE(contains(viaEnv.err, "(Port busy)"));

    const ProcessResult badText = runProcess(kTov, {"--port", "LPT1", "ping"}, kNoPort);
    EXPECT_EQ(badText.exitCode, 1);
    EXPECT_EQ(badText.err, "tov: ping: TOV: Invalid function parameter\n");
}

}  // namespace
}  // namespace tov::e2e
