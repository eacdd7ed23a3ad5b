// Probe I/O commands of tov: direct commands to the firmware's interpreter, the probe's terminal
// and the numbered communication channels.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "hex.h"
#include "interactive_terminal.h"
#include "output.h"
#include "probe_session.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr size_t kMaxCommandText = 1023;
// An answer message holds at most 1500 bytes, so no reply is longer than this.
constexpr uint16_t kReplyCapacity = 1500;
constexpr size_t kTerminalTextCapacity = 1500;
constexpr uint32_t kMaxChannelBytes = 0xFFFF;

void printText(const char* text) {
    const std::string_view view(text);
    std::fwrite(view.data(), 1, view.size(), stdout);
    if (!view.empty() && view.back() != '\n') std::fputc('\n', stdout);
}

int runChannelRead(const Invocation& call) {
    if (call.args.size() != 3) failUsage(call, "expected chan read CHANNEL COUNT");
    const uint16_t channel =
        static_cast<uint16_t>(numberArgument(call, "CHANNEL", call.args[1], 0xFFFF));
    const uint32_t count = numberArgument(call, "COUNT", call.args[2], kMaxChannelBytes);
    if (count == 0) failUsage(call, "COUNT must be at least 1");

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    std::vector<uint8_t> buffer(count);
    const int32_t result = TOV_ChannelRead(channel, static_cast<uint16_t>(count), buffer.data());
    if (result < 0) return reportApiError(call.command, result);
    std::printf("received %d bytes\n", static_cast<int>(result));
    std::fputs(formatDump(0, std::span(buffer.data(), static_cast<size_t>(result))).c_str(),
               stdout);
    return kExitOk;
}

int runChannelWrite(const Invocation& call) {
    if (call.args.size() < 3) failUsage(call, "expected chan write CHANNEL HEX...");
    const uint16_t channel =
        static_cast<uint16_t>(numberArgument(call, "CHANNEL", call.args[1], 0xFFFF));
    const std::vector<uint8_t> data = hexArgument(call, std::span(call.args).subspan(2));
    if (data.size() > kMaxChannelBytes) failUsage(call, "at most 65535 bytes at a time");

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const int32_t result =
        TOV_ChannelWrite(channel, static_cast<uint16_t>(data.size()), data.data());
    if (result < 0) return reportApiError(call.command, result);
    std::printf("accepted %d of %zu bytes\n", static_cast<int>(result), data.size());
    return kExitOk;
}

}  // namespace

int runCmd(const Invocation& call) {
    std::string text;
    for (const std::string& word : call.args) text += (text.empty() ? "" : " ") + word;
    if (text.empty()) failUsage(call, "expected cmd TEXT...");
    if (text.size() > kMaxCommandText) {
        failUsage(call, "the command text is longer than 1023 characters");
    }

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    std::vector<char> reply(kReplyCapacity);
    const int32_t status = TOV_DirectCommand(text.c_str(), kReplyCapacity, reply.data());
    // The interpreter may explain a refused command in its reply, so the reply is shown anyway.
    printText(reply.data());
    if (status != 0) return reportApiError(call.command, status);
    return kExitOk;
}

int runTerm(const Invocation& call) {
    requireArgumentCount(call, 0, 1, "[--interactive]");
    const bool interactive = !call.args.empty();
    if (interactive && call.args[0] != "--interactive")
        failUsage(call, "expected term [--interactive]");

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    if (interactive) return runInteractiveTerminal(call);
    std::vector<char> text(kTerminalTextCapacity);
    const int32_t result = TOV_TerminalRead(text.data());
    if (result != 0) return reportApiError(call.command, result);
    std::fputs(text.data(), stdout);
    return kExitOk;
}

int runChan(const Invocation& call) {
    if (!call.args.empty() && call.args[0] == "read") return runChannelRead(call);
    if (!call.args.empty() && call.args[0] == "write") return runChannelWrite(call);
    failUsage(call, "expected chan read CHANNEL COUNT or chan write CHANNEL HEX...");
}

}  // namespace tov::cli
