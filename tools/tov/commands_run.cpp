// Run-control commands of tov: info, state, halt, go, reset and step.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "output.h"
#include "probe_session.h"
#include "target/probe_names.h"
#include "tovlink.h"

namespace tov::cli {

using target::cpuTypeName;
using target::familyName;
using target::stateName;
using target::versionText;

namespace {

// Room for the values of a state answer: its count is one byte.
constexpr uint16_t kMaxStateValues = 255;
constexpr uint16_t kStateReady = 1;
constexpr uint16_t kStateError = 3;

std::string setupTimeText(uint32_t setupTime) {
    if (setupTime == 0) return "no setup stored";
    const std::time_t stamp = static_cast<std::time_t>(setupTime);
    std::tm local{};
    char text[64];
    if (localtime_r(&stamp, &local) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) {
        return std::to_string(setupTime);
    }
    return text;
}

// Runs one status-only request and reports `done` when it succeeded.
int runStatusRequest(const Invocation& call, int32_t (*request)(), const char* done) {
    requireArgumentCount(call, 0, 0, "");
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t status = request();
    if (status != 0) return reportApiError(call.command, status);
    std::printf("%s\n", done);
    return kExitOk;
}

}  // namespace

int runInfo(const Invocation& call) {
    requireArgumentCount(call, 0, 0, "");
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    TargetInfo info{};
    const int32_t result = TOV_InfoGet(&info);
    if (result != 0) return reportApiError(call.command, result);

    std::string version = versionText(info.version);
    if (version == "unknown") version += " (" + std::to_string(info.version) + ")";
    const std::string_view family = familyName(info.family);
    const std::string target = family.empty()
                                   ? "unknown target (family " + std::to_string(info.family) + ")"
                                   : std::string(family);
    const std::string_view cpu = cpuTypeName(info.cpuType);
    std::printf("firmware:   V %s for %s\n", version.c_str(), target.c_str());
    std::printf("CPU type:   %s (0x%04X)\n", cpu.empty() ? "unknown" : std::string(cpu).c_str(),
                info.cpuType);
    std::printf("setup ID:   %s\n", info.setupId);
    std::printf("setup time: %s\n", setupTimeText(info.setupTime).c_str());
    return kExitOk;
}

int runState(const Invocation& call) {
    requireArgumentCount(call, 0, 0, "");
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    uint16_t state = 0;
    int32_t error = 0;
    uint32_t value = 0;
    uint16_t count = kMaxStateValues;
    uint32_t values[kMaxStateValues] = {};
    const int32_t result = TOV_StateGet(&state, &error, &value, &count, values);
    if (result != 0) return reportApiError(call.command, result);

    const std::string_view name = stateName(state);
    if (name.empty()) {
        std::printf("state:  UNKNOWN (%u)\n", state);
    } else {
        std::printf("state:  %.*s\n", static_cast<int>(name.size()), name.data());
    }
    if (state == kStateError) std::printf("error:  %s\n", TOV_ErrorTextGet(error));
    std::printf("value:  0x%08X\n", value);
    std::printf("values:");
    for (uint16_t i = 0; i < count; ++i) std::printf(" 0x%08X", values[i]);
    std::printf("\n");
    // A halted target reports its program counter as the second value.
    if (state == kStateReady && count >= 2) std::printf("program counter: 0x%08X\n", values[1]);
    return kExitOk;
}

int runHalt(const Invocation& call) {
    return runStatusRequest(call, TOV_TargetHalt, "halted");
}

int runGo(const Invocation& call) {
    return runStatusRequest(call, TOV_TargetStart, "running");
}

int runReset(const Invocation& call) {
    requireArgumentCount(call, 0, 1, "[VALUE]");
    const uint16_t value =
        call.args.empty()
            ? 0
            : static_cast<uint16_t>(numberArgument(call, "VALUE", call.args[0], 0xFFFF));
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t result = TOV_TargetReset2(value);
    if (result != 0) return reportApiError(call.command, result);
    std::printf("target reset\n");
    return kExitOk;
}

int runStep(const Invocation& call) {
    if (call.args.size() != 0 && call.args.size() != 3) {
        failUsage(call, "expected step [FIRST SECOND THIRD]");
    }
    uint32_t first = 0;
    uint32_t second = 0;
    uint16_t third = 1;
    if (!call.args.empty()) {
        first = numberArgument(call, "FIRST", call.args[0], 0xFFFFFFFF);
        second = numberArgument(call, "SECOND", call.args[1], 0xFFFFFFFF);
        third = static_cast<uint16_t>(numberArgument(call, "THIRD", call.args[2], 0xFFFF));
    }
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    uint32_t result = 0;
    const int32_t status = TOV_TargetStep(first, second, third, &result);
    if (status != 0) return reportApiError(call.command, status);
    std::printf("step result: 0x%08X\n", result);
    return kExitOk;
}

}  // namespace tov::cli
