// tov load and verify with ELF and Intel HEX files against one running simulator: the same
// target memory as the S-records of the same program, and malformed files refused unsent.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/e2e/process_runner.h"

// The ARM test programs are built only when the ARM toolchain is there.
#ifndef TOV_ARM_PROGRAMS_DIR
#define TOV_ARM_PROGRAMS_DIR ""
#endif

namespace tov::e2e {
namespace {

namespace fs = std::filesystem;

class TovImages : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
        std::string pattern = (fs::temp_directory_path() / "tov-images-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        tty_ = dir_ / "tty";
        trace_ = dir_ / "trace.txt";
        sim_ = std::make_unique<Process>(
            std::string(TOV_BIN_DIR) + "/tovsim",
            std::vector<std::string>{"--serial", tty_.string(), "--rate", "115200", "--trace",
                                     trace_.string()});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(tty_) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(fs::exists(tty_));
    }
    void TearDown() override {
        if (sim_) {
            sim_->sendSignal(SIGTERM);
            sim_->finish();
        }
        fs::remove_all(dir_);
    }

    ProcessResult tov(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", tty_.string() + " 115200"});
        return runProcess(std::string(TOV_BIN_DIR) + "/tov", args, {{"TOV_PORT", std::nullopt}});
    }
    uintmax_t traced() const { return fs::exists(trace_) ? fs::file_size(trace_) : 0; }

    fs::path dir_, tty_, trace_;
    std::unique_ptr<Process> sim_;
};

TEST_F(TovImages, ElfAndIntelHexLoadLikeTheirSRecordsAndMalformedFilesSendNothing) {
    const std::string base = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_thumb";
    // Each format into its own, untouched memory range, then compared with the S-records.
    const std::pair<std::string, std::string> loads[] = {{".elf", "0x100000"},
                                                         {".hex", "0x200000"}};
    for (const auto& [extension, offset] : loads) {
        // The name says nothing of the format: the content does.
        const fs::path copy = dir_ / ("program" + extension + ".bin");
        fs::copy_file(base + extension, copy);
        const ProcessResult load = tov({"load", copy.string(), "--offset", offset});
        EXPECT_EQ(load.exitCode, 0) << load.out << load.err;
        const ProcessResult verify = tov({"verify", base + ".srec", "--offset", offset});
        EXPECT_EQ(verify.exitCode, 0) << extension << verify.out << verify.err;
        const ProcessResult back = tov({"verify", copy.string(), "--offset", offset});
        EXPECT_EQ(back.exitCode, 0) << extension << back.out << back.err;
    }
    // A range nothing was loaded into does not verify: the checks above could fail.
    EXPECT_EQ(tov({"verify", base + ".srec", "--offset", "0x300000"}).exitCode, 1);

    // Malformed files: the error names the file and the place, and no frame reaches the probe.
    std::ifstream in(base + ".hex");
    std::string hex((std::istreambuf_iterator<char>(in)), {});
    char& digit = hex[hex.find('\n') + 10];  // the first data digit of line 2
    digit = digit == '0' ? '1' : '0';
    const fs::path badHex = dir_ / "bad.hex";
    std::ofstream(badHex) << hex;
    std::ifstream elfIn(base + ".elf", std::ios::binary);
    const std::string elf((std::istreambuf_iterator<char>(elfIn)), {});
    const fs::path badElf = dir_ / "bad.elf";
    // The headers are whole, the segments' bytes are cut off.
    std::ofstream(badElf, std::ios::binary) << elf.substr(0, 200);
    const uintmax_t before = traced();
    for (const auto& [file, place] :
         {std::pair{badHex, std::string(": line 2: bad checksum")},
          std::pair{badElf, std::string(": segment ")}}) {
        const ProcessResult refused = tov({"load", file.string()});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find(file.string() + place), std::string::npos) << refused.err;
    }
    EXPECT_EQ(traced(), before);
}

}  // namespace
}  // namespace tov::e2e
