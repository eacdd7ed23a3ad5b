// tov load and verify with ELF, Intel HEX and raw binary files against one running simulator:
// the same target memory as the S-records of the same bytes, and malformed files refused unsent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e/pty_simulator.h"
#include "tests/support/firmware_file.h"

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
        ASSERT_TRUE(sim_.ready());
        dir_ = sim_.dir();
    }

    ProcessResult tov(std::vector<std::string> args) { return sim_.tov(std::move(args)); }
    uintmax_t traced() const { return sim_.traced(); }

    PtySimulator sim_;
    fs::path dir_;
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
    for (const auto& [file, place] : {std::pair{badHex, std::string(": line 2: bad checksum")},
                                      std::pair{badElf, std::string(": segment ")}}) {
        const ProcessResult refused = tov({"load", file.string()});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find(file.string() + place), std::string::npos) << refused.err;
    }
    EXPECT_EQ(traced(), before);
}

TEST_F(TovImages, RawBinaryAtItsBaseLoadsLikeTheSRecordsOfTheSameBytes) {
    std::vector<uint8_t> bytes(3000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    const fs::path raw = dir_ / "image.bin";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const fs::path srec = dir_ / "image.s37";
    std::ofstream(srec) << test::sRecordText(3, 0x400000, bytes);

    const ProcessResult load = tov({"load", raw.string(), "--base", "0x400000"});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_NE(load.out.find("3000 data bytes at 0x00400000-0x00400BB7"), std::string::npos)
        << load.out;
    EXPECT_EQ(tov({"verify", srec.string()}).exitCode, 0);
    EXPECT_EQ(tov({"verify", raw.string(), "--base", "0x400000"}).exitCode, 0);
    // One byte further on, the same bytes do not verify: the checks above could fail.
    EXPECT_EQ(tov({"verify", raw.string(), "--base", "0x400001"}).exitCode, 1);

    // Without --base the raw file is refused in one line naming it; a file with addresses of
    // its own refuses --base; neither sends anything.
    const uintmax_t before = traced();
    const ProcessResult noBase = tov({"load", raw.string()});
    EXPECT_EQ(noBase.exitCode, 1);
    EXPECT_EQ(noBase.err, "tov: load: " + raw.string() +
                              ": not an S-record, Intel HEX or ELF file; give --base ADDR to "
                              "take it as a raw binary\n");
    const ProcessResult srecBase = tov({"load", srec.string(), "--base", "0x400000"});
    EXPECT_EQ(srecBase.exitCode, 1);
    EXPECT_NE(srecBase.err.find(srec.string() + " is an S-record file"), std::string::npos)
        << srecBase.err;
    EXPECT_EQ(traced(), before);
}

TEST_F(TovImages, OverlapsAndDataPast4GiBAreRefusedUnsentFormatsForcedAndRamLeftOutOfFlash) {
    const std::pair<std::string, std::string> refused[] = {
        {":020000040001F9\n:0440000001020304B2\n:02400200AABB57\n:00000001FF\n",
         ": the data at 0x00014000-0x00014003 overlaps 0x00014002-0x00014003"},
        {":02000004FFFFFC\n:04FFFE0001020304F5\n:00000001FF\n",
         ": line 2: 4 bytes at 0xFFFFFFFE run past address 0xFFFFFFFF"},
        {"S00600004844521B\nS309FFFFFFFE01020304F1\n",
         ": line 2: 4 bytes at 0xFFFFFFFE run past address 0xFFFFFFFF"},
    };
    const uintmax_t before = traced();
    int n = 0;
    for (const auto& [content, place] : refused) {
        const fs::path file = dir_ / ("refused" + std::to_string(n++) + ".img");
        std::ofstream(file) << content;
        const ProcessResult load = tov({"load", file.string()});
        EXPECT_EQ(load.exitCode, 1);
        EXPECT_NE(load.err.find(file.string() + place), std::string::npos) << load.err;
    }
    EXPECT_EQ(traced(), before);

    // A raw binary that looks like Intel HEX loads as what --format says.
    const fs::path raw = dir_ / "colon.bin";
    std::ofstream(raw, std::ios::binary) << ":\x01\x02\x03";
    EXPECT_EQ(tov({"load", raw.string(), "--base", "0x300000"}).exitCode, 1);
    const ProcessResult load = tov({"load", raw.string(), "--format", "bin", "--base", "0x300000"});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_NE(load.out.find("4 data bytes at 0x00300000-0x00300003"), std::string::npos);
    EXPECT_EQ(tov({"verify", raw.string(), "--format", "bin", "--base", "0x300000"}).exitCode, 0);
    EXPECT_EQ(tov({"verify", raw.string(), "--format", "bin", "--base", "0x300001"}).exitCode, 1);

    // An ELF with code in flash and data in RAM: only the flash part is planned for erasing and
    // programming, the dry run names what goes to memory.
    const std::string elf = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_thumb.elf";
    const ProcessResult plan = tov({"flash", elf, "--type", "2,0x80000,32,0", "--flash-base",
                                    "0x8000", "--flash-size", "0x3000", "--dry-run"});
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("would erase 1 sector of 0x40000 bytes: 0x00000000\n"),
              std::string::npos)
        << plan.out;
    EXPECT_NE(plan.out.find("data bytes at 0x0000BE3C-"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("outside the flash as memory\n"), std::string::npos) << plan.out;
}

}  // namespace
}  // namespace tov::e2e
