// Bulk download, file load and verify, and write blocks through the exported functions against
// the simulator, over the pseudo-terminal and over UDP: bit-exact data also through faults, a
// probe that stops answering, and failures the probe reports with their detail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

using Bytes = std::vector<uint8_t>;

enum class Transport { Pty, Udp };

constexpr uint32_t kImageAddress = 0x00100000;
constexpr size_t kImageSize = 1 << 20;
// An inaccessible range of this test's own, clear of the read-only memory, so that the bytes
// just below it are plain RAM.
constexpr uint32_t kHoleFirst = 0x00900000;
constexpr uint32_t kHoleLast = 0x009FFFFF;

// 1 MiB of a real program (this test's executable, padded with a pattern when smaller).
Bytes programImage() {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    Bytes data(kImageSize);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    for (size_t i = static_cast<size_t>(in.gcount()); i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    }
    return data;
}

Bytes readBack(uint32_t address, size_t n) {
    Bytes out(n);
    for (size_t at = 0; at < n;) {
        const uint16_t piece = static_cast<uint16_t>(std::min<size_t>(n - at, 0x8000));
        if (TOV_MemoryRead(address + static_cast<uint32_t>(at), 0, piece, out.data() + at) != 0) {
            ADD_FAILURE() << "memory read at " << address + at;
            return {};
        }
        at += piece;
    }
    return out;
}

// Downloads the data in calls of 16 KiB; returns the first error and the end's detail.
int32_t download(uint32_t address, const Bytes& data, uint32_t& detail) {
    int32_t rc = TOV_InitDownload(0, 1);
    if (rc != 0) return rc;
    for (size_t at = 0; at < data.size() && rc == 0; at += 0x4000) {
        const uint16_t n = static_cast<uint16_t>(std::min<size_t>(data.size() - at, 0x4000));
        rc = TOV_Download(address + static_cast<uint32_t>(at), n, data.data() + at);
    }
    const int32_t end = TOV_EndDownload(&detail);
    return rc != 0 ? rc : end;
}

// S3 records of 32 bytes for the data, between a header and an end record.
void writeSRecords(const std::string& path, uint32_t address, const Bytes& data) {
    std::ofstream out(path);
    out << "S00600004844521B\n";
    for (size_t at = 0; at < data.size(); at += 32) {
        const size_t n = std::min<size_t>(32, data.size() - at);
        const uint32_t a = address + static_cast<uint32_t>(at);
        Bytes fields{static_cast<uint8_t>(n + 5), uint8_t(a >> 24), uint8_t(a >> 16),
                     uint8_t(a >> 8), uint8_t(a)};
        fields.insert(fields.end(), data.begin() + at, data.begin() + at + n);
        unsigned sum = 0;
        char hex[3];
        out << "S3";
        for (uint8_t b : fields) {
            sum += b;
            std::snprintf(hex, sizeof hex, "%02X", b);
            out << hex;
        }
        std::snprintf(hex, sizeof hex, "%02X", ~sum & 0xFF);
        out << hex << "\n";
    }
    out << "S70500000000FA\n";
}

class DownloadSim : public ::testing::TestWithParam<Transport> {
protected:
    // Starts the simulator with these options and connects over the transport under test.
    void connect(sim::SimOptions options) {
        options.rate = 115200;
        options.udpAddress = "127.0.4." + std::to_string(10 + (getpid() % 200));
        options.unmappedFirst = kHoleFirst;
        options.unmappedLast = kHoleLast;
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        const std::string port =
            GetParam() == Transport::Pty ? probe_->port() : "NETWORK " + options.udpAddress + " 1";
        ASSERT_EQ(TOV_Connect(port.c_str()), 0) << port;
    }
    void TearDown() override { TOV_Disconnect(); }

    std::unique_ptr<SimOnPty> probe_;
};

TEST_P(DownloadSim, AProgramImageArrivesBitExact) {
    connect({});
    const Bytes image = programImage();
    uint32_t detail = 1;
    ASSERT_EQ(download(kImageAddress, image, detail), 0);
    EXPECT_EQ(detail, 0u);
    EXPECT_TRUE(readBack(kImageAddress, image.size()) == image);
}

TEST_P(DownloadSim, AProgramImageArrivesBitExactThroughFaults) {
    sim::SimOptions options;
    options.faults.drop = 0.005;
    options.faults.corrupt = 0.005;
    options.faults.dup = 0.01;
    options.faults.delayMs = 5;
    options.faults.seed = 17;
    connect(options);
    // The whole image through the faults; what arrived is read straight from the probe's
    // memory, since reading it back over the same faulty link would only test the link again.
    const Bytes image = programImage();
    uint32_t detail = 1;
    ASSERT_EQ(download(kImageAddress, image, detail), 0);
    EXPECT_EQ(detail, 0u);
    EXPECT_TRUE(probe_->sim().peekMemory(kImageAddress, image.size()) == image);
    EXPECT_GT(probe_->sim().stats().ignoredFrames, 0u) << "no fault hit a frame";
}

