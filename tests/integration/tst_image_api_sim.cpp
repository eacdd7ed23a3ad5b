// The image calls of the library as a C program uses them, against the simulator over the pty:
// text formats and raw binaries into memory, ELF from the built ARM programs, and the flash
// workflow on the simulator's flash chips. Refused files send nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

using namespace std::chrono_literals;

constexpr int32_t kFileAccessFailed = -1207;
constexpr int32_t kVerifyFailed = -1210;
constexpr uint32_t kBank = 0x00200000;  // byte chips on a 32-bit bus: 256-KiB sectors

class ImageApiSim : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimOptions options;
        options.rate = 115200;
        options.flashBanks = {{kBank, sim::FlashCommandSet::A5555, 0x80000, 32, 8, 0}};
        options.flashTiming = sim::FlashTiming{1ms, 5ms};
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        dir_ = probe_->path().substr(0, probe_->path().rfind('/'));
        ASSERT_EQ(TOV_Connect(probe_->port().c_str()), 0);
    }
    void TearDown() override { TOV_Disconnect(); }

    std::string file(const std::string& name, const std::string& content) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    uint64_t frames() const { return probe_->sim().stats().commandFrames; }

    std::unique_ptr<SimOnPty> probe_;
    std::string dir_;
};

TEST_F(ImageApiSim, TextFormatsAndRawBinariesLoadVerifyAndRefuseBadFilesBeforeSending) {
    // Intel HEX: 4 bytes at 0x00014000 through an extended linear address record; S-records: 4
    // bytes at 0x00014004; a raw binary starting with ':' read as one and loaded at its base.
    const std::string hex = file("a.hex", ":020000040001F9\n:0440000001020304B2\n:00000001FF\n");
    const std::string srec = file("b.s19", "S1074004050607089A\n");
    const std::string raw = file("c.bin", ":\x01\x02\x03");
    TOV_ImageOptions binary{TOV_IMAGE_BIN, 0, 0x14008, 1};
    ASSERT_EQ(TOV_ImageLoad(hex.c_str(), nullptr), 0) << TOV_LastErrorDetail();
    TOV_ImageOptions moved{TOV_IMAGE_SREC, 0x10000, 0, 0};
    ASSERT_EQ(TOV_ImageLoad(srec.c_str(), &moved), 0) << TOV_LastErrorDetail();
    ASSERT_EQ(TOV_ImageLoad(raw.c_str(), &binary), 0) << TOV_LastErrorDetail();
    EXPECT_EQ(probe_->sim().peekMemory(0x14000, 12),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, ':', 1, 2, 3}));
    EXPECT_EQ(TOV_ImageVerify(hex.c_str(), nullptr), 0);
    ASSERT_EQ(TOV_SetByte(0x14002, 0x33), 0);
    uint32_t detail = 0;
    EXPECT_EQ(TOV_ImageVerify2(hex.c_str(), nullptr, &detail), kVerifyFailed);
    EXPECT_EQ(detail, 0x14002u);
    EXPECT_NE(std::string(TOV_LastErrorDetail()).find("0x00014002"), std::string::npos)
        << TOV_LastErrorDetail();

    // Refused before anything is sent: overlapping records, a record past 4 GiB, a raw binary
    // without its base, an unknown format.
    const uint64_t before = frames();
    const std::string overlap =
        file("o.hex", ":020000040001F9\n:0440000001020304B2\n:02400200AABB57\n:00000001FF\n");
    EXPECT_EQ(TOV_ImageLoad(overlap.c_str(), nullptr), kFileAccessFailed);
    EXPECT_NE(std::string(TOV_LastErrorDetail())
                  .find(overlap + ": the data at 0x00014000-0x00014003 overlaps "
                                  "0x00014002-0x00014003"),
              std::string::npos)
        << TOV_LastErrorDetail();
    const std::string past = file("p.hex", ":02000004FFFFFC\n:04FFFE0001020304F5\n:00000001FF\n");
    EXPECT_EQ(TOV_ImageLoad(past.c_str(), nullptr), kFileAccessFailed);
    EXPECT_NE(std::string(TOV_LastErrorDetail()).find(past + ": line 2: "), std::string::npos)
        << TOV_LastErrorDetail();
    TOV_ImageOptions forced{TOV_IMAGE_BIN, 0, 0, 0};
    EXPECT_EQ(TOV_ImageLoad(raw.c_str(), &forced), kFileAccessFailed);
    forced.format = 9;
    EXPECT_EQ(TOV_ImageLoad(raw.c_str(), &forced), -1202);
    EXPECT_EQ(frames(), before);
}

