// tov without a probe: the error table, the help, bad command lines and a missing device.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process_runner.h"

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

// Keeps the caller's own probe settings out of these runs.
const EnvironmentChanges kNoPort = {{"TOV_PORT", std::nullopt}};

// What the library says about the port the failing runs name.
const std::string kMissingDevice = "/nonexistent/tty: No such file or directory";

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
         {"ping",     "connect",  "errors",     "raw",   "info",       "state", "halt",
          "go",       "reset",    "step",       "regs",  "setreg",     "read",  "write",
          "get8",     "get16",    "get32",      "set8",  "set16",      "set32", "break",
          "breakdel", "watch",    "watchdel",   "cmd",   "term",       "chan",  "load",
          "verify",   "dump",     "flash-type", "erase", "erase-chip", "flash", "probe",
          "update",   "netconfig"}) {
        EXPECT_TRUE(contains(help.out, std::string("\n  ") + command)) << command;
    }

    const ProcessResult nothing = runProcess(kTov, {}, kNoPort);
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_TRUE(contains(nothing.err, "tov: see 'tov --help'"));

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

TEST(TovCli, EveryListedCommandHasItsHelpAndHelpIsOneOfThem) {
    const ProcessResult help = runProcess(kTov, {"help"}, kNoPort);
    ASSERT_EQ(help.exitCode, 0);
    // The command words of the listing: "  NAME ..." lines after "commands:".
    std::vector<std::string> names;
    const size_t listing = help.out.find("\ncommands:\n");
    ASSERT_NE(listing, std::string::npos);
    std::istringstream lines(help.out.substr(listing + 11));
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        if (line.size() > 2 && line[2] != ' ')
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    EXPECT_GT(names.size(), 40u);
    EXPECT_NE(std::find(names.begin(), names.end(), "help"), names.end());
    for (const std::string& name : names) {
        const ProcessResult one = runProcess(kTov, {"help", name}, kNoPort);
        EXPECT_EQ(one.exitCode, 0) << name;
        EXPECT_TRUE(one.out.starts_with("usage: tov [--port TEXT] [--sim [SIMOPTIONS...]] " + name))
            << one.out;
        // cmd passes its words to the probe; a lone --help is still the help.
        EXPECT_EQ(runProcess(kTov, {name, "--help"}, kNoPort).out, one.out) << name;
    }
    const ProcessResult helpHelp = runProcess(kTov, {"help", "help"}, kNoPort);
    EXPECT_TRUE(contains(helpHelp.out, "help [COMMAND]")) << helpHelp.out;
    EXPECT_EQ(runProcess(kTov, {"--help", "help"}, kNoPort).out, helpHelp.out);
    EXPECT_EQ(runProcess(kTov, {"--help"}, kNoPort).out, help.out);

    const ProcessResult unknown = runProcess(kTov, {"help", "bogus"}, kNoPort);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err,
              "tov: unknown command bogus\ntov: see 'tov --help' for the commands and options\n");
    const ProcessResult two = runProcess(kTov, {"help", "load", "dump"}, kNoPort);
    EXPECT_EQ(two.exitCode, 2);
    EXPECT_EQ(two.err,
              "tov: expected help [COMMAND]\ntov: see 'tov help help' for its arguments\n");
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
        EXPECT_TRUE(contains(run.err, "\ntov: see 'tov help " + args.front() + "'")) << shown;
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
        EXPECT_EQ(run.err, "tov: " + args.front() +
                               ": LNK: Communication setup failed (Port busy) (" + kMissingDevice +
                               ")\n");
        EXPECT_TRUE(run.out.empty()) << args.front();
    }
}

// A small S-record file in a private directory, removed with it.
class TovCliFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tov-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        file_ = (dir_ / "image.s19").string();
        std::ofstream(file_) << "S1070000010203FFF3\nS9030000FC\n";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static ProcessResult tov(const std::vector<std::string>& args,
                             const std::optional<std::string>& flashType = std::nullopt) {
        std::vector<std::string> full = {"--port", "COM9"};
        full.insert(full.end(), args.begin(), args.end());
        return runProcess(kTov, full,
                          {{"TOV_PORT", std::nullopt},
                           {"TOV_COM9", "/nonexistent/tty"},
                           {"TOV_FLASH_TYPE", flashType}});
    }

    std::filesystem::path dir_;
    std::string file_;
};

