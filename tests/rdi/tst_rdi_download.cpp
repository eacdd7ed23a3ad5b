// The download bracket of the RDI session on a scripted probe: merged writes, the statistics
// line in virtual time, the failure message, and the command files.
#include <gtest/gtest.h>

#include "captured_log.h"

#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "rdi/rdi_session.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {
namespace {

std::string& logged = CapturedLog::text();

// A session whose probe takes every block (window 3, blocks of 1024) and records them as
// (address, length); `failAt` makes the block at that address fail.
struct ScriptedSession {
    ScriptedSession() {
        session.setHost(&log.host);
        auto transport =
            std::make_unique<ScriptedTransport>([this](const Bytes& m) -> std::vector<Bytes> {
                if (m[0] == 0x28) return {{0x28, 3, 0x04, 0x00, 0x00, 0x64}};
                if (m[0] == 0xC3) {
                    commands.emplace_back(m.begin() + 1, m.end() - 1);
                    return {{0xC3, 0, 0, 'o', 'k', 0}};
                }
                if (m[0] != 0x29) return {};
                const uint32_t sequence =
                    (uint32_t{m[2]} << 24) | (m[3] << 16) | (m[4] << 8) | m[5];
                const uint32_t address = (uint32_t{m[6]} << 24) | (m[7] << 16) | (m[8] << 8) | m[9];
                blocks.emplace_back(address, (m[10] << 8) | m[11]);
                const uint8_t status = address == failAt ? 1 : 0;
                return {{0x29, status, 0, 0, static_cast<uint8_t>((sequence + 1) >> 8),
                         static_cast<uint8_t>(sequence + 1), 0, 0, 0x12, 0x34}};
            });
        session.connection().link().adopt(std::move(transport));
        logged.clear();
    }
    ScriptedLine line;
    rdi::RdiSession session{line, line.clock};
    CapturedLog log;
    std::vector<std::pair<uint32_t, int>> blocks;
    std::vector<std::string> commands;
    uint32_t failAt = 0xFFFFFFFF;
};

TEST(RdiDownload, WritesAreMergedIntoBlocksAndFlushedWhenTheyStopFollowingOn) {
    ScriptedSession p;
    const std::vector<uint8_t> data(4096, 0x5A);
    ASSERT_EQ(p.session.beginDownload(), 0);
    EXPECT_TRUE(p.session.module().downloadActive);
    ASSERT_EQ(p.session.downloadWrite(0x8000, data.data(), 512), 0);
    ASSERT_EQ(p.session.downloadWrite(0x8200, data.data(), 512), 0);
    EXPECT_TRUE(p.blocks.empty());
    ASSERT_EQ(p.session.downloadWrite(0x9000, data.data(), 512), 0);
    EXPECT_EQ(p.blocks, (std::vector<std::pair<uint32_t, int>>{{0x8000, 1024}}));
    // A write of 4096 first sends the 512 held, then goes out whole: four full blocks.
    ASSERT_EQ(p.session.downloadWrite(0xA000, data.data(), 4096), 0);
    EXPECT_EQ(p.blocks.size(), 6u);
    EXPECT_EQ(p.blocks[1], std::make_pair(0x9000u, 512));
    EXPECT_EQ(p.blocks[5], std::make_pair(0xAC00u, 1024));
    ASSERT_EQ(p.session.downloadWrite(0xB000, data.data(), 100), 0);
    p.line.clock.advance(10);
    p.session.endDownload();
    EXPECT_EQ(p.blocks.back(), std::make_pair(0xB000u, 100));
    EXPECT_FALSE(p.session.module().downloadActive);
    EXPECT_EQ(p.session.module().downloadBytes, 3 * 512u + 4096 + 100);
    // 5732 bytes in 10 ms.
    EXPECT_EQ(logged, "\nDownload of 5732 bytes passed (573200 bytes/s)\n");
}

TEST(RdiDownload, StatisticsInVirtualTime) {
    ScriptedSession p;
    const std::vector<uint8_t> data(4096, 1);
    ASSERT_EQ(p.session.beginDownload(), 0);
    p.session.downloadWrite(0, data.data(), 100);
    p.session.endDownload();
    // Ended within the same tick: 1 ms counts as the time taken.
    EXPECT_EQ(logged, "\nDownload of 100 bytes passed (100000 bytes/s)\n");

    logged.clear();
    ASSERT_EQ(p.session.beginDownload(), 0);
    for (uint32_t at = 0; at < 5000000; at += 4000) p.session.downloadWrite(at, data.data(), 4000);
    p.line.clock.advance(10000);
    p.session.endDownload();
    EXPECT_EQ(logged, "\nDownload of 5000000 bytes passed (500000 bytes/s)\n");
}

TEST(RdiDownload, AFailedBlockEndsTheDownloadWithItsAddress) {
    ScriptedSession p;
    p.failAt = 0;
    const std::vector<uint8_t> data(4096, 1);
    ASSERT_EQ(p.session.beginDownload(), 0);
    // The fourth block waits for the window, and so meets the failed acknowledgement.
    const int32_t rc = p.session.downloadWrite(0, data.data(), 4096);
    EXPECT_NE(rc, 0);
    EXPECT_FALSE(p.session.module().downloadActive);
    EXPECT_NE(p.session.module().downloadResult, 0);
    EXPECT_EQ(logged, "TOV: Download failed (Addr = 0x00001234)\n");
}

TEST(RdiCommandFiles, LongLinesArePiecesAndOnlyCommandsAreSent) {
    ScriptedSession p;
    char dir[] = "/tmp/rdicmd-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::snprintf(p.session.module().commandPath, sizeof p.session.module().commandPath, "%s/",
                  dir);
    const std::string path = std::string(dir) + "/preload.cmd";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "%s\n#x\n\n speed\nspeed 5\xE9t\n", std::string(200, 'a').c_str());
    std::fclose(file);
    p.session.runCommandFile("preload.cmd", "Processing preload commands\n");
    // 127 characters, then the rest of the line as a line of its own; a byte above 0x7F ends a
    // line like a control character.
    EXPECT_EQ(p.commands,
              (std::vector<std::string>{std::string(127, 'a'), std::string(73, 'a'), "speed 5"}));
    EXPECT_EQ(logged, "Processing preload commands\n" + std::string(127, 'a') + "\nok\n" +
                          std::string(73, 'a') + "\nok\nspeed 5\nok\n");
    // A missing file is passed over without a word.
    logged.clear();
    p.session.runCommandFile("postload.cmd", "Processing postload commands\n");
    EXPECT_EQ(logged, "");
    std::remove(path.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace tov::test
