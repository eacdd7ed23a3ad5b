// The GDB session's memory map and flash packets on a scripted client: the map document, the
// erases and writes gathered until vFlashDone, and the replies for what is refused or fails.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "gdb/console.h"
#include "gdb/session.h"
#include "tests/gdb/scripted_channel.h"
#include "semihost/service.h"

namespace tov::gdb {
namespace {

// A probe the flash packets never reach.
class UnusedProbe : public Probe {
public:
    int32_t start() override { return -1; }
    int32_t halt() override { return -1; }
    int32_t state(uint16_t&, int32_t&, uint16_t&, uint32_t*) override { return -1; }
    int32_t registerGet(uint16_t, const RegisterDescriptor*, uint32_t*) override { return -1; }
    int32_t registerSet(uint16_t, const RegisterDescriptor*, const int32_t*) override { return -1; }
    int32_t memoryRead(uint32_t, uint16_t, uint8_t*) override { return -1; }
    int32_t memoryWrite(uint32_t, uint16_t, const uint8_t*) override { return -1; }
    int32_t step(uint32_t&) override { return -1; }
    int32_t reset() override { return -1; }
    int32_t breakAdd(uint32_t) override { return -1; }
    int32_t breakDelete(int32_t) override { return -1; }
    int32_t watchAdd(uint16_t, uint32_t, uint32_t) override { return -1; }
    int32_t watchDelete(int32_t) override { return -1; }
    int32_t directCommand(const std::string&, std::string&) override { return -1; }
    std::string errorText(int32_t) override { return "unused"; }
};

// Keeps every batch and fails as told.
class RecordingFlash : public FlashProgrammer {
public:
    FlashFailure program(const FlashBatch& batch) override {
        batches.push_back(batch);
        return failure;
    }
    std::vector<FlashBatch> batches;
    FlashFailure failure = FlashFailure::None;
};

std::vector<std::string> serve(const std::vector<std::string>& packets, SessionOptions options) {
    UnusedProbe probe;
    ServerConsole console;
    std::atomic<bool> stop{false};
    semihost::Service service(console, stop);
    ScriptedChannel channel(packets);
    Session session(probe, service, stop, channel, std::move(options));
    EXPECT_EQ(session.serve(), SessionEnd::Gone);
    return channel.replies();
}

TEST(GdbSessionFlash, MapsTheFlashGathersErasesAndWritesAndProgramsThemAtDone) {
    RecordingFlash flash;
    SessionOptions options;
    options.memoryMap = regionsAroundFlash(0x20000000, 0x200000, 0x40000);
    options.flash = &flash;
    // Binary data with every byte the framing escapes.
    const std::string data("\x00#}$*\xff", 6);
    const std::vector<std::string> replies =
        serve({"qSupported:swbreak+", "qXfer:memory-map:read::0,1000",
               "vFlashErase:20000000,40000",  // a whole sector
               "vFlashErase:20010000,40000",  // off the sector boundaries
               "vFlashErase:1ff00000,40000",  // below the flash
               "vFlashErase:201c0000,80000",  // past its end
               "vFlashWrite:20000010:" + data, "vFlashWrite:80000:ab", "vFlashWrite:2000001g:ab",
               "vFlashDone", "vFlashDone", "vFlashWrite:20000020:ab", "vFlashDone"},
              options);
    ASSERT_EQ(replies.size(), 13u);
    EXPECT_NE(replies[0].find(";qXfer:memory-map:read+"), std::string::npos);
    EXPECT_EQ(replies[1],
              "l<?xml version=\"1.0\"?>\n"
              "<!DOCTYPE memory-map SYSTEM \"gdb-memory-map.dtd\">\n"
              "<memory-map>\n"
              "  <memory type=\"ram\" start=\"0x0\" length=\"0x20000000\"/>\n"
              "  <memory type=\"flash\" start=\"0x20000000\" length=\"0x200000\">\n"
              "    <property name=\"blocksize\">0x40000</property>\n"
              "  </memory>\n"
              "  <memory type=\"ram\" start=\"0x20200000\" length=\"0xdfe00000\"/>\n"
              "</memory-map>\n");
    // The erase of a whole sector is taken; those off the boundaries, below or past the flash
    // are not; a write to RAM and a malformed address are refused; the last done has nothing
    // gathered and makes no pass.
    EXPECT_EQ(std::vector<std::string>(replies.begin() + 2, replies.end()),
              (std::vector<std::string>{"OK", "E02", "E02", "E02", "OK", "E.memtype", "E01", "OK",
                                        "OK", "OK", "OK"}));
    ASSERT_EQ(flash.batches.size(), 2u);
    const FlashBatch& first = flash.batches[0];
    ASSERT_EQ(first.erases.size(), 1u);
    EXPECT_EQ(first.erases[0], std::make_pair(0x20000000u, 0x40000u));
    ASSERT_EQ(first.writes.size(), 1u);
    EXPECT_EQ(first.writes[0].first, 0x20000010u);
    EXPECT_EQ(first.writes[0].second, std::vector<uint8_t>(data.begin(), data.end()));
    // The second batch holds only what came after the first done.
    EXPECT_TRUE(flash.batches[1].erases.empty());
    EXPECT_EQ(flash.batches[1].writes.size(), 1u);
}

TEST(GdbSessionFlash, FailedStepsAreErrorRepliesAndWithoutFlashThePacketsAreUnknown) {
    RecordingFlash flash;
    SessionOptions options;
    // Flash up to the top of the address space: no RAM above it.
    options.memoryMap = regionsAroundFlash(0xFFF00000, 0x100000, 0x10000);
    ASSERT_EQ(options.memoryMap.size(), 2u);
    EXPECT_FALSE(options.memoryMap[0].flash);
    EXPECT_EQ(options.memoryMap[0].length, 0xFFF00000u);
    options.flash = &flash;
    flash.failure = FlashFailure::Program;
    std::vector<std::string> replies =
        serve({"vFlashWrite:fffffffe:ab", "vFlashWrite:ffffffff:ab", "vFlashDone"}, options);
    EXPECT_EQ(replies, (std::vector<std::string>{"OK", "E.memtype", "E04"}));

    // A client cannot make the server hold more than the flash: writing it over and over stops.
    flash.failure = FlashFailure::Erase;
    std::vector<std::string> packets;
    const std::string block(0x2000, 'x');
    for (int i = 0; i < 129; ++i) packets.push_back("vFlashWrite:fff00000:" + block);
    packets.push_back("vFlashDone");
    replies = serve(packets, options);
    ASSERT_EQ(replies.size(), 130u);
    EXPECT_EQ(replies[127], "OK");
    EXPECT_EQ(replies[128], "E02");
    EXPECT_EQ(replies[129], "E03");

    replies = serve({"qSupported", "vFlashErase:fff00000,10000", "vFlashDone"}, {});
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].find("memory-map"), std::string::npos);
    EXPECT_EQ(replies[1], "");
    EXPECT_EQ(replies[2], "");
}

}  // namespace
}  // namespace tov::gdb
