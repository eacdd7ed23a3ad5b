// Semihosting calls through GDB's File-I/O requests, against a client that answers as told:
// the requests sent, the F replies taken strictly, a Ctrl-C before and after the host call.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gdb/console.h"
#include "gdb/file_io.h"

namespace tov::gdb {
namespace {

using semihost::Status;

TEST(FileIoReply, TakesOnlyWellFormedReplies) {
    const auto ok = [](const char* text, int64_t result, uint32_t error, bool interrupted) {
        const std::optional<FileIoReply> reply = parseFileIoReply(text);
        ASSERT_TRUE(reply) << text;
        EXPECT_EQ(reply->result, result) << text;
        EXPECT_EQ(reply->error, error) << text;
        EXPECT_EQ(reply->interrupted, interrupted) << text;
    };
    ok("F0", 0, 0, false);
    ok("F1a;attachment", 0x1a, 0, false);
    ok("FFFFFFFFF", 0xFFFFFFFF, 0, false);
    ok("F-1,2", -1, 2, false);
    ok("F-1,4,C", -1, 4, true);
    ok("F5,0,C", 5, 0, true);
    for (const char* bad : {"", "F", "O1", "F-", "F-0", "F-80000000", "F123456789", "F+1", "F 1",
                            "F1,", "F1,,C", "F1,123456789", "F1,2,D", "F1,2,C,3", "Fx", "F1,2,c"}) {
        EXPECT_FALSE(parseFileIoReply(bad)) << bad;
    }
}

// Answers each request with the next reply of its list, or as gone when the list is spent.
class ScriptedClient : public FileIoClient {
public:
    std::optional<std::string> fileRequest(const std::string& request) override {
        requests.push_back(request);
        if (effect) std::exchange(effect, nullptr)();
        if (replies.empty()) return std::nullopt;
        std::string reply = replies.front();
        replies.pop_front();
        return reply;
    }
    std::deque<std::string> replies;
    std::vector<std::string> requests;
    // What GDB does in target memory before it answers the next request.
    std::function<void()> effect;
};

// 4 KiB of little-endian memory at 0 and the call's registers.
class Target : public semihost::TargetAccess, public semihost::ProbeRequests {
public:
    int readMemory(uint32_t address, std::span<uint8_t> out) override {
        if (address + out.size() > memory.size()) return -5;
        std::memcpy(out.data(), &memory[address], out.size());
        return 0;
    }
    int writeMemory(uint32_t address, std::span<const uint8_t> data) override {
        if (address + data.size() > memory.size()) return -5;
        std::memcpy(&memory[address], data.data(), data.size());
        return 0;
    }
    int readArguments(uint32_t& a, uint32_t& b) override {
        a = r0;
        b = r1;
        return 0;
    }
    int writeResult(uint32_t value) override {
        result = value;
        return 0;
    }
    int32_t start() override { return 0; }
    int32_t halt() override { return 0; }
    int32_t state(uint16_t&, int32_t&, uint16_t&, uint32_t*) override { return -1; }
    int32_t registerGet(uint16_t, const RegisterDescriptor*, uint32_t* values) override {
        values[0] = 0x1000;  // sp
        return 0;
    }
    int32_t registerSet(uint16_t, const RegisterDescriptor*, const int32_t*) override { return -1; }
    int32_t memoryRead(uint32_t, uint16_t, uint8_t*) override { return -1; }
    int32_t memoryWrite(uint32_t, uint16_t, const uint8_t*) override { return -1; }

    // Puts the words of a parameter block at 0x100 and makes the call.
    void call(uint32_t operation, std::vector<uint32_t> words) {
        r0 = operation;
        r1 = 0x100;
        if (!words.empty()) std::memcpy(&memory[0x100], words.data(), words.size() * 4);
        result.reset();
    }
    void text(uint32_t address, const std::string& bytes) {
        std::memcpy(&memory[address], bytes.data(), bytes.size());
    }