TEST_P(DownloadSim, AProbeThatStopsAnsweringEndsTheDownloadAfterFourResends) {
    connect({});
    ASSERT_EQ(TOV_InitDownload(0, 1), 0);
    probe_->sim().setMute(true);
    const uint64_t before = probe_->sim().stats().commandFrames;
    Bytes data(4096, 0x3C);
    EXPECT_EQ(TOV_Download(0x200000, 4096, data.data()), -1201);
    // Three blocks in flight, then four resends of all three while the fourth waits.
    EXPECT_EQ(probe_->sim().stats().commandFrames - before, 3u + 4 * 3);
    probe_->sim().setMute(false);
    uint32_t detail = 1;
    EXPECT_EQ(TOV_Download(0x200000, 16, data.data()), -1201);
    EXPECT_EQ(TOV_EndDownload(&detail), -1201);
    // A new download starts afresh.
    ASSERT_EQ(download(0x200000, data, detail), 0);
    EXPECT_EQ(readBack(0x200000, data.size()), data);
}

TEST_P(DownloadSim, AFailedBlockReportsItsAddressAndStopsTheDownload) {
    connect({});
    Bytes data(2048);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 5 + 1);
    ASSERT_EQ(TOV_InitDownload(0, 1), 0);
    // The second block starts in the inaccessible range.
    const int32_t first = TOV_Download(kHoleFirst - 1024, 2048, data.data());
    EXPECT_TRUE(first == 0 || first == -1206) << first;
    uint32_t detail = 0;
    EXPECT_EQ(TOV_EndDownload(&detail), -1206);
    EXPECT_EQ(detail, kHoleFirst);
    EXPECT_EQ(TOV_Download(0x300000, 16, data.data()), -1206);
    EXPECT_EQ(TOV_Download(0x300000, 16, data.data()), -1206);
    detail = 0;
    EXPECT_EQ(TOV_EndDownload(&detail), -1206);
    EXPECT_EQ(detail, kHoleFirst);
    // What came before the failure stays written.
    EXPECT_EQ(readBack(kHoleFirst - 1024, 1024), Bytes(data.begin(), data.begin() + 1024));
    ASSERT_EQ(download(0x300000, data, detail), 0);
    EXPECT_EQ(readBack(0x300000, data.size()), data);
}

TEST_P(DownloadSim, FilesLoadAndVerifyThroughTheDownload) {
    connect({});
    const std::string dir =
        std::filesystem::temp_directory_path() /
        ("tovdl-" + std::to_string(getpid()) + "-" + std::to_string(static_cast<int>(GetParam())));
    std::filesystem::create_directories(dir);
    Bytes data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7) ^ (i >> 8));
    const std::string good = dir + "/image.s37";
    writeSRecords(good, 0x00A03F00, data);
    uint32_t detail = 1;
    ASSERT_EQ(TOV_LoadFile(good.c_str(), &detail), 0);
    EXPECT_EQ(detail, 0u);
    EXPECT_EQ(readBack(0x00A03F00, data.size()), data);
    EXPECT_EQ(TOV_VerifyFile(good.c_str(), &detail), 0);

    Bytes changed = data;
    changed[3333] ^= 0x40;
    const std::string other = dir + "/changed.s37";
    writeSRecords(other, 0x00A03F00, changed);
    EXPECT_EQ(TOV_VerifyFile(other.c_str(), &detail), -1210);
    EXPECT_EQ(detail, 0x00A03F00u + 3333);
    // Verifying changed nothing; loading the file into the hole fails with its first address.
    EXPECT_EQ(readBack(0x00A03F00, data.size()), data);
    const std::string hole = dir + "/hole.s37";
    writeSRecords(hole, kHoleFirst - 64, Bytes(128, 0x11));
    EXPECT_EQ(TOV_LoadFile(hole.c_str(), &detail), -1206);
    EXPECT_EQ(detail, kHoleFirst);
    std::filesystem::remove_all(dir);
}

TEST_P(DownloadSim, BlocksLoadAndVerifyWithWriteBlockRequests) {
    connect({});
    Bytes data(3000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 11 + 3);
    uint32_t result = 0;
    ASSERT_EQ(TOV_LoadBlock(0x00B00000, 3000, data.data(), &result), 0);
    EXPECT_EQ(result, 3000u - 2048);  // the last piece's byte count
    EXPECT_EQ(readBack(0x00B00000, data.size()), data);
    EXPECT_EQ(TOV_VerifyBlock(0x00B00000, 3000, data.data(), &result), 0);
    Bytes changed = data;
    changed[2500] ^= 1;
    EXPECT_EQ(TOV_VerifyBlock(0x00B00000, 3000, changed.data(), &result), -1210);
    EXPECT_EQ(result, 0x00B00000u + 2500);
    EXPECT_EQ(TOV_LoadBlock(kHoleFirst - 16, 32, data.data(), &result), -1206);
    EXPECT_EQ(result, kHoleFirst);
}

INSTANTIATE_TEST_SUITE_P(Transports, DownloadSim, ::testing::Values(Transport::Pty, Transport::Udp),
                         [](const ::testing::TestParamInfo<Transport>& info) {
                             return info.param == Transport::Pty ? "Pty" : "Udp";
                         });

}  // namespace
}  // namespace tov::test