TEST_F(ImageApiSim, ElfLoadsAndVerifies) {
    if (std::string(TOV_ARM_PROGRAMS_DIR).empty()) GTEST_SKIP() << "no ARM test programs";
    const std::string elf = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_arm.elf";
    const std::string srec = std::string(TOV_ARM_PROGRAMS_DIR) + "/hello_arm.srec";
    ASSERT_EQ(TOV_ImageLoad(elf.c_str(), nullptr), 0) << TOV_LastErrorDetail();
    EXPECT_EQ(TOV_ImageVerify(srec.c_str(), nullptr), 0) << TOV_LastErrorDetail();
    TOV_ImageOptions asElf{TOV_IMAGE_ELF, 0, 0, 0};
    EXPECT_EQ(TOV_ImageVerify(elf.c_str(), &asElf), 0) << TOV_LastErrorDetail();
}

TEST_F(ImageApiSim, FlashErasesOnlyTouchedSectorsSkipsUnchangedAndPlansWithoutSending) {
    // 600 bytes across the boundary of the first two 256-KiB sectors.
    std::vector<uint8_t> bytes(600);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    const std::string raw =
        file("f.bin", std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const TOV_ImageOptions image{TOV_IMAGE_BIN, 0, kBank + 0x3FF00, 1};
    TOV_FlashOptions flash{"2,0x80000,32,0x1000", TOV_ERASE_AUTO, 0, 0, 1, 0, 0, 0, 0};
    TOV_FlashReport report{};
    int progressCalls = 0;
    TOV_ProgressSet([](uint32_t, uint32_t, void* user) { ++*static_cast<int*>(user); },
                    &progressCalls);
    ASSERT_EQ(TOV_ImageFlash(raw.c_str(), &image, &flash, &report), 0) << TOV_LastErrorDetail();
    TOV_ProgressSet(nullptr, nullptr);
    EXPECT_GT(progressCalls, 0);
    EXPECT_EQ(report.unitsPlanned, 2u);
    EXPECT_EQ(report.unitsErased, 2u);
    EXPECT_EQ(report.bytesProgrammed, 600u);
    EXPECT_EQ(report.unitSize, 0x40000u);
    std::vector<uint8_t> flashed(bytes.size());
    ASSERT_EQ(TOV_MemoryRead(kBank + 0x3FF00, 0, 600, flashed.data()), 0);
    EXPECT_EQ(flashed, bytes);

    // Again, with a set-up made before: both sectors hold the bytes and are left alone.
    ASSERT_EQ(TOV_FlashSetType(2, 0x80000, 0, 32, 0x1000), 0);
    flash.type = nullptr;
    flash.skipUnchanged = 1;
    ASSERT_EQ(TOV_ImageFlash(raw.c_str(), &image, &flash, &report), 0) << TOV_LastErrorDetail();
    EXPECT_EQ(report.unitsSkipped, 2u);
    EXPECT_EQ(report.unitsErased, 0u);
    EXPECT_EQ(report.bytesProgrammed, 0u);

    // A dry run plans without a word to the probe; chip erase plans one bank.
    const uint64_t before = frames();
    flash = {"2,0x80000,32,0x1000", TOV_ERASE_CHIP, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_EQ(TOV_ImageFlash(raw.c_str(), &image, &flash, &report), 0) << TOV_LastErrorDetail();
    EXPECT_EQ(report.unitsPlanned, 1u);
    EXPECT_EQ(report.unitSize, 0x200000u);
    EXPECT_EQ(report.bytesProgrammed, 600u);
    flash.type = "2,0x80000,33,0";
    EXPECT_EQ(TOV_ImageFlash(raw.c_str(), &image, &flash, &report), -1202);
    EXPECT_NE(std::string(TOV_LastErrorDetail()).find("2,0x80000,33,0"), std::string::npos);
    EXPECT_EQ(frames(), before);
}

}  // namespace
}  // namespace tov::test
