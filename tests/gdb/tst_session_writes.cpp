// The GDB session's memory writes on a scripted client: consecutive writes go out as aligned
// download blocks, answered at once; any other packet waits for the download and gets its
// failure; short writes and writes to flash go one request at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gdb/console.h"
#include "gdb/session.h"
#include "semihost/service.h"
#include "tests/gdb/scripted_channel.h"

namespace tov::gdb {
namespace {

constexpr int32_t kRefused = -1206;

// Memory behind a probe that logs its writes and downloads, and notes any request made while a
// download is open. It refuses the download block at `refuse`, which shows only when the download
// ends, as a late acknowledgement does.
class MemoryProbe : public Probe {
public:
    int32_t start() override { return other(); }
    int32_t halt() override { return other(); }
    int32_t state(uint16_t&, int32_t&, uint16_t&, uint32_t*) override { return other(); }
    int32_t registerGet(uint16_t count, const RegisterDescriptor*, uint32_t* values) override {
        for (uint16_t i = 0; i < count; ++i) values[i] = 0;
        return other();
    }
    int32_t registerSet(uint16_t, const RegisterDescriptor*, const int32_t*) override {
        return other();
    }
    int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) override {
        for (uint16_t i = 0; i < count; ++i) buffer[i] = memory[address + i];
        return other();
    }
    int32_t memoryWrite(uint32_t address, uint16_t count, const uint8_t* data) override {
        log.push_back("write " + hex(address) + "+" + hex(count));
        store(address, count, data);
        return other();
    }
    int32_t step(uint32_t&) override { return other(); }
    int32_t reset() override { return other(); }
    int32_t breakAdd(uint32_t) override { return other(); }
    int32_t breakDelete(int32_t) override { return other(); }
    int32_t watchAdd(uint16_t, uint32_t, uint32_t) override { return other(); }
    int32_t watchDelete(int32_t) override { return other(); }
    int32_t directCommand(const std::string&, std::string&) override { return other(); }
    std::string errorText(int32_t code) override {
        return code == kRefused ? "Download failed" : "error";
    }
    int32_t downloadBegin() override {
        if (open) ++overlapped;
        open = true;
        log.push_back("begin");
        return 0;
    }
    int32_t downloadSend(uint32_t address, uint16_t length, const uint8_t* data) override {
        if (!open) ++overlapped;
        log.push_back("block " + hex(address) + "+" + hex(length));
        if (address == refuse) {
            refused = true;
        } else if (!refused) {
            store(address, length, data);
        }
        return 0;
    }
    int32_t downloadEnd(uint32_t& detail) override {
        open = false;
        log.push_back("end");
        detail = refused ? refuse : 0;
        return std::exchange(refused, false) ? kRefused : 0;
    }

    std::map<uint32_t, uint8_t> memory;
    std::vector<std::string> log;
    bool open = false;
    int overlapped = 0;  // requests made while a download was open
    uint32_t refuse = 0x8400;
    bool refused = false;

private:
    static std::string hex(uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "%x", value);
        return text;
    }
    int32_t other() {
        if (open) ++overlapped;
        return 0;
    }
    void store(uint32_t address, uint16_t count, const uint8_t* data) {
        for (uint16_t i = 0; i < count; ++i) memory[address + i] = data[i];
    }
};

// Bytes that count up from `seed`, so every misplaced byte shows; among them the ones the framing
// escapes.
std::string pattern(size_t length, int seed) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

TEST(GdbSessionWrites, PipelinesConsecutiveWritesAndReportsTheirFailureAtTheNextPacket) {
    MemoryProbe probe;
    ServerConsole console;
    std::atomic<bool> stop{false};
    semihost::Service service(console, stop);
    SessionOptions options;
    options.memoryMap = regionsAroundFlash(0x20000000, 0x200000, 0x40000);
    const std::string first = pattern(1500, 1), second = pattern(3000, 2), flash = pattern(2048, 3),
                      failing = pattern(2048, 4);
    ScriptedChannel channel({
        "M1000,2:abcd",            // short: written at once
        "X2003,5dc:" + first,      // a run begins off a block boundary
        "X25df,bb8:" + second,     // and goes on at the next address
        "X20000000,800:" + flash,  // flash, never the download: it ends the run first
        "m2003,4",
        "X8000,800:" + failing,  // a run whose download the probe refuses at its end
        "X8800,10:" + pattern(16, 5),
        "g",  // gets the failure, reaching no probe
        "m8000,2",
    });
    Session session(probe, service, stop, channel, options);
    EXPECT_EQ(session.serve(), SessionEnd::Gone);

    const std::vector<std::string> replies = channel.replies();
    ASSERT_EQ(replies.size(), 9u);
    EXPECT_EQ(replies[0], "OK");
    EXPECT_EQ(replies[1], "OK");
    EXPECT_EQ(replies[2], "OK");
    EXPECT_EQ(replies[3], "OK");
    EXPECT_EQ(replies[4], "01080f16");
    EXPECT_EQ(replies[5], "OK");
    EXPECT_EQ(replies[6], "OK");
    EXPECT_EQ(replies[7],
              "E.Download failed (writing 0x00008000-0x0000880F, probe detail 0x00008400)");
    EXPECT_EQ(replies[8], "040b");
    // Blocks end at block boundaries, so none crosses the probe's pages; the last one of a run
    // goes when the run ends.
    EXPECT_EQ(probe.log,
              (std::vector<std::string>{"write 1000+2", "begin", "block 2003+3fd", "block 2400+400",
                                        "block 2800+400", "block 2c00+400", "block 3000+197", "end",
                                        "write 20000000+800", "begin", "block 8000+400",
                                        "block 8400+400", "block 8800+10", "end"}));
    EXPECT_EQ(probe.overlapped, 0);
    const std::string whole = first + second;
    for (size_t i = 0; i < whole.size(); ++i)
        ASSERT_EQ(probe.memory[0x2003 + i], static_cast<uint8_t>(whole[i])) << i;
}

}  // namespace
}  // namespace tov::gdb