TEST_F(TovCliFiles, FileAndFlashCommandsRejectBadArgumentsBeforeTouchingThePort) {
    const std::string setup = "2,0x80000,32,0x20000000";
    const std::vector<std::vector<std::string>> badLines = {
        {"load"},
        {"load", file_, file_},
        {"load", file_, "--offset"},
        {"load", file_, "--offset", "-1"},
        {"load", file_, "--offset", "0x100000000"},
        {"load", file_, "--type", setup},
        {"load", file_, "--fast"},
        {"verify"},
        {"verify", "--offset", "4"},
        {"dump", "0x1000", "64"},
        {"dump", "0x1000", "64", "a", "b"},
        {"dump", "0x1000", "0", file_},
        {"dump", "0x1000", "0x100000000", file_},
        {"dump", "0xFFFFFFFF", "2", file_},
        {"dump", "0x1000", "six", file_},
        {"erase"},
        {"erase", "0x1000"},
        {"erase", "0x1000", "--type"},
        {"erase", "0x1000", "--type", "2,0x80000,32"},
        {"erase", "0x1000", "--type", "2,0x80000,32,0", "--offset", "4"},
        {"erase-chip", "0x1000", "--type", "2,0x80000,24,0"},
        {"erase-chip", "0x1000", "--type", "3,0x80000,32,0"},
        {"erase-chip", "0x100000000", "--type", setup},
        {"flash", file_},
        {"flash", "--type", setup},
        {"flash", file_, "--type", "two,0x80000,32,0"},
        {"flash", file_, "--type", "2,0x80000,128,0"},
        {"flash", file_, "--type", "2,0,32,0"},
        {"flash", file_, "--type", setup, "--sector-size", "0x3000"},
        {"flash", file_, "--type", setup, "--sector-size", "2"},
        {"flash-type", "2", "0x80000", "32"},
        {"flash-type"},
        {"flash-type", "2", "0x80000", "24", "0"},
        {"flash-type", "99", "0x80000", "32", "0"},
        {"flash-type", "2", "0x80000", "32", "0x100000000"},
    };
    for (const std::vector<std::string>& args : badLines) {
        const ProcessResult run = tov(args);
        std::string shown;
        for (const std::string& word : args) shown += word + " ";
        EXPECT_EQ(run.exitCode, 2) << shown << "\n" << run.err;
        EXPECT_TRUE(run.err.starts_with("tov: " + args.front() + ": ")) << shown << run.err;
        EXPECT_TRUE(contains(run.err, "\ntov: see 'tov help " + args.front() + "'")) << shown;
        EXPECT_FALSE(contains(run.err, "Port busy")) << shown;
        EXPECT_TRUE(run.out.empty()) << shown;
    }

    // A refused set-up is told in the library's words, and where it came from.
    const ProcessResult busWidth = tov({"flash-type", "2", "0x80000", "24", "0"});
    EXPECT_TRUE(busWidth.err.starts_with(
        "tov: flash-type: TOV: Invalid function parameter (an unknown flash type, or a bus width"))
        << busWidth.err;
    const ProcessResult option = tov({"erase", "0", "--type", "2,0x80000,24,0"});
    EXPECT_TRUE(option.err.starts_with(
        "tov: erase: --type '2,0x80000,24,0': TOV: Invalid function parameter"))
        << option.err;
    const ProcessResult fromEnvironment = tov({"erase", "0"}, "2,0x80000,24,0");
    EXPECT_EQ(fromEnvironment.exitCode, 2);
    EXPECT_TRUE(fromEnvironment.err.starts_with(
        "tov: erase: $TOV_FLASH_TYPE '2,0x80000,24,0': TOV: Invalid function parameter"))
        << fromEnvironment.err;
    // Set-ups no flash can have are told before the probe is asked.
    EXPECT_TRUE(tov({"flash", file_, "--type", "2,0,32,0"})
                    .err.starts_with("tov: flash: --type '2,0,32,0': the chip size is 0\n"));
    EXPECT_TRUE(tov({"flash", file_, "--type", setup, "--sector-size", "0x3000"})
                    .err.starts_with("tov: flash: --sector-size 0x3000 is not a power of two\n"));
    EXPECT_TRUE(tov({"flash", file_, "--type", setup, "--sector-size", "2"})
                    .err.starts_with("tov: flash: --sector-size 2 is below the bus width of 4 "
                                     "bytes\n"));
    const ProcessResult missing = tov({"flash", file_});
    EXPECT_TRUE(contains(missing.err, "--type TYPE,CHIPSIZE,BUSBITS,WORKSPACE")) << missing.err;
    EXPECT_TRUE(contains(missing.err, "TOV_FLASH_TYPE")) << missing.err;
}

