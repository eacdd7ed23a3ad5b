// tov against the real simulator: rate negotiation, connecting through the loader and a raw
// memory read, each in a fresh simulator (tov --sim); then the target and maintenance commands,
// run one after another against one simulator that keeps its memory and its own flash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "tests/support/firmware_file.h"
#include "tests/support/jedec_file.h"

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";

// Runs tov with the simulator that was built beside it.
class TovWithSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::string(TOV_BIN_DIR) + "/tovsim")) {
            GTEST_SKIP() << "tovsim is not built";
        }
    }

    static ProcessResult tov(const std::vector<std::string>& args) {
        return runProcess(kTov, args, {{"TOV_PORT", std::nullopt}});
    }
};

TEST_F(TovWithSimulator, PingNegotiatesTheWantedRate) {
    const ProcessResult plain = tov({"--sim", "ping"});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out, "probe answered at 115200 baud\n");

    // The simulator listens at 9600 first, so the host has to find it and switch it.
    const ProcessResult slowStart = tov({"--sim", "--rate", "9600", "ping"});
    EXPECT_EQ(slowStart.exitCode, 0) << slowStart.err;
    EXPECT_EQ(slowStart.out, "probe answered at 115200 baud\n");

    // With --port the rate word of the port text is the wanted rate.
    const ProcessResult wanted = tov({"--sim", "--port", "COM1 57600", "ping"});
    EXPECT_EQ(wanted.exitCode, 0) << wanted.err;
    EXPECT_EQ(wanted.out, "probe answered at 57600 baud\n");
}

TEST_F(TovWithSimulator, ConnectStartsTheFirmwareAlsoFromTheLoader) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--sim", "connect"}, {"--sim", "--loader", "connect"}}) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(run.out.starts_with("connected")) << run.out;
    }
}

TEST_F(TovWithSimulator, ProbeShowsTheLoadersTexts) {
    const ProcessResult run = tov({"--sim", "probe"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The factory TOV-B: serial 12345678, loader 1.03, firmware 1.05 of a family (code 40) that
    // the update's table does not hold, and the network record it is shipped with.
    EXPECT_EQ(run.out,
              "probe:    TOV-B (SN: 12345678)\n"
              "loader:   103\n"
              "firmware: 105\n"
              "logic:    003\n"
              "family:   none the update knows\n"
              "MAC:      02-c1-a5-12-34-56\n"
              "IP:       192.168.1.100\n"
              "mask:     255.255.255.0\n"
              "gateway:  192.168.1.1\n");
    EXPECT_TRUE(run.err.empty()) << run.err;

    const ProcessResult x = tov({"--sim", "--model", "X", "--family", "7", "probe"});
    ASSERT_EQ(x.exitCode, 0) << x.err;
    const std::vector<std::string> lines = splitLines(x.out);
    ASSERT_EQ(lines.size(), 6u) << x.out;
    EXPECT_EQ(lines[0], "probe:    TOV-X");
    EXPECT_EQ(lines[4], "family:   HC12");
    EXPECT_EQ(lines[5], "network:  none on this probe");
}

TEST_F(TovWithSimulator, RawSendsTheBytesAndPrintsTheAnswer) {
    // Memory read of 16 bytes at 0x1000: code, status word and the 16 data bytes come back.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--sim", "raw", "B8", "00001000", "0000", "0010"},
          {"--sim", "raw", "--wait", "100", "b8000010000000", "0x0010"}}) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> lines = splitLines(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        EXPECT_TRUE(lines[0].starts_with("B8 ")) << lines[0];
        EXPECT_EQ(lines[0].size(), 19u * 3 - 1) << lines[0];
    }

    // One byte more than a request may hold is refused by the library, not sent.
    const ProcessResult tooLong = tov({"--sim", "raw", std::string(2 * 1499, '0')});
    EXPECT_EQ(tooLong.exitCode, 1);
    EXPECT_EQ(tooLong.err, "tov: raw: TOV: Invalid function parameter\n");
}

// One simulator on a pty in a private directory for the whole test, so that what one tov run
// writes the next one reads.
class TovWithRunningSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::string(TOV_BIN_DIR) + "/tovsim")) {
            GTEST_SKIP() << "tovsim is not built";
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "tov-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }

    void TearDown() override {
        if (simulator_) {
            simulator_->sendSignal(SIGTERM);
            simulator_->finish();
        }
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }

    // Stops the simulator, which saves a flash file on its way out, and removes its pty link.
    void stopSimulator() {
        if (!simulator_) return;
        simulator_->sendSignal(SIGTERM);
        const ProcessResult end = simulator_->finish();
        EXPECT_EQ(end.exitCode, 0) << end.err;
        simulator_.reset();
        std::error_code ec;
        std::filesystem::remove(dir_ / "tty", ec);
    }

    // Starts the simulator with extra options and waits for its pty to appear.
    void startSimulator(const std::vector<std::string>& options = {}) {
        const std::string tty = (dir_ / "tty").string();
        std::vector<std::string> args = {"--serial", tty};
        args.insert(args.end(), options.begin(), options.end());
        simulator_ = std::make_unique<Process>(std::string(TOV_BIN_DIR) + "/tovsim", args);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(tty)) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the simulator did not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        port_ = tty + " 115200";
    }

    ProcessResult tov(const std::vector<std::string>& args) const {
        std::vector<std::string> full = {"--port", port_};
        full.insert(full.end(), args.begin(), args.end());
        return runProcess(kTov, full, {{"TOV_PORT", std::nullopt}});
    }

    // True when a run failed only because the simulator's firmware answered `request` (hex) with
    // its one-byte "unknown request" message: that request is not simulated yet.
    bool notSimulatedYet(const ProcessResult& run, const std::string& request) const {
        if (run.exitCode != 1 || run.err.find("Invalid response received") == std::string::npos) {
            return false;
        }
        const ProcessResult raw = tov({"raw", request});
        return raw.exitCode == 0 && raw.out == "00\n";
    }

    // True when the simulator's firmware answers the download start request with its one-byte
    // "unknown request" message: loading files is not simulated yet.
    bool downloadNotSimulatedYet() const {
        const ProcessResult raw = tov({"raw", "28", "00"});
        return raw.exitCode == 0 && raw.out == "00\n";
    }

    std::filesystem::path dir_;
    std::unique_ptr<Process> simulator_;
    std::string port_;
};