    std::vector<uint8_t> memory = std::vector<uint8_t>(0x1000, 0xEE);
    uint32_t r0 = 0, r1 = 0;
    std::optional<uint32_t> result;
};

TEST(FileIoService, MakesTheRequestsAndTakesHostileRepliesAsFailedCalls) {
    ServerConsole console;
    std::atomic<bool> stop{false};
    semihost::Service host(console, stop, {"", false, std::nullopt});
    ScriptedClient gdb;
    Target target;
    FileIoService service(gdb, host, target, stop);
    const auto serve = [&] { return service.serve(target).status; };

    // ":tt" for writing is GDB's standard output, opened without a request.
    target.text(0x200, ":tt");
    target.call(semihost::kOpen, {0x200, 4, 3});
    EXPECT_EQ(serve(), Status::Done);
    const uint32_t out = target.result.value();
    EXPECT_TRUE(gdb.requests.empty());
    // A write names the program's buffer; GDB wrote 3 of 5 bytes, then the user pressed Ctrl-C:
    // the call completes and the run is to stop.
    gdb.replies = {"F3,0,C"};
    target.call(semihost::kWrite, {out, 0x300, 5});
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(gdb.requests.back(), "Fwrite,1,300,5");
    EXPECT_EQ(target.result, 2u);
    EXPECT_TRUE(stop.exchange(false));

    // A name with its NUL goes as pointer/length with the NUL counted; a malformed reply
    // fails the call with EIO.
    target.text(0x200, std::string("data.txt\0", 9));
    gdb.replies = {"F3;junk,", "Fnonsense"};
    target.call(semihost::kOpen, {0x200, 6, 8});  // "w+"
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(gdb.requests.back(), "Fopen,200/9,602,1b6");
    const uint32_t file = target.result.value();
    target.call(semihost::kRead, {file, 0x300, 0x20000});
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(gdb.requests.back(), "Fread,3,300,10000");  // in pieces
    EXPECT_EQ(target.result, 0x20000u);
    target.call(semihost::kErrno, {});
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(target.result, 5u);

    // Refused without asking GDB: a name the program did not end with NUL, and a host command.
    const size_t asked = gdb.requests.size();
    target.text(0x200, "abcdefghij");
    target.call(semihost::kRemove, {0x200, 4});
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(target.result, 0xFFFFFFFFu);
    target.call(semihost::kSystem, {0x200, 4});
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(target.result, 0xFFFFFFFFu);
    target.call(semihost::kErrno, {});
    serve();
    EXPECT_EQ(target.result, 1u);  // EPERM
    EXPECT_EQ(gdb.requests.size(), asked);

    // A console read GDB reports interrupted before it read: nothing is written back, the call
    // is to be made again.
    target.text(0x200, ":tt");
    target.call(semihost::kOpen, {0x200, 0, 3});
    serve();
    const uint32_t in = target.result.value();
    gdb.replies = {"F-1,4,C"};
    target.call(semihost::kRead, {in, 0x300, 80});
    EXPECT_EQ(serve(), Status::Interrupted);
    EXPECT_FALSE(target.result);
    EXPECT_TRUE(stop.exchange(false));
    // SYS_READC: GDB writes the byte into scratch memory below the stack, which is put back.
    gdb.replies = {"F1"};
    gdb.effect = [&] { target.memory[0xFF0] = 'x'; };
    target.call(semihost::kReadChar, {});
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(gdb.requests.back(), "Fread,0,ff0,1");
    EXPECT_EQ(target.result, uint32_t{'x'});
    EXPECT_EQ(target.memory[0xFF0], 0xEE);
    // A client that went away leaves the call to be made again, the file still open.
    target.call(semihost::kClose, {file});
    EXPECT_EQ(serve(), Status::Interrupted);
    gdb.replies = {"F0"};
    EXPECT_EQ(serve(), Status::Done);
    EXPECT_EQ(gdb.requests.back(), "Fclose,3");
    EXPECT_EQ(target.result, 0u);
}

}  // namespace
}  // namespace tov::gdb