TEST_F(TovCliFiles, FileAndFlashCommandsOpenThePortForAGoodLine) {
    const std::string setup = "2,0x80000,32,0x20000000";
    const std::vector<std::vector<std::string>> goodLines = {
        {"load", file_},
        {"load", "--offset", "0xFFFFFFF0", file_},
        {"verify", file_, "--offset", "16"},
        {"dump", "0xFFFFFFFF", "1", file_},
        {"dump", "0", "0xFFFFFFFF", (dir_ / "new.s19").string()},
        {"erase", "0x10000", "--type", setup},
        {"erase-chip", "0", "--type", "41,0x200000,16,0x1000"},
        {"flash", "--type", "6,0x100000,64,0", file_, "--offset", "0x100"},
    };
    for (const std::vector<std::string>& args : goodLines) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 1) << args.front() << "\n" << run.err;
        EXPECT_EQ(run.err, "tov: " + args.front() +
                               ": LNK: Communication setup failed (Port busy) (" + kMissingDevice +
                               ")\n");
        EXPECT_TRUE(run.out.empty()) << args.front();
    }
    // The set-up may come from the environment; --type wins over it.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"erase-chip", "0x20000000"},
          {"flash", file_},
          {"erase", "0", "--type", setup}}) {
        const ProcessResult run = tov(args, "12,0x40000,16,0x20000000");
        EXPECT_EQ(run.exitCode, 1) << args.front() << "\n" << run.err;
        EXPECT_TRUE(contains(run.err, "(Port busy)")) << run.err;
    }
    const ProcessResult overridden = tov({"erase", "0", "--type", setup}, "bogus");
    EXPECT_EQ(overridden.exitCode, 1) << overridden.err;
}

