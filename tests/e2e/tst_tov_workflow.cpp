// tov as a new user meets it, against one simulator on a pty with a frame trace: the flash
// workflow checked in the trace, summaries in data bytes, errors with their explanation, one-line
// usage errors, per-command help, versions, dumps that keep files, and Ctrl-C during a dump.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_runner.h"
#include "tests/support/firmware_file.h"

namespace tov::e2e {
namespace {

const std::string kTov = std::string(TOV_BIN_DIR) + "/tov";
// Four byte-wide type-2 chips of 512 KiB on a 32-bit bus at 0x20000000: 256-KiB bus sectors.
constexpr const char* kFlashSetup = "2,0x80000,32,0x00100000";

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// S3 records of 32 bytes, made by the test support rather than by the library.
std::string s3File(uint32_t address, const std::vector<uint8_t>& data) {
    return test::sRecordText(3, address, data);
}

// The request codes the host sent in command frames, from the simulator's trace of the serial
// frames.
std::vector<uint8_t> requestCodes(const std::string& trace) {
    std::vector<uint8_t> codes;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find(" host> ");
        if (at == std::string::npos) continue;
        std::istringstream hex(line.substr(at + 7));
        std::vector<uint8_t> wire;
        std::string word;
        while (hex >> word && word.size() == 2)
            wire.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
        // DLE STX, then the payload with doubled DLEs: header, header, request code.
        std::vector<uint8_t> payload;
        for (size_t i = 2; i + 1 < wire.size() && payload.size() < 3; ++i) {
            if (wire[i] == 0x10) ++i;
            payload.push_back(wire[i]);
        }
        // Link-control frames (pings, rate changes) carry no request.
        const bool request = payload.size() == 3 && (payload[0] & 0x30) != 0;
        if (wire.size() > 2 && wire[0] == 0x10 && wire[1] == 0x02 && request)
            codes.push_back(payload[2]);
    }
    return codes;
}

class TovWorkflow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(std::string(TOV_BIN_DIR) + "/tovsim")) {
            GTEST_SKIP() << "tovsim is not built";
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "tov-flow-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        const std::string tty = (dir_ / "tty").string();
        simulator_ = std::make_unique<Process>(
            std::string(TOV_BIN_DIR) + "/tovsim",
            std::vector<std::string>{"--serial", tty, "--trace", (dir_ / "trace").string()});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(tty)) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the simulator did not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        port_ = tty + " 115200";
    }

    void TearDown() override {
        if (simulator_) {
            simulator_->sendSignal(SIGTERM);
            simulator_->finish();
        }
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    ProcessResult tov(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--port", port_});
        return runProcess(kTov, args,
                          {{"TOV_PORT", std::nullopt}, {"TOV_FLASH_TYPE", std::nullopt}});
    }

    // The request codes sent since the last call.
    std::vector<uint8_t> newRequests() {
        const std::string trace = readAll(dir_ / "trace");
        const std::string fresh = trace.substr(std::min(seen_, trace.size()));
        seen_ = trace.size();
        return requestCodes(fresh);
    }

    std::filesystem::path dir_;
    std::unique_ptr<Process> simulator_;
    std::string port_;
    size_t seen_ = 0;
};

bool sends(const std::vector<uint8_t>& codes, std::initializer_list<uint8_t> any) {
    for (uint8_t code : codes) {
        for (uint8_t wanted : any) {
            if (code == wanted) return true;
        }
    }
    return false;
}

// Bus writes of the erase cycles (items and blocks).
constexpr std::initializer_list<uint8_t> kBusWrites = {0x01, 0x02, 0x03, 0xB9};
// Those, Set write mode, Write block, download start and blocks.
constexpr std::initializer_list<uint8_t> kChanging = {0x01, 0x02, 0x03, 0xB9,
                                                      0x8D, 0x85, 0x28, 0x29};