// The bytes of a hex dump, checked line by line: each line starts at the address where the one
// before it ended.
std::vector<uint8_t> dumpBytes(const std::string& dump, uint32_t firstAddress) {
    std::vector<uint8_t> bytes;
    uint32_t expected = firstAddress;
    for (const std::string& line : splitLines(dump)) {
        EXPECT_GE(line.size(), 10u) << line;
        if (line.size() < 10) break;
        EXPECT_EQ(std::stoul(line.substr(0, 8), nullptr, 16), expected) << line;
        size_t column = 10;
        size_t count = 0;
        for (; count < 16 && column + 2 <= line.size() && line[column] != ' '; ++count) {
            bytes.push_back(static_cast<uint8_t>(std::stoul(line.substr(column, 2), nullptr, 16)));
            column += count == 7 ? 4 : 3;
        }
        expected += static_cast<uint32_t>(count);
    }
    return bytes;
}

TEST_F(TovWithRunningSimulator, WrittenMemoryReadsBack) {
    startSimulator();
    const ProcessResult write = tov({"write", "0x2000", "DEADBEEF01020304"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(write.out, "wrote 8 bytes at 0x00002000\n");
    const ProcessResult read = tov({"read", "0x2000", "8"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, "00002000  DE AD BE EF 01 02 03 04" + std::string(27, ' ') + "........\n");

    // Text shows in the ASCII column; a dump that starts off a line boundary keeps its address.
    ASSERT_EQ(tov({"write", "0x2100", "48656C6C6F", "--access", "1"}).exitCode, 0);
    const ProcessResult text = tov({"read", "0x20FE", "20"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const std::vector<std::string> lines = splitLines(text.out);
    ASSERT_EQ(lines.size(), 2u) << text.out;
    EXPECT_TRUE(lines[0].starts_with("000020FE  ")) << lines[0];
    EXPECT_EQ(lines[0].substr(16, 14), "48 65 6C 6C 6F") << lines[0];
    EXPECT_EQ(lines[0].substr(62, 5), "Hello") << lines[0];
    EXPECT_TRUE(lines[1].starts_with("0000210E  ")) << lines[1];

    // A block longer than one library call takes is split for writing and for reading.
    std::string first;
    std::string second;
    for (int i = 0; i < 40000; ++i) first += i % 2 ? "5A" : "C3";
    for (int i = 0; i < 30001; ++i) second += "7E";
    const ProcessResult big = tov({"write", "0x10000", first, second});
    ASSERT_EQ(big.exitCode, 0) << big.err;
    EXPECT_EQ(big.out, "wrote 70001 bytes at 0x00010000\n");
    const ProcessResult back = tov({"read", "0x10000", "70001"});
    ASSERT_EQ(back.exitCode, 0) << back.err;
    const std::vector<uint8_t> bytes = dumpBytes(back.out, 0x10000);
    ASSERT_EQ(bytes.size(), 70001u);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t expected = i >= 40000 ? 0x7E : (i % 2 ? 0x5A : 0xC3);
        ASSERT_EQ(bytes[i], expected) << "at offset " << i;
    }
}

TEST_F(TovWithRunningSimulator, UnmappedMemoryIsRefused) {
    startSimulator();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"read", "0xFFF00000", "16"},
          {"read", "0xFFEFFFF8", "16"},
          {"write", "0xFFFFFF00", "00"}}) {
        const ProcessResult run = tov(args);
        EXPECT_EQ(run.exitCode, 1) << args[1];
        EXPECT_EQ(run.err, "tov: " + args[0] + ": TOV: Invalid target memory address\n");
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST_F(TovWithRunningSimulator, SingleItemsWrittenReadBack) {
    startSimulator();
    const ProcessResult set32 = tov({"set32", "0x3000", "0x12345678"});
    if (notSimulatedYet(set32, "0700003000"))
        GTEST_SKIP() << "the simulator does not answer yet: single-item requests";
    ASSERT_EQ(set32.exitCode, 0) << set32.err;
    EXPECT_EQ(set32.out, "wrote 0x12345678 at 0x00003000\n");
    ASSERT_EQ(tov({"set16", "0x3004", "0xBEEF"}).exitCode, 0);
    ASSERT_EQ(tov({"set8", "0x3006", "77"}).exitCode, 0);

    EXPECT_EQ(tov({"get32", "0x3000"}).out, "0x12345678\n");
    EXPECT_EQ(tov({"get16", "0x3004"}).out, "0xBEEF\n");
    EXPECT_EQ(tov({"get8", "12294"}).out, "0x4D\n");
}

TEST_F(TovWithRunningSimulator, InfoNamesFamilyAndCpuType) {
    startSimulator({"--family", "40", "--cpu", "0x8821"});
    const ProcessResult known = tov({"info"});
    if (notSimulatedYet(known, "C1"))
        GTEST_SKIP() << "the simulator does not answer yet: probe information request";
    ASSERT_EQ(known.exitCode, 0) << known.err;
    const std::vector<std::string> lines = splitLines(known.out);
    ASSERT_EQ(lines.size(), 4u) << known.out;
    EXPECT_TRUE(std::regex_match(
        lines[0], std::regex(R"(firmware:   V (\d\.\d\d|unknown \(\d+\)) for ARM11)")))
        << lines[0];
    EXPECT_EQ(lines[1], "CPU type:   ARM1136 (0x8821)");
    EXPECT_TRUE(lines[2].starts_with("setup ID:   ")) << lines[2];
    EXPECT_TRUE(lines[3].starts_with("setup time: ")) << lines[3];
}

// Other families and CPU types, each in its own simulator: a code range, and unnamed codes.
class TovInfoNames : public TovWithRunningSimulator,
                     public ::testing::WithParamInterface<std::array<std::string, 4>> {};

TEST_P(TovInfoNames, ShowsTheNamesOrTheNumbers) {
    const auto& [family, cpu, firmwareEnd, cpuLine] = GetParam();
    startSimulator({"--family", family, "--cpu", cpu});
    const ProcessResult run = tov({"info"});
    if (notSimulatedYet(run, "C1")) {
        GTEST_SKIP() << "the simulator does not answer yet: probe information request";
    }
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_TRUE(lines[0].ends_with(firmwareEnd)) << lines[0];
    EXPECT_EQ(lines[1], cpuLine);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TovInfoNames,
    ::testing::Values(std::array<std::string, 4>{"5", "0x8404", " for MPC8xx/MPC5xx",
                                                 "CPU type:   MPC8xx (0x8404)"},
                      std::array<std::string, 4>{"12", "0x03C2", " for unknown target (family 12)",
                                                 "CPU type:   unknown (0x03C2)"}));

TEST_F(TovWithRunningSimulator, StateShowsNameAndValues) {
    startSimulator();
    const ProcessResult run = tov({"state"});
    if (notSimulatedYet(run, "B4"))
        GTEST_SKIP() << "the simulator does not answer yet: target state request";
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_GE(lines.size(), 3u) << run.out;
    const std::regex name(R"(state:  (RESETED|READY|RUNNING|ERROR|UNKNOWN \(\d+\)))");
    EXPECT_TRUE(std::regex_match(lines[0], name)) << lines[0];
    size_t next = 1;
    if (lines[0] == "state:  ERROR") {
        EXPECT_TRUE(lines[next].starts_with("error:  ")) << lines[next];
        ++next;
    }
    ASSERT_GE(lines.size(), next + 2) << run.out;
    EXPECT_TRUE(std::regex_match(lines[next], std::regex("value:  0x[0-9A-F]{8}"))) << lines[next];
    EXPECT_TRUE(std::regex_match(lines[next + 1], std::regex("values:( 0x[0-9A-F]{8})*")))
        << lines[next + 1];
}

TEST_F(TovWithRunningSimulator, RegistersWrittenReadBack) {
    startSimulator();
    const ProcessResult read = tov({"regs", "601:0", "0x258:15"});
    if (notSimulatedYet(read, "B6000102590000"))
        GTEST_SKIP() << "the simulator does not answer yet: register requests";
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const std::vector<std::string> lines = splitLines(read.out);
    ASSERT_EQ(lines.size(), 2u) << read.out;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("601:0 = 0x[0-9A-F]{8}"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("600:15 = 0x[0-9A-F]{8}"))) << lines[1];

    const ProcessResult write = tov({"setreg", "603:0=0x12345678", "603:1=7"});
    ASSERT_EQ(write.exitCode, 0) << write.err;
    EXPECT_EQ(write.out, "603:0 = 0x12345678\n603:1 = 0x00000007\n");
    const ProcessResult back = tov({"regs", "603:1", "603:0"});
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(back.out, "603:1 = 0x00000007\n603:0 = 0x12345678\n");
}

TEST_F(TovWithRunningSimulator, BreakAndWatchPointsAreAddedAndDeleted) {
    startSimulator();
    const ProcessResult added = tov({"break", "0x1000"});
    if (notSimulatedYet(added, "BE0000"))
        GTEST_SKIP() << "the simulator does not answer yet: breakpoint requests";
    ASSERT_EQ(added.exitCode, 0) << added.err;
    std::smatch id;
    ASSERT_TRUE(std::regex_match(added.out, id, std::regex("breakpoint (\\d+)\n"))) << added.out;
    const ProcessResult deleted = tov({"breakdel", id[1].str()});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_EQ(deleted.out, "deleted breakpoint " + id[1].str() + "\n");

    const ProcessResult watch = tov({"watch", "0x2000", "--size", "2", "--write"});
    if (notSimulatedYet(watch, "C00000"))
        GTEST_SKIP() << "the simulator does not answer yet: watchpoint requests";
    ASSERT_EQ(watch.exitCode, 0) << watch.err;
    std::smatch watchId;
    ASSERT_TRUE(std::regex_match(watch.out, watchId, std::regex("watchpoint (\\d+)\n")))
        << watch.out;
    const ProcessResult unwatched = tov({"watchdel", watchId[1].str()});
    EXPECT_EQ(unwatched.exitCode, 0) << unwatched.err;
    EXPECT_EQ(unwatched.out, "deleted watchpoint " + watchId[1].str() + "\n");
}

TEST_F(TovWithRunningSimulator, DirectCommandsTerminalAndChannels) {
    startSimulator();
    const ProcessResult help = tov({"cmd", "help"});
    if (notSimulatedYet(help, "C36800")) {
        GTEST_SKIP() << "the simulator does not answer yet: direct command request";
    }
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_FALSE(help.out.empty());
    EXPECT_TRUE(help.err.empty()) << help.err;

    // A command the interpreter refuses: its status text on stderr, exit 1.
    const ProcessResult bogus = tov({"cmd", "no-such-command"});
    EXPECT_EQ(bogus.exitCode, 1);
    EXPECT_TRUE(bogus.err.starts_with("tov: cmd: Direct Cmd: ")) << bogus.err;

    // Text the target prints waits in the probe until the terminal is read, once.
    ASSERT_EQ(tov({"cmd", "print", "hello", "terminal"}).exitCode, 0);
    const ProcessResult term = tov({"term"});
    EXPECT_EQ(term.exitCode, 0) << term.err;
    EXPECT_NE(term.out.find("hello terminal"), std::string::npos) << term.out;
    EXPECT_EQ(tov({"term"}).out, "");

    // Bytes written to a channel come back from it as a dump.
    const ProcessResult sent = tov({"chan", "write", "2", "48656C6C6F"});
    ASSERT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.out, "accepted 5 of 5 bytes\n");
    const ProcessResult got = tov({"chan", "read", "2", "100"});
    ASSERT_EQ(got.exitCode, 0) << got.err;
    EXPECT_EQ(got.out,
              "received 5 bytes\n00000000  48 65 6C 6C 6F" + std::string(36, ' ') + "Hello\n");
}

// One S-record line: 'S', the type digit, byte count, address, data and checksum, upper case.
std::string srecordLine(char type, uint32_t address, std::span<const uint8_t> data) {
    const size_t addressBytes = type == '3' ? 4 : type == '2' ? 3 : 2;
    std::vector<uint8_t> fields = {static_cast<uint8_t>(addressBytes + data.size() + 1)};
    for (size_t i = addressBytes; i-- > 0;)
        fields.push_back(static_cast<uint8_t>(address >> 8 * i));
    fields.insert(fields.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const uint8_t byte : fields) sum += byte;
    fields.push_back(static_cast<uint8_t>(~sum));
    std::string line = std::string("S") + type;
    char hex[3];
    for (const uint8_t byte : fields) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        line += hex;
    }
    return line + "\n";
}

