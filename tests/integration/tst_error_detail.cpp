// The library's explanation of failures against the simulator on a pty: ports that cannot be
// used and why, a port another process holds, a malformed file's line, verify differences, a
// refused load, and dumps that keep an existing file on failure and write the same bytes with
// either read size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/firmware_file.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// S1 records of 16 bytes from `address`, made by the test support rather than by the library.
std::string s1File(uint32_t address, const std::vector<uint8_t>& data) {
    return sRecordText(1, address, data, 16);
}

TEST(ErrorDetail, PortsThatCannotBeUsedSayWhy) {
    const struct {
        std::string port;
        std::string detail;
    } cases[] = {
        {"/dev/tov-no-such-port 115200", "/dev/tov-no-such-port: No such file or directory"},
        {"/dev/null 115200", "/dev/null: not a serial port (Inappropriate ioctl for device)"},
        {"/tmp 115200", "/tmp: Is a directory"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TOV_Open(c.port.c_str()), -1001) << c.port;
        EXPECT_EQ(std::string(TOV_LastErrorDetail()), c.detail);
    }
    // A later success forgets the explanation.
    SimOnPty probe;
    ASSERT_TRUE(probe.started());
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    EXPECT_STREQ(TOV_LastErrorDetail(), "");
    TOV_Close();
}

TEST(ErrorDetail, APortHeldByAnotherProcessIsInUseEvenForRoot) {
    SimOnPty probe;
    ASSERT_TRUE(probe.started());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // Holds the port the way another serial program would, until it is killed.
        const int fd = open(probe.path().c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_EQ(TOV_Open(probe.port().c_str()), -1001);
    EXPECT_EQ(std::string(TOV_LastErrorDetail()),
              probe.path() + ": port in use by another process");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // The lock went with the other process; the port opens again, and two opens in turn work
    // because each connection takes the lock with it when it closes.
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    TOV_Close();
    ASSERT_EQ(TOV_Open(probe.port().c_str()), 0);
    TOV_Close();
}

class FilesExplained : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(probe_.started());
        dir_ = probe_.path().substr(0, probe_.path().rfind('/'));
        ASSERT_EQ(TOV_Connect(probe_.port().c_str()), 0);
    }
    void TearDown() override { TOV_Disconnect(); }

    SimOnPty probe_;
    std::string dir_;
};

TEST_F(FilesExplained, BadLineAndVerifyDifferenceAreNamed) {
    std::vector<uint8_t> data(256);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    std::string text = s1File(0x3000, data);
    // Line 12 gets a wrong checksum.
    size_t line12 = 0;
    for (int n = 0; n < 11; ++n) line12 = text.find('\n', line12) + 1;
    const size_t end = text.find('\n', line12);
    text[end - 1] = text[end - 1] == '0' ? '1' : '0';
    const std::string bad = dir_ + "/bad.s19";
    std::ofstream(bad) << text;
    uint32_t detail = 0;
    EXPECT_EQ(TOV_LoadFile2(bad.c_str(), 0, &detail), -1207);
    const std::string said = TOV_LastErrorDetail();
    EXPECT_TRUE(said.starts_with(bad + ": line 12: bad checksum 0x")) << said;

    const std::string good = dir_ + "/good.s19";
    std::ofstream(good) << s1File(0x3000, data);
    ASSERT_EQ(TOV_LoadFile2(good.c_str(), 0, &detail), 0);
    EXPECT_STREQ(TOV_LastErrorDetail(), "");
    ASSERT_EQ(TOV_SetByte(0x3085, 0x5A), 0);
    EXPECT_EQ(TOV_VerifyFile2(good.c_str(), 0, &detail), -1210);
    EXPECT_EQ(detail, 0x3085u);
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "first difference at 0x00003085: expected %02X %02X %02X %02X %02X %02X %02X "
                  "%02X, found 5A %02X %02X %02X %02X %02X %02X %02X",
                  data[0x85], data[0x86], data[0x87], data[0x88], data[0x89], data[0x8A],
                  data[0x8B], data[0x8C], data[0x86], data[0x87], data[0x88], data[0x89],
                  data[0x8A], data[0x8B], data[0x8C]);
    EXPECT_EQ(std::string(TOV_LastErrorDetail()), expected);
}