TEST_F(TovWorkflow, FlashErasesWhatTheFileTouchesSkipsWhatIsEqualAndPlansDryRuns) {
    // 600 bytes across the boundary of the bank's first two 256-KiB sectors.
    std::vector<uint8_t> image(600);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 5 + 3);
    const std::filesystem::path file = dir_ / "app.s37";
    std::ofstream(file) << s3File(0x2003FF00, image);
    // Something else programmed over the same place first: programming without erasing fails
    // there and says what to do.
    std::vector<uint8_t> other(image.size(), 0x00);
    const std::filesystem::path zeros = dir_ / "zeros.s37";
    std::ofstream(zeros) << s3File(0x2003FF00, other);
    ASSERT_EQ(tov({"flash", zeros.string(), "--type", kFlashSetup}).exitCode, 0);
    const ProcessResult refused =
        tov({"flash", file.string(), "--type", kFlashSetup, "--erase", "none"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("leave out --erase none"), std::string::npos) << refused.err;

    newRequests();
    const ProcessResult plan = tov({"flash", file.string(), "--type", kFlashSetup, "--dry-run"});
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_EQ(plan.out,
              "flash: dry run, nothing is erased or programmed\n"
              "would erase 2 sectors of 0x40000 bytes: 0x20000000, 0x20040000\n"
              "would program 600 of 600 data bytes at 0x2003FF00-0x20040157\n");
    EXPECT_TRUE(newRequests().empty());

    const ProcessResult flash = tov({"flash", file.string(), "--type", kFlashSetup, "--verify"});
    ASSERT_EQ(flash.exitCode, 0) << flash.err;
    EXPECT_TRUE(std::regex_match(
        flash.out,
        std::regex("programmed " + file.string() +
                   " \\(600 data bytes at 0x2003FF00-0x20040157\\): sectors erased 2, programmed "
                   "2, skipped 0; erase \\d+\\.\\d\\d s, program \\d+\\.\\d\\d s, verify "
                   "\\d+\\.\\d\\d s\n")))
        << flash.out;
    const std::vector<uint8_t> flashed = newRequests();
    EXPECT_TRUE(sends(flashed, kBusWrites));
    EXPECT_TRUE(sends(flashed, {0x29}));

    // The same file again: both sectors read equal, nothing is erased or programmed.
    const ProcessResult again =
        tov({"flash", file.string(), "--type", kFlashSetup, "--skip-unchanged"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.out.find("sectors erased 0, programmed 0, skipped 2"), std::string::npos)
        << again.out;
    const std::vector<uint8_t> compared = newRequests();
    EXPECT_TRUE(sends(compared, {0xB8}));
    EXPECT_FALSE(sends(compared, kChanging)) << ::testing::PrintToString(compared);

    // One byte changed in the second sector: only that sector is erased and programmed; the
    // dry run with the comparison reads but changes nothing.
    image[500] ^= 0xFF;
    std::ofstream(file) << s3File(0x2003FF00, image);
    const ProcessResult changedPlan =
        tov({"flash", file.string(), "--type", kFlashSetup, "--skip-unchanged", "--dry-run"});
    ASSERT_EQ(changedPlan.exitCode, 0) << changedPlan.err;
    EXPECT_NE(changedPlan.out.find("would erase 1 sector of 0x40000 bytes: 0x20040000\n"),
              std::string::npos)
        << changedPlan.out;
    EXPECT_NE(changedPlan.out.find("would program 344 of 600 data bytes"), std::string::npos)
        << changedPlan.out;
    EXPECT_FALSE(sends(newRequests(), kChanging));
    const ProcessResult changed =
        tov({"flash", file.string(), "--type", kFlashSetup, "--skip-unchanged", "--verify"});
    ASSERT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_NE(changed.out.find("sectors erased 1, programmed 1, skipped 1"), std::string::npos)
        << changed.out;
    EXPECT_EQ(tov({"verify", file.string()}).exitCode, 0);
}

TEST_F(TovWorkflow, SummariesCountDataAndFailuresSayWhy) {
    std::vector<uint8_t> data(4096, 0x11);
    const std::filesystem::path file = dir_ / "s4k.s37";
    std::ofstream(file) << s3File(0x4000, data);
    const ProcessResult load = tov({"load", file.string()});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_TRUE(std::regex_match(
        load.out,
        std::regex("loaded " + file.string() +
                   " \\(4096 data bytes at 0x00004000-0x00004FFF\\) in \\d+\\.\\d\\d s\n")))
        << load.out;

    // A difference: the address with the expected and the found bytes.
    ASSERT_EQ(tov({"set8", "0x4010", "0x22"}).exitCode, 0);
    const ProcessResult differs = tov({"verify", file.string()});
    EXPECT_EQ(differs.exitCode, 1);
    EXPECT_EQ(differs.err,
              "tov: verify: TOV: Verifying memory failed (first difference at 0x00004010: expected "
              "11 11 11 11 11 11 11 11, found 22 11 11 11 11 11 11 11)\n"
              "tov: verify: probe error detail 0x00004010\n");

    // A broken file is named with its line before the probe is asked anything.
    std::string text = s3File(0x4000, data);
    text[text.find('\n') + 3] = 'G';
    const std::filesystem::path broken = dir_ / "broken.s37";
    std::ofstream(broken) << text;
    newRequests();
    const ProcessResult bad = tov({"load", broken.string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "tov: load: TOV: File access failed (" + broken.string() +
                           ": line 2: byte count missing or not hexadecimal)\n");
    EXPECT_TRUE(newRequests().empty());

    // A dump that fails leaves the file that was there.
    const std::filesystem::path kept = dir_ / "kept.s19";
    std::ofstream(kept) << "old\n";
    const ProcessResult dump = tov({"dump", "0xFFEFFC00", "0x800", kept.string()});
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_EQ(dump.err,
              "tov: dump: TOV: Invalid target memory address (reading 1024 bytes at "
              "0xFFF00000 failed)\n");
    EXPECT_EQ(readAll(kept), "old\n");
}

TEST_F(TovWorkflow, CtrlCEndsTheBarAndSaysWhatWasInterrupted) {
    Process dump(
        kTov,
        {"--port", port_, "dump", "0", "0x1000000", (dir_ / "big.s37").string(), "--progress"},
        {{"TOV_PORT", std::nullopt}});
    // Interrupt once the dump's reads are flowing, however loaded the machine is.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (requestCodes(readAll(dir_ / "trace")).size() < 12) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the dump did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    dump.sendSignal(SIGINT);
    const ProcessResult run = dump.finish();
    EXPECT_EQ(run.exitCode, 130) << run.err;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(
        run.err, match, std::regex("\ntov: dump: interrupted after (\\d+) of 16777216 bytes\n$")))
        << run.err;
    EXPECT_GT(std::stoull(match[1]), 0u);
    // Neither the dump nor a temporary file of it is left.
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "tty" || name == "trace") << name;
    }
}