// An S3 file with a header and an end record around `data` at `address`, 32 bytes a record.
std::string srecordFile(uint32_t address, const std::vector<uint8_t>& data) {
    const uint8_t header[] = {'t', 'e', 's', 't'};
    std::string text = srecordLine('0', 0, header);
    for (size_t at = 0; at < data.size(); at += 32) {
        const size_t piece = std::min<size_t>(32, data.size() - at);
        text += srecordLine('3', static_cast<uint32_t>(address + at),
                            std::span(data).subspan(at, piece));
    }
    return text + "S70500000000FA\n";
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> testImage(size_t size, unsigned seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>((i * 7 + seed) ^ (i >> 8));
    return data;
}

TEST_F(TovWithRunningSimulator, DumpWritesMemoryAsS1Records) {
    startSimulator();
    std::string hex;
    for (int i = 0; i < 64; ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", (i * 37 + 11) & 0xFF);
        hex += byte;
    }
    ASSERT_EQ(tov({"write", "0x1000", hex}).exitCode, 0);

    const std::filesystem::path file = dir_ / "dump.s19";
    const ProcessResult dump = tov({"dump", "0x1000", "64", file.string()});
    ASSERT_EQ(dump.exitCode, 0) << dump.err;
    // No terminal on stderr: no progress bar, nothing at all.
    EXPECT_TRUE(dump.err.empty()) << dump.err;
    EXPECT_TRUE(std::regex_match(dump.out, std::regex("dumped 64 bytes from 0x00001000 to " +
                                                      file.string() + " in \\d+\\.\\d\\d s\n")))
        << dump.out;

    const std::vector<std::string> records = splitLines(readFile(file));
    ASSERT_EQ(records.size(), 2u) << readFile(file);
    std::vector<uint8_t> fromFile;
    for (size_t r = 0; r < records.size(); ++r) {
        const std::string& line = records[r];
        ASSERT_TRUE(std::regex_match(line, std::regex("S1[0-9A-F]+"))) << line;
        ASSERT_EQ(line.size(), 4u + 2 * (2 + 32 + 1)) << line;
        unsigned sum = 0;
        std::vector<uint8_t> fields;
        for (size_t at = 2; at < line.size(); at += 2) {
            fields.push_back(static_cast<uint8_t>(std::stoul(line.substr(at, 2), nullptr, 16)));
            sum += fields.back();
        }
        EXPECT_EQ(fields[0], 35) << line;
        EXPECT_EQ(sum & 0xFF, 0xFFu) << "checksum of " << line;
        EXPECT_EQ((fields[1] << 8) | fields[2], 0x1000 + 32 * static_cast<int>(r)) << line;
        fromFile.insert(fromFile.end(), fields.begin() + 3, fields.end() - 1);
    }
    const ProcessResult read = tov({"read", "0x1000", "64"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(fromFile, dumpBytes(read.out, 0x1000));

    // Memory the target does not have fails in the library's words.
    const ProcessResult refused = tov({"dump", "0xFFF00000", "64", (dir_ / "x.s19").string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err,
              "tov: dump: TOV: Invalid target memory address (reading 64 bytes at "
              "0xFFF00000 failed)\n");
}

TEST_F(TovWithRunningSimulator, LoadedFileVerifiesAndADifferenceIsFound) {
    startSimulator();
    if (downloadNotSimulatedYet()) GTEST_SKIP() << "the simulator does not answer downloads yet";
    // 3000 bytes across the 16-KiB boundary at 0x24000.
    const uint32_t address = 0x23F00;
    const std::vector<uint8_t> image = testImage(3000, 5);
    const std::filesystem::path file = dir_ / "image.s37";
    writeFile(file, srecordFile(address, image));

    const ProcessResult load = tov({"load", file.string()});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_TRUE(load.err.empty()) << load.err;
    EXPECT_TRUE(
        std::regex_match(load.out, std::regex("loaded " + file.string() +
                                              " \\(3000 data bytes at "
                                              "0x00023F00-0x00024AB7\\) in \\d+\\.\\d\\d s\n")))
        << load.out;
    const ProcessResult read = tov({"read", "0x23F00", "3000"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(dumpBytes(read.out, address), image);

    const ProcessResult verify = tov({"verify", file.string()});
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_TRUE(verify.out.starts_with("verified " + file.string() + " (")) << verify.out;

    // The offset moves every record; memory at the new place then verifies with the same offset.
    // The probe is still in verify mode from the run before: the load has to write regardless.
    const ProcessResult moved = tov({"load", file.string(), "--offset", "0x10000"});
    ASSERT_EQ(moved.exitCode, 0) << moved.err;
    EXPECT_NE(moved.out.find(", offset 0x00010000)"), std::string::npos) << moved.out;
    const ProcessResult movedRead = tov({"read", "0x33F00", "3000"});
    EXPECT_EQ(dumpBytes(movedRead.out, address + 0x10000), image);
    EXPECT_EQ(tov({"verify", "--offset", "0x10000", file.string()}).exitCode, 0);

    // One byte changed in the middle of the file: the probe finds the difference.
    std::vector<uint8_t> changed = image;
    changed[1500] ^= 0x40;
    const std::filesystem::path other = dir_ / "changed.s37";
    writeFile(other, srecordFile(address, changed));
    const ProcessResult differs = tov({"verify", other.string()});
    EXPECT_EQ(differs.exitCode, 1);
    EXPECT_TRUE(
        differs.err.starts_with("tov: verify: TOV: Verifying memory failed (first "
                                "difference at 0x000244DC: expected "))
        << differs.err;
    EXPECT_TRUE(differs.out.empty()) << differs.out;
}

// The simulator's first flash bank: four byte-wide 512-KiB chips of command set A (type 2) on a
// 32-bit bus at 0x20000000; the probe's workspace in RAM below it. The second sector of the bank.
constexpr const char* kFlashSetup = "2,0x80000,32,0x00100000";
constexpr uint32_t kFlashSector = 0x20040000;

TEST_F(TovWithRunningSimulator, FlashIsErasedProgrammedAndVerified) {
    startSimulator();
    if (downloadNotSimulatedYet()) GTEST_SKIP() << "the simulator does not answer downloads yet";
    const ProcessResult erase = tov({"erase", "0x20040000", "--type", kFlashSetup});
    ASSERT_EQ(erase.exitCode, 0) << erase.err;
    EXPECT_EQ(erase.out, "erased the flash sector at 0x20040000\n");
    const ProcessResult blank = tov({"read", "0x20040000", "256"});
    ASSERT_EQ(blank.exitCode, 0) << blank.err;
    EXPECT_EQ(dumpBytes(blank.out, kFlashSector), std::vector<uint8_t>(256, 0xFF));

    const std::vector<uint8_t> image = testImage(1200, 9);
    const std::filesystem::path file = dir_ / "flash.s37";
    writeFile(file, srecordFile(kFlashSector, image));
    const ProcessResult flash = tov({"flash", file.string(), "--type", kFlashSetup});
    ASSERT_EQ(flash.exitCode, 0) << flash.err;
    EXPECT_TRUE(flash.err.empty()) << flash.err;
    EXPECT_TRUE(flash.out.starts_with("programmed " + file.string() + " (")) << flash.out;
    const ProcessResult read = tov({"read", "0x20040000", "1200"});
    ASSERT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(dumpBytes(read.out, kFlashSector), image);
    EXPECT_EQ(tov({"verify", file.string()}).exitCode, 0);

    // After programming the probe is left in the flash mode; a load into RAM still writes.
    const std::vector<uint8_t> ram = testImage(100, 3);
    const std::filesystem::path ramFile = dir_ / "ram.s37";
    writeFile(ramFile, srecordFile(0x8000, ram));
    ASSERT_EQ(tov({"flash", file.string(), "--type", kFlashSetup}).exitCode, 0);
    const ProcessResult load = tov({"load", ramFile.string()});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_EQ(dumpBytes(tov({"read", "0x8000", "100"}).out, 0x8000), ram);
}

TEST_F(TovWithRunningSimulator, NetworkConfigurationIsWrittenAndKept) {
    const std::string flashFile = (dir_ / "probe.flash").string();
    startSimulator({"--flash-file", flashFile});
    const ProcessResult written = tov({"netconfig", "192.168.1.1", "255.255.255.0", "-"});
    ASSERT_EQ(written.exitCode, 0) << written.err;
    EXPECT_EQ(written.out,
              "network configuration written: IP 192.168.1.1, mask 255.255.255.0, gateway none\n");
    const std::string shown =
        "MAC:      02-c1-a5-12-34-56\n"
        "IP:       192.168.1.1\n"
        "mask:     255.255.255.0\n"
        "gateway:  255.255.255.255\n";
    const ProcessResult probe = tov({"probe"});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_TRUE(probe.out.ends_with(shown)) << probe.out;

    // Another record replaces it; the dotted texts are written as the probe reads them.
    const ProcessResult other = tov({"netconfig", "10..0.7", "255.0.0.0", "10.0.0.254"});
    ASSERT_EQ(other.exitCode, 0) << other.err;
    EXPECT_EQ(other.out,
              "network configuration written: IP 10.0.0.7, mask 255.0.0.0, gateway 10.0.0.254\n");
    EXPECT_TRUE(
        tov({"probe"}).out.ends_with("IP:       10.0.0.7\n"
                                     "mask:     255.0.0.0\n"
                                     "gateway:  10.0.0.254\n"));

    // The record lives in the probe's flash: a new simulator on the same file still has it,
    // and the firmware starts as before.
    stopSimulator();
    startSimulator({"--flash-file", flashFile});
    const ProcessResult kept = tov({"probe"});
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_TRUE(
        kept.out.ends_with("IP:       10.0.0.7\n"
                           "mask:     255.0.0.0\n"
                           "gateway:  10.0.0.254\n"))
        << kept.out;
    EXPECT_EQ(tov({"connect"}).exitCode, 0);
}

TEST_F(TovWithRunningSimulator, NetworkConfigurationIsRefusedByATovX) {
    startSimulator({"--model", "X"});
    const ProcessResult run = tov({"netconfig", "192.168.1.1", "255.255.255.0", "-"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "tov: netconfig: TOV: Invalid function parameter\n");
    EXPECT_TRUE(run.out.empty()) << run.out;
}

TEST_F(TovWithRunningSimulator, OnChipFlashIsErasedAndProgrammedThroughItsSetUps) {
    startSimulator({"--chip-flash", "0:0x70000", "--flash-fail-erase", "0x60000"});
    const std::string rows = "555:16,0,0x3F9800";
    // Rows in a block of the first half and one of the second.
    const std::filesystem::path file = dir_ / "cmf.s37";
    const std::vector<uint8_t> first = testImage(64, 1);
    const std::vector<uint8_t> second = testImage(100, 2);
    writeFile(file, srecordFile(0x00000040, first) + srecordFile(0x00048010, second));
    const ProcessResult flash = tov({"flash", file.string(), "--type", rows});
    ASSERT_EQ(flash.exitCode, 0) << flash.err;
    EXPECT_EQ(dumpBytes(tov({"read", "0x40", "64"}).out, 0x40), first);
    EXPECT_EQ(dumpBytes(tov({"read", "0x48010", "100"}).out, 0x48010), second);
    EXPECT_EQ(tov({"flash", file.string(), "--offset", "4", "--type", rows}).exitCode, 2);

    // Blocks 0 and 1 are erased, the block at 0x48000 keeps its rows.
    const ProcessResult select = tov({"erase", "0", "--select", "3", "--type", "uc3f:25,0x3F9800"});
    ASSERT_EQ(select.exitCode, 0) << select.err;
    EXPECT_EQ(select.out, "erased the flash blocks selected by 0x00000003 at 0x00000000\n");
    EXPECT_EQ(dumpBytes(tov({"read", "0x40", "64"}).out, 0x40), std::vector<uint8_t>(64, 0xFF));
    EXPECT_EQ(dumpBytes(tov({"read", "0x48010", "100"}).out, 0x48010), second);
    // The whole array holds the block at 0x60000, which is told to fail.
    const ProcessResult failing = tov({"erase-chip", "0", "--type", rows});
    EXPECT_EQ(failing.exitCode, 1);
    EXPECT_NE(failing.err.find("Erasing flash sector failed"), std::string::npos) << failing.err;
}

TEST_F(TovWithRunningSimulator, AutomaticProgrammingJobIsStoredShownAndRemoved) {
    startSimulator({"--model", "A"});
    const std::filesystem::path program = dir_ / "program.s19";
    writeFile(program, srecordFile(0x0200, testImage(40, 5)));
    const ProcessResult store = tov({"autoprog", "9", "--program", program.string(), "--entry",
                                     "1,0x2000,0x33", "--c", "0x1234", "--h", "7"});
    ASSERT_EQ(store.exitCode, 0) << store.err;
    EXPECT_EQ(store.out,
              "stored the automatic programming job (type 9, 1 entries, program image)\n");

    const ProcessResult show = tov({"autoprog-show"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    EXPECT_EQ(show.out,
              "job:          HC12 Auto Prog Setup\n"
              "type:         9\n"
              "line rate:    9600\n"
              "b c d:        0x00 0x1234 0x0000\n"
              "e f g h:      0x00 0x00 0x00 0x07\n"
              "program:      40 bytes of image offset 0x00200-0x00227 (probe flash 0x000C0200)\n"
              "second image: none\n"
              "entries:\n"
              "    0: 0x00000001 0x00002000 0x00000033\n");

    const ProcessResult images = tov({"autoprog-show", "--images"});
    ASSERT_EQ(images.exitCode, 0) << images.err;
    const size_t dump = images.out.find("program image:\n");
    ASSERT_NE(dump, std::string::npos) << images.out;
    EXPECT_EQ(dumpBytes(images.out.substr(dump + 15), 0xC0200), testImage(40, 5));

    ASSERT_EQ(tov({"autoprog-off"}).exitCode, 0);
    EXPECT_EQ(tov({"autoprog-show"}).out, "no automatic programming job stored\n");
}

// The update files for the ARM family on the TOV-B as a user gets them: `tovsim
// --write-update-files` with its default versions, firmware 106 and logic 4.
void writeArmFiles(const std::filesystem::path& dir) {
    const ProcessResult written =
        runProcess(std::string(TOV_BIN_DIR) + "/tovsim",
                   {"--write-update-files", dir.string(), "--family", "10"});
    ASSERT_EQ(written.exitCode, 0) << written.err;
    EXPECT_EQ(written.out, "firmware " + (dir / "TQBARMFW.106").string() + "\nlogic    " +
                               (dir / "ARMJEDQB.004").string() + "\n");
}

TEST_F(TovWithRunningSimulator, UpdateProgramsNewerFilesThatOutliveTheSimulator) {
    // A probe with ARM firmware 1.05 (family index 10) and logic 4003, kept in a flash file.
    const std::string flashFile = (dir_ / "probe.flash").string();
    const std::filesystem::path files = dir_ / "files";  // made by the writer
    writeArmFiles(files);
    startSimulator({"--family", "10", "--flash-file", flashFile});
    const ProcessResult before = tov({"info"});
    ASSERT_EQ(before.exitCode, 0) << before.err;
    EXPECT_TRUE(before.out.starts_with("firmware:   V 1.05 for ARM7/ARM9\n")) << before.out;

    // Both parts are outdated: both are programmed. The directory is given without its '/'.
    const ProcessResult update = tov({"update", files.string(), "ARM"});
    ASSERT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(update.out, "updated TOV-B (SN: 12345678) from " + files.string() +
                              "/ for family 10 (ARM), mode 0\n"
                              "firmware: programmed, version 105 -> 106\n"
                              "logic:    programmed, version 003 -> 004\n"
                              "family:   ARM\n");
    // No terminal on stderr: no progress bar.
    EXPECT_TRUE(update.err.empty()) << update.err;

    // The same files again change nothing; mode 1 programs the firmware anyway.
    const ProcessResult again = tov({"update", files.string() + "/", "10"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("firmware: up to date, version 106\n"
                             "logic:    up to date, version 004\n"),
              std::string::npos)
        << again.out;
    const ProcessResult forced = tov({"update", files.string(), "10", "--mode", "1"});
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_NE(forced.out.find("firmware: programmed, version 106 -> 106\n"
                              "logic:    up to date, version 004\n"),
              std::string::npos)
        << forced.out;

    // A new simulator on the same flash file runs the new firmware and reports the new logic.
    stopSimulator();
    startSimulator({"--flash-file", flashFile});
    const ProcessResult info = tov({"info"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(info.out.starts_with("firmware:   V 1.06 for ARM7/ARM9\n")) << info.out;
    const ProcessResult probe = tov({"probe"});
    ASSERT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NE(probe.out.find("firmware: 106\nlogic:    004\nfamily:   ARM\n"), std::string::npos)
        << probe.out;
}

// Writing update files for what has none, or with versions out of range, is a usage error:
// one line, a hint, exit code 2, and no file.
TEST_F(TovWithRunningSimulator, UpdateFilesTheWriterCannotMakeAreUsageErrors) {
    const std::string tovsim = std::string(TOV_BIN_DIR) + "/tovsim";
    const std::string out = (dir_ / "out").string();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--write-update-files", out, "--family", "12"},
             {"--write-update-files", out, "--model", "A"},
             {"--write-update-files", out, "--firmware-version", "256"},
             {"--write-update-files", out, "--logic-version", "0"},
             {"--write-update-files", out, "--serial", (dir_ / "tty").string()},
             {"--serial", (dir_ / "tty").string(), "--logic-version", "5"}}) {
        const ProcessResult run = runProcess(tovsim, args);
        EXPECT_EQ(run.exitCode, 2) << args[2];
        EXPECT_TRUE(run.out.empty()) << run.out;
        const std::vector<std::string> lines = splitLines(run.err);
        ASSERT_EQ(lines.size(), 2u) << run.err;
        EXPECT_TRUE(lines[0].starts_with("tovsim: ")) << lines[0];
        EXPECT_TRUE(lines[1].starts_with("tovsim: ")) << lines[1];
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(TovWithRunningSimulator, UpdateFailsWithoutFilesSaysWhyAndLeavesTheProbeAsItWas) {
    const std::filesystem::path empty = dir_ / "empty";
    std::filesystem::create_directory(empty);
    startSimulator({"--family", "10"});
    const std::string failed = "tov: update: SETUP: Access to firmware file failed (";
    const ProcessResult none = tov({"update", empty.string(), "10"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.err, failed + "firmware: no TQBARMFW.nnn with nnn from 001 to 255 in " +
                            empty.string() + ")\n");
    EXPECT_TRUE(none.out.empty()) << none.out;

    // A misnamed file is told as refused; a firmware file alone is not enough either.
    test::writeTextFile((empty / "tqbarmfw.000").string(), "S9030000FC\n");
    const ProcessResult misnamed = tov({"update", empty.string(), "10"});
    EXPECT_EQ(misnamed.err, failed + "firmware: no TQBARMFW.nnn with nnn from 001 to 255 in " +
                                empty.string() +
                                "; refused: tqbarmfw.000 (not a version 001 to 255))\n");
    test::writeFirmwareFile(empty.string(), "TQBARMFW", 107, 0xA000, "B", 1024);
    const ProcessResult noLogic = tov({"update", empty.string(), "10"});
    EXPECT_EQ(noLogic.exitCode, 1);
    EXPECT_EQ(noLogic.err,
              "tov: update: SETUP: Access to logic file failed (logic: no "
              "ARMJEDQB.nnn with nnn from 001 to 255 in " +
                  empty.string() + ")\n");

    // The newest firmware file is damaged: its line and fault are named, nothing is programmed.
    ASSERT_EQ(runProcess(std::string(TOV_BIN_DIR) + "/tovsim",
                         {"--write-update-files", empty.string(), "--family", "10",
                          "--firmware-version", "108", "--logic-version", "4"})
                  .exitCode,
              0);
    test::writeTextFile((empty / "TQBARMFW.109").string(), "S1130000\n");
    const ProcessResult damaged = tov({"update", empty.string(), "10"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_TRUE(damaged.err.starts_with(failed + (empty / "TQBARMFW.109").string() + ": line 1: "))
        << damaged.err;
    EXPECT_TRUE(damaged.err.ends_with(" (the newest TQBARMFW.nnn in " + empty.string() + "))\n"))
        << damaged.err;
    EXPECT_TRUE(tov({"info"}).out.starts_with("firmware:   V 1.05 for ARM7/ARM9\n"));
}

// A setup written by tovsetup --transmit is what tov setup-show and tov info read back; with the
// simulator gone the transfer fails with exit code 1.
TEST_F(TovWithRunningSimulator, SetupTransmittedFromTheCommandLineReadsBack) {
    const std::string tovsetup = std::string(TOV_BIN_DIR) + "/tovsetup";
    if (!std::filesystem::exists(tovsetup)) GTEST_SKIP() << "tovsetup is not built";
    const std::string text = (dir_ / "board.txt").string();
    const std::string setup = (dir_ / "board.tov").string();
    std::ofstream(text)
        << "[MODE]\nID         Board 7\nSTARTUP    STOP\nRUNTIME    3000\n\n[INIT]\n"
           "WM32    0x10000000 0x12345678 ;init\nDELAY              100        ;\n";
    ASSERT_EQ(runProcess(tovsetup, {"--import", text, setup}).exitCode, 0);

    startSimulator();
    const ProcessResult sent = runProcess(tovsetup, {"--transmit", setup, "--port", port_});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.err,
              "tovsetup: Connecting to TOV firmware....\n"
              "tovsetup: Writing setup data ....\n"
              "tovsetup: Writing setup data passed\n");
    const ProcessResult shown = tov({"setup-show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    const std::vector<std::string> lines = splitLines(shown.out);
    ASSERT_EQ(lines.size(), 15u) << shown.out;
    EXPECT_EQ(lines[0], "setup ID:     Board 7");
    EXPECT_EQ(lines[2], "line rate:    9600");
    EXPECT_EQ(lines[4], "run time:     3000 ms");
    EXPECT_EQ(lines[6], "startup:      STOP");
    EXPECT_EQ(lines[12], "init entries: 2");
    EXPECT_EQ(lines[13], "     0: WM32   0x10000000 0x12345678");
    EXPECT_EQ(lines[14], "     1: DELAY  0x00000000 0x00000064");
    const ProcessResult info = tov({"info"});
    EXPECT_NE(info.out.find("setup ID:   Board 7"), std::string::npos) << info.out;

    stopSimulator();
    const ProcessResult failed = runProcess(tovsetup, {"--transmit", setup, "--port", port_});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("tovsetup: Transfer failed!\n"), std::string::npos) << failed.err;
}

#ifdef TOV_ARM_PROGRAMS_DIR
// The address of a symbol of an ARM test program, from the symbol table built beside it.
uint32_t armSymbol(const std::string& program, const std::string& name) {
    std::ifstream in(std::string(TOV_ARM_PROGRAMS_DIR) + "/" + program + ".sym");
    std::string address, kind, symbol;
    while (in >> address >> kind >> symbol) {
        if (symbol == name) return static_cast<uint32_t>(std::stoul(address, nullptr, 16));
    }
    ADD_FAILURE() << name << " not in " << program;
    return 0;
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

TEST_F(TovWithRunningSimulator, TheEmulatedCoreRunsALoadedProgramToItsPoints) {
    startSimulator({"--core", "arm1136"});
    const std::string program = std::string(TOV_ARM_PROGRAMS_DIR) + "/busy_loop_arm.srec";
    ASSERT_EQ(tov({"load", program}).exitCode, 0);
    const uint32_t tick = armSymbol("busy_loop_arm", "tick");
    const uint32_t ticks = armSymbol("busy_loop_arm", "ticks");
    // Straight into main, which needs no C library start-up.
    ASSERT_EQ(tov({"setreg", "601:0=0x1D3", "600:13=0x80000",
                   "600:15=" + hex32(armSymbol("busy_loop_arm", "main"))})
                  .exitCode,
              0);
    auto stateValues = [&] {
        const ProcessResult state = tov({"state"});
        EXPECT_EQ(state.exitCode, 0) << state.err;
        EXPECT_NE(state.out.find("READY"), std::string::npos) << state.out;
        const size_t at = state.out.find("values: ");
        return at == std::string::npos ? std::string() : state.out.substr(at + 8, 21);
    };

    ASSERT_EQ(tov({"break", hex32(tick)}).out, "breakpoint 1\n");
    ASSERT_EQ(tov({"go"}).exitCode, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(stateValues(), "0x00000001 " + hex32(tick));
    EXPECT_EQ(tov({"step"}).out, "step result: " + hex32(tick + 4) + "\n");
    ASSERT_EQ(tov({"breakdel", "1"}).exitCode, 0);

    // Without the start-up code nobody cleared the counter.
    ASSERT_EQ(tov({"set32", hex32(ticks), "0"}).exitCode, 0);
    ASSERT_EQ(tov({"watch", hex32(ticks), "--write"}).exitCode, 0);
    ASSERT_EQ(tov({"go"}).exitCode, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(stateValues().substr(0, 10), "0x00000002");
    // Stopped right after the first count was stored (little-endian, as the core stores it).
    EXPECT_EQ(dumpBytes(tov({"read", hex32(ticks), "4"}).out, ticks),
              (std::vector<uint8_t>{1, 0, 0, 0}));
}
#endif

}  // namespace
}  // namespace tov::e2e
