// Breakpoint and watchpoint commands of tov: break, breakdel, watch and watchdel.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "output.h"
#include "probe_session.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

// Watchpoint mode bits, the way a debugger sets them: what is watched and on which accesses.
constexpr uint16_t kWatchReads = 0x02;
constexpr uint16_t kWatchWrites = 0x04;
constexpr uint16_t kWatchSizedAccess = 0x40;
constexpr uint16_t kWatchAddressMask = 0x80;
constexpr uint32_t kWatchThird = 1;
constexpr uint32_t kWatchFourth = 0;
constexpr uint32_t kDefaultWatchSize = 4;
constexpr uint32_t kDefaultBreakKind = 1;

// Prints the identifier an add request returned as "NOUN ID", or its error.
int reportAdded(const Invocation& call, int32_t result, const char* noun) {
    if (result < 0) return reportApiError(call.command, result);
    std::printf("%s %d\n", noun, static_cast<int>(result));
    return kExitOk;
}

int runDelete(const Invocation& call, int32_t (*remove)(int32_t), const char* noun) {
    requireArgumentCount(call, 1, 1, "ID");
    const uint32_t id = numberArgument(call, "ID", call.args[0], 0xFFFF);
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t result = remove(static_cast<int32_t>(id));
    if (result != 0) return reportApiError(call.command, result);
    std::printf("deleted %s %u\n", noun, id);
    return kExitOk;
}

}  // namespace

int runBreak(const Invocation& call) {
    requireArgumentCount(call, 1, 2, "ADDR [KIND]");
    const uint32_t address = numberArgument(call, "ADDR", call.args[0], 0xFFFFFFFF);
    const uint32_t kind = call.args.size() > 1
                              ? numberArgument(call, "KIND", call.args[1], 0xFFFFFFFF)
                              : kDefaultBreakKind;
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    return reportAdded(call, TOV_BreakAdd(address, kind), "breakpoint");
}

int runBreakdel(const Invocation& call) {
    return runDelete(call, TOV_BreakDelete, "breakpoint");
}

int runWatch(const Invocation& call) {
    std::optional<uint32_t> address;
    std::optional<uint32_t> size;
    std::optional<uint32_t> mask;
    uint16_t accesses = 0;
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& word = call.args[i];
        const bool valued = word == "--size" || word == "--mask";
        if (valued && i + 1 == call.args.size()) failUsage(call, word + " needs a value");
        if (word == "--size") {
            size = numberArgument(call, "size", call.args[++i], 4);
            if (*size != 1 && *size != 2 && *size != 4) failUsage(call, "--size is 1, 2 or 4");
        } else if (word == "--mask") {
            mask = numberArgument(call, "mask", call.args[++i], 0xFFFFFFFF);
        } else if (word == "--read") {
            accesses |= kWatchReads;
        } else if (word == "--write") {
            accesses |= kWatchWrites;
        } else if (!address && !word.starts_with("--")) {
            address = numberArgument(call, "ADDR", word, 0xFFFFFFFF);
        } else {
            failUsage(call, "expected watch ADDR [--size 1|2|4] [--mask M] [--read] [--write]");
        }
    }
    if (!address)
        failUsage(call, "expected watch ADDR [--size 1|2|4] [--mask M] [--read] [--write]");
    if (size && mask) failUsage(call, "--size and --mask exclude each other");
    if (accesses == 0) accesses = kWatchReads | kWatchWrites;
    const uint16_t mode = accesses | (mask ? kWatchAddressMask : kWatchSizedAccess);
    const uint32_t bound = mask ? *mask : size.value_or(kDefaultWatchSize);

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    return reportAdded(call, TOV_WatchAdd(mode, *address, bound, kWatchThird, kWatchFourth),
                       "watchpoint");
}

int runWatchdel(const Invocation& call) {
    return runDelete(call, TOV_WatchDelete, "watchpoint");
}

}  // namespace tov::cli
