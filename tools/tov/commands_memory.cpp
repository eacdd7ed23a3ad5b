// Memory commands of tov: read (hex dump) and write of blocks, and the single byte, 16-bit and
// 32-bit accessors.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "hex.h"
#include "output.h"
#include "probe_session.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

// The largest block one library call moves is 65535 bytes; longer blocks go in calls of this
// size, a whole number of dump lines so that the dump reads as one.
constexpr uint32_t kBlockPerCall = 65535 / kDumpLineBytes * kDumpLineBytes;
constexpr uint64_t kAddressSpace = 0x100000000ULL;

// ADDR LEN-style options shared by read and write: the words left and the access field.
struct BlockArguments {
    std::vector<std::string> words;
    uint16_t access = 0;
};

BlockArguments splitAccessOption(const Invocation& call) {
    BlockArguments block;
    for (size_t i = 0; i < call.args.size(); ++i) {
        if (call.args[i] == "--access") {
            if (i + 1 == call.args.size()) failUsage(call, "--access needs a value");
            block.access =
                static_cast<uint16_t>(numberArgument(call, "access", call.args[++i], 0xFFFF));
        } else {
            block.words.push_back(call.args[i]);
        }
    }
    return block;
}

void requireInsideAddressSpace(const Invocation& call, uint32_t address, uint64_t length) {
    if (address + length > kAddressSpace) failUsage(call, "the range runs past address 0xFFFFFFFF");
}

// Width-specific halves of get8/16/32 and set8/16/32.
template <typename Value>
struct Accessor {
    int32_t (*get)(uint32_t, Value*);
    int32_t (*set)(uint32_t, Value);
};

template <typename Value>
int runGet(const Invocation& call, Accessor<Value> accessor) {
    requireArgumentCount(call, 1, 1, "ADDR");
    const uint32_t address = numberArgument(call, "ADDR", call.args[0], 0xFFFFFFFF);
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    Value value = 0;
    const int32_t result = accessor.get(address, &value);
    if (result != 0) return reportApiError(call.command, result);
    std::printf("0x%0*X\n", static_cast<int>(2 * sizeof(Value)), static_cast<unsigned>(value));
    return kExitOk;
}

template <typename Value>
int runSet(const Invocation& call, Accessor<Value> accessor) {
    requireArgumentCount(call, 2, 2, "ADDR VALUE");
    const uint32_t address = numberArgument(call, "ADDR", call.args[0], 0xFFFFFFFF);
    const Value value = static_cast<Value>(
        numberArgument(call, "VALUE", call.args[1], static_cast<Value>(~Value{0})));
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t result = accessor.set(address, value);
    if (result != 0) return reportApiError(call.command, result);
    std::printf("wrote 0x%0*X at 0x%08X\n", static_cast<int>(2 * sizeof(Value)),
                static_cast<unsigned>(value), address);
    return kExitOk;
}

}  // namespace

int runRead(const Invocation& call) {
    const BlockArguments block = splitAccessOption(call);
    if (block.words.size() != 2) failUsage(call, "expected read ADDR LEN [--access N]");
    const uint32_t address = numberArgument(call, "ADDR", block.words[0], 0xFFFFFFFF);
    const uint32_t length = numberArgument(call, "LEN", block.words[1], 0xFFFFFFFF);
    if (length == 0) failUsage(call, "LEN must be at least 1");
    requireInsideAddressSpace(call, address, length);

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    std::vector<uint8_t> buffer(std::min(length, kBlockPerCall));
    for (uint64_t done = 0; done < length;) {
        const uint32_t piece =
            static_cast<uint32_t>(std::min<uint64_t>(length - done, kBlockPerCall));
        const uint32_t at = static_cast<uint32_t>(address + done);
        const int32_t result =
            TOV_MemoryRead(at, block.access, static_cast<uint16_t>(piece), buffer.data());
        if (result != 0) return reportApiError(call.command, result);
        std::fputs(formatDump(at, std::span(buffer.data(), piece)).c_str(), stdout);
        done += piece;
    }
    return kExitOk;
}

int runWrite(const Invocation& call) {
    const BlockArguments block = splitAccessOption(call);
    if (block.words.size() < 2) failUsage(call, "expected write ADDR HEX... [--access N]");
    const uint32_t address = numberArgument(call, "ADDR", block.words[0], 0xFFFFFFFF);
    const std::vector<uint8_t> data = hexArgument(call, std::span(block.words).subspan(1));
    requireInsideAddressSpace(call, address, data.size());

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    for (size_t done = 0; done < data.size();) {
        const size_t piece = std::min<size_t>(data.size() - done, kBlockPerCall);
        const int32_t result = TOV_MemoryWrite(static_cast<uint32_t>(address + done), block.access,
                                               static_cast<uint16_t>(piece), data.data() + done);
        if (result != 0) return reportApiError(call.command, result);
        done += piece;
    }
    std::printf("wrote %zu bytes at 0x%08X\n", data.size(), address);
    return kExitOk;
}

int runGet8(const Invocation& call) {
    return runGet<uint8_t>(call, {TOV_GetByte, TOV_SetByte});
}
int runGet16(const Invocation& call) {
    return runGet<uint16_t>(call, {TOV_GetWord, TOV_SetWord});
}
int runGet32(const Invocation& call) {
    return runGet<uint32_t>(call, {TOV_GetLong, TOV_SetLong});
}
int runSet8(const Invocation& call) {
    return runSet<uint8_t>(call, {TOV_GetByte, TOV_SetByte});
}
int runSet16(const Invocation& call) {
    return runSet<uint16_t>(call, {TOV_GetWord, TOV_SetWord});
}
int runSet32(const Invocation& call) {
    return runSet<uint32_t>(call, {TOV_GetLong, TOV_SetLong});
}

}  // namespace tov::cli