TEST_F(FilesExplained, RefusedLoadsAndBlockVerifiesSayWhereAndWhat) {
    // Plain loads cannot write into a flash bank: the refused block, the probe's address and the
    // reason are named, for a file and for a block.
    const std::string file = dir_ + "/into_flash.s37";
    std::ofstream(file) << sRecordText(3, 0x3000, std::vector<uint8_t>(64, 0x11), 32)
                        << sRecordText(3, 0x20000010, std::vector<uint8_t>(32, 0x22), 32);
    uint32_t detail = 0;
    EXPECT_EQ(TOV_LoadFile2(file.c_str(), 0, &detail), -1206);
    EXPECT_EQ(detail, 0x20000010u);
    EXPECT_EQ(std::string(TOV_LastErrorDetail()),
              "writing 32 bytes at 0x20000010-0x2000002F failed at 0x20000010: the memory is not "
              "there or does not take data");
    const uint8_t some[16] = {};
    uint32_t result = 0;
    EXPECT_EQ(TOV_LoadBlock(0x20000100, sizeof some, some, &result), -1206);
    EXPECT_EQ(std::string(TOV_LastErrorDetail()),
              "writing 16 bytes at 0x20000100-0x2000010F failed at 0x20000100: the memory is not "
              "there or does not take data");

    // A block verify names the first difference with the expected and found bytes, here in its
    // second 1024-byte piece.
    std::vector<uint8_t> data(2048);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 5);
    ASSERT_EQ(TOV_LoadBlock(0x5000, static_cast<uint16_t>(data.size()), data.data(), &result), 0);
    EXPECT_EQ(TOV_VerifyBlock(0x5000, static_cast<uint16_t>(data.size()), data.data(), &result), 0);
    EXPECT_STREQ(TOV_LastErrorDetail(), "");
    ASSERT_EQ(TOV_SetByte(0x5000 + 1500, static_cast<uint8_t>(~data[1500])), 0);
    EXPECT_EQ(TOV_VerifyBlock(0x5000, static_cast<uint16_t>(data.size()), data.data(), &result),
              -1210);
    EXPECT_EQ(result, 0x5000u + 1500);
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "first difference at 0x000055DC: expected %02X %02X %02X %02X %02X %02X %02X "
                  "%02X, found %02X %02X %02X %02X %02X %02X %02X %02X",
                  data[1500], data[1501], data[1502], data[1503], data[1504], data[1505],
                  data[1506], data[1507], static_cast<uint8_t>(~data[1500]), data[1501], data[1502],
                  data[1503], data[1504], data[1505], data[1506], data[1507]);
    EXPECT_EQ(std::string(TOV_LastErrorDetail()), expected);
}

TEST_F(FilesExplained, DumpsKeepTheOldFileOnFailureAndMatchAcrossReadSizes) {
    const std::string kept = dir_ + "/kept.s37";
    std::ofstream(kept) << "S30900000000DEADBEEFC6\n";
    // The last megabyte of the address space is not there: the dump fails part-way.
    EXPECT_EQ(TOV_DumpFileFast(kept.c_str(), 0xFFEFF000, 0x2000), -2107);
    EXPECT_EQ(std::string(TOV_LastErrorDetail()), "reading 1024 bytes at 0xFFF00000 failed");
    EXPECT_EQ(TOV_DumpFile(kept.c_str(), 0xFFEFFF00, 0x200), -2107);
    EXPECT_EQ(readAll(kept), "S30900000000DEADBEEFC6\n");

    std::vector<uint8_t> bytes(3000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i ^ (i >> 5));
    ASSERT_EQ(TOV_MemoryWrite(0x7F0, 0, static_cast<uint16_t>(bytes.size()), bytes.data()), 0);
    const std::string slow = dir_ + "/slow.s19";
    const std::string fast = dir_ + "/fast.s19";
    // An odd start and length: records and reads do not line up with round addresses.
    ASSERT_EQ(TOV_DumpFile(slow.c_str(), 0x7F3, 2990), 0);
    ASSERT_EQ(TOV_DumpFileFast(fast.c_str(), 0x7F3, 2990), 0);
    EXPECT_EQ(readAll(fast), readAll(slow));
    // 93 full S1 records of 75 characters and one of 14 data bytes.
    EXPECT_EQ(readAll(fast).size(), 93u * 75 + 39);
}

}  // namespace
}  // namespace tov::test