TEST_F(TovWorkflow, APortThatGoesAwayMidDumpIsNamedAtOnce) {
    Process dump(kTov, {"--port", port_, "dump", "0", "0x1000000", (dir_ / "gone.s37").string()},
                 {{"TOV_PORT", std::nullopt}});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (requestCodes(readAll(dir_ / "trace")).size() < 12) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the dump did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The simulator's end closes the pty's master side: the probe is unplugged.
    simulator_->sendSignal(SIGKILL);
    simulator_->finish();
    simulator_.reset();
    const ProcessResult run = dump.finish();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(std::regex_match(
        run.err, std::regex("tov: dump: LNK: Asynchronous receive error \\(reading \\d+ bytes at "
                            "0x[0-9A-F]{8} failed: " +
                            (dir_ / "tty").string() + " has gone away \\([^)]+\\)\\)\n")))
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "gone.s37"));
}

TEST(TovCommandLine, HelpVersionsAndOneLineUsageErrors) {
    const EnvironmentChanges noPort = {{"TOV_PORT", std::nullopt}};
    const ProcessResult version = runProcess(kTov, {"--version"}, noPort);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(
        version.out, std::regex("tov \\d+\\.\\d+\\.\\d+ \\(libtovlink \\d+\\.\\d+\\.\\d+\\)\n")))
        << version.out;
    const ProcessResult simVersion =
        runProcess(std::string(TOV_BIN_DIR) + "/tovsim", {"--version"}, noPort);
    EXPECT_EQ(simVersion.exitCode, 0);
    EXPECT_TRUE(simVersion.out.starts_with("tovsim ")) << simVersion.out;
    // The simulator and the debugger stand-in answer a bad line as tov does: one line, a hint.
    const ProcessResult simUsage =
        runProcess(std::string(TOV_BIN_DIR) + "/tovsim", {"--bogus"}, noPort);
    EXPECT_EQ(simUsage.exitCode, 2);
    EXPECT_EQ(simUsage.err,
              "tovsim: unknown option '--bogus'\ntovsim: see 'tovsim --help' for the options\n");
    const ProcessResult rdiUsage =
        runProcess(std::string(TOV_BIN_DIR) + "/rdihost", {"--bogus"}, noPort);
    EXPECT_EQ(rdiUsage.exitCode, 2);
    EXPECT_EQ(rdiUsage.err,
              "rdihost: unknown argument --bogus\nrdihost: see 'rdihost --help' "
              "for the options and commands\n");

    const ProcessResult help = runProcess(kTov, {"help", "flash"}, noPort);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("usage: tov [--port TEXT] [--sim [SIMOPTIONS...]] flash FILE"))
        << help.out;
    EXPECT_NE(help.out.find("--skip-unchanged"), std::string::npos) << help.out;
    EXPECT_EQ(runProcess(kTov, {"flash", "--help"}, noPort).out, help.out);
    EXPECT_EQ(runProcess(kTov, {"--help", "flash"}, noPort).out, help.out);

    const ProcessResult usage = runProcess(kTov, {"--port", "COM1", "dump", "0x10"}, noPort);
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.err,
              "tov: dump: expected dump ADDR COUNT FILE\n"
              "tov: see 'tov help dump' for its arguments\n");
    const ProcessResult unknown = runProcess(kTov, {"bogus"}, noPort);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err,
              "tov: unknown command bogus\ntov: see 'tov --help' for the commands and options\n");

    // A dry run needs no probe; a type without an erase plans none.
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::filesystem::path file = dir / ("tov-dry-" + std::to_string(getpid()) + ".s37");
    std::ofstream(file) << s3File(0x20000000, std::vector<uint8_t>(64, 0x5A));
    const ProcessResult dry = runProcess(
        kTov, {"--port", "COM1", "flash", file.string(), "--type", "34,0x80000,32,0", "--dry-run"},
        noPort);
    std::filesystem::remove(file);
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(dry.out,
              "flash: dry run, nothing is erased or programmed\n"
              "would erase nothing\n"
              "would program 64 of 64 data bytes at 0x20000000-0x2000003F\n");

    // A known limit of the probe models is said in words.
    const ProcessResult job = runProcess(kTov, {"--sim", "autoprog", "8"}, noPort);
    EXPECT_EQ(job.exitCode, 1);
    EXPECT_EQ(job.err,
              "tov: autoprog: TOV: Erasing flash sector failed (the probe could not erase its job "
              "area: automatic programming needs a probe model whose flash holds the job area)\n");
}

}  // namespace
}  // namespace tov::e2e