TEST_F(TovCliFiles, UnreadableFileFailsBeforeConnecting) {
    // The port does not exist: not reaching it shows that the file was checked first.
    const std::string absent = (dir_ / "absent.s19").string();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"load", absent},
                                                 {"verify", absent},
                                                 {"flash", absent, "--type", "2,0x80000,32,0"},
                                                 {"load", dir_.string()}}) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 1) << args.front();
        EXPECT_TRUE(run.err.starts_with("tov: " + args.front() + ": TOV: File access failed (" +
                                        args[1] + ": "))
            << run.err;
        EXPECT_FALSE(contains(run.err, "Port busy")) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST_F(TovCliFiles, FlashTypeDescribesTheSetupWithoutAProbe) {
    const ProcessResult run = tov({"flash-type", "2", "0x80000", "32", "0x20000000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("bus width:   32 bits (4 bytes per access)")) << run.out;
    EXPECT_TRUE(has("chip width:  8 bits")) << run.out;
    EXPECT_TRUE(has("bank mask:   0xFFE00000")) << run.out;
    EXPECT_TRUE(
        has("use:         --type 2,0x80000,32,0x20000000  "
            "(or TOV_FLASH_TYPE=2,0x80000,32,0x20000000)"))
        << run.out;

    // Without numbers it explains the set-up in the environment, the same way.
    const ProcessResult fromEnvironment = tov({"flash-type"}, "2,524288,32,536870912");
    ASSERT_EQ(fromEnvironment.exitCode, 0) << fromEnvironment.err;
    EXPECT_EQ(fromEnvironment.out, run.out);

    // The printed --type text is accepted back.
    const ProcessResult again = tov({"flash-type", "36", "1048576", "64", "0"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(contains(again.out, "--type 36,0x100000,64,0 ")) << again.out;
    EXPECT_TRUE(contains(again.out, "bank mask:   0xFFE00000")) << again.out;
}

TEST_F(TovCliFiles, MaintenanceCommandsCheckTheirArgumentsBeforeTouchingThePort) {
    const std::string dir = dir_.string();
    const std::vector<std::vector<std::string>> badLines = {
        {"probe", "extra"},
        {"update"},
        {"update", dir},
        {"update", dir, "10", "11"},
        {"update", (dir_ / "missing").string(), "10"},
        {"update", file_, "10"},
        {"update", dir, "36"},
        {"update", dir, "-1"},
        {"update", dir, "ARM7"},
        {"update", dir, ""},
        {"update", dir, "10", "--mode", "4"},
        {"update", dir, "10", "--mode", "-1"},
        {"update", dir, "10", "--mode"},
        {"update", dir, "10", "--mode", "x"},
        {"update", dir, "10", "--force"},
        {"netconfig"},
        {"netconfig", "192.168.1.1", "255.255.255.0"},
        {"netconfig", "192.168.1.1", "255.255.255.0", "-", "x"},
        {"netconfig", "192.168.1.256", "255.255.255.0", "-"},
        {"netconfig", "1.2.3", "255.255.255.0", "-"},
        {"netconfig", "1.2.3.4.5", "255.255.255.0", "-"},
        {"netconfig", "1.2.3.1000", "255.255.255.0", "-"},
        {"netconfig", "0.0.0.0", "255.255.255.0", "-"},
        {"netconfig", "", "255.255.255.0", "-"},
        {"netconfig", "10.0.0.1", "255.255.255.0 ", "-"},
        {"netconfig", "10.0.0.1", "-", "-"},
        {"netconfig", "10.0.0.1", "255.255.255.0", "gateway"},
        {"netconfig", "10.0.0.1", "255.255.255.0", "10.0.0.-1"},
    };
    for (const std::vector<std::string>& args : badLines) {
        const ProcessResult run = tov(args);
        std::string shown;
        for (const std::string& arg : args) shown += "'" + arg + "' ";
        EXPECT_EQ(run.exitCode, 2) << shown << "\n" << run.err;
        EXPECT_TRUE(run.err.starts_with("tov: " + args.front() + ": ")) << shown << run.err;
        EXPECT_TRUE(contains(run.err, "\ntov: see 'tov help " + args.front() + "'")) << shown;
        EXPECT_FALSE(contains(run.err, "Port busy")) << shown;
        EXPECT_TRUE(run.out.empty()) << shown;
    }
    // The reason is named.
    EXPECT_TRUE(
        contains(tov({"update", (dir_ / "missing").string(), "10"}).err, "is not a directory"));
    EXPECT_TRUE(contains(tov({"update", dir, "10", "--mode", "4"}).err, "--mode '4'"));
    EXPECT_TRUE(
        contains(tov({"netconfig", "10.0.0.1", "255.0.0.0", "1.2.3"}).err, "GATEWAY '1.2.3'"));

    // Well-formed lines get as far as the port: family names in any case, a directory with or
    // without its separator, the forms of the dotted texts the probe accepts, no gateway.
    const std::vector<std::vector<std::string>> goodLines = {
        {"probe"},
        {"update", dir, "10"},
        {"update", dir + "/", "arm", "--mode", "3"},
        {"update", "--mode", "1", dir, "HC12"},
        {"update", dir, "MPC8xx/MPC5xx", "--mode", "0x2"},
        {"update", dir, "35"},
        {"netconfig", "192.168.1.1", "255.255.255.0", "-"},
        {"netconfig", "10..0.1", "255.255.255.255", ""},
        {"netconfig", "10.0.0.1", "255.0.0.0", "10.0.0.254"},
    };
    for (const std::vector<std::string>& args : goodLines) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 1) << args.front() << " " << (args.size() > 2 ? args[2] : "");
        EXPECT_EQ(run.err, "tov: " + args.front() +
                               ": LNK: Communication setup failed (Port busy) (" + kMissingDevice +
                               ")\n");
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST(TovCli, MissingDeviceReportsThePortError) {
    const EnvironmentChanges env = {{"TOV_PORT", std::nullopt}, {"TOV_COM9", "/nonexistent/tty"}};
    for (const char* command : {"ping", "connect"}) {
        const ProcessResult run = runProcess(kTov, {"--port", "COM9", command}, env);
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_EQ(run.err, std::string("tov: ") + command +
                               ": LNK: Communication setup failed (Port busy) (" + kMissingDevice +
                               ")\n");
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
    EXPECT_EQ(badText.err,
              "tov: ping: TOV: Invalid function parameter (\"LPT1\" is neither a port "
              "name nor NETWORK; expected COMn [RATE], DEVICEPATH [RATE] or NETWORK "
              "HOST [1|2])\n");
}

}  // namespace
}  // namespace tov::e2e
