// Register commands of tov: regs reads registers, setreg writes them; a register is named
// GROUP:NUMBER as the probe firmware numbers it.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "output.h"
#include "probe_session.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

// How many registers one request may carry, read and written.
constexpr size_t kMaxRead = 373;
constexpr size_t kMaxWritten = 186;

RegisterDescriptor registerArgument(const Invocation& call, const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        failUsage(call, "register '" + text + "' is not GROUP:NUMBER");
    }
    return {static_cast<uint16_t>(numberArgument(call, "GROUP", text.substr(0, colon), 0xFFFF)),
            static_cast<uint16_t>(numberArgument(call, "NUMBER", text.substr(colon + 1), 0xFFFF))};
}

}  // namespace

int runRegs(const Invocation& call) {
    if (call.args.empty()) failUsage(call, "expected regs GROUP:NUMBER...");
    if (call.args.size() > kMaxRead) {
        failUsage(call, "at most " + std::to_string(kMaxRead) + " registers at a time");
    }
    std::vector<RegisterDescriptor> registers;
    for (const std::string& word : call.args) registers.push_back(registerArgument(call, word));

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    std::vector<uint32_t> values(registers.size());
    const int32_t result =
        TOV_RegisterGet(static_cast<uint16_t>(registers.size()), registers.data(), values.data());
    if (result != 0) return reportApiError(call.command, result);
    for (size_t i = 0; i < registers.size(); ++i) {
        std::printf("%u:%u = 0x%08X\n", registers[i].group, registers[i].number, values[i]);
    }
    return kExitOk;
}

int runSetreg(const Invocation& call) {
    if (call.args.empty()) failUsage(call, "expected setreg GROUP:NUMBER=VALUE...");
    if (call.args.size() > kMaxWritten) {
        failUsage(call, "at most " + std::to_string(kMaxWritten) + " registers at a time");
    }
    std::vector<RegisterDescriptor> registers;
    std::vector<int32_t> values;
    for (const std::string& word : call.args) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos) {
            failUsage(call, "'" + word + "' is not GROUP:NUMBER=VALUE");
        }
        registers.push_back(registerArgument(call, word.substr(0, equals)));
        values.push_back(static_cast<int32_t>(
            numberArgument(call, "VALUE", word.substr(equals + 1), 0xFFFFFFFF)));
    }

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t result =
        TOV_RegisterSet(static_cast<uint16_t>(registers.size()), registers.data(), values.data());
    if (result != 0) return reportApiError(call.command, result);
    for (size_t i = 0; i < registers.size(); ++i) {
        std::printf("%u:%u = 0x%08X\n", registers[i].group, registers[i].number,
                    static_cast<uint32_t>(values[i]));
    }
    return kExitOk;
}

}  // namespace tov::cli
