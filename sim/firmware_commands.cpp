// The direct-command interpreter of the simulated firmware.
#include "sim/firmware_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <optional>

#include "link/frame_header.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr int kFirstTargetFault = -2109;
constexpr int kLastTargetFault = -2001;

constexpr const char* kHelp =
    "help                      this list\n"
    "version                   firmware version, family and CPU type\n"
    "target state              run state, PC and CPSR\n"
    "target reset|hold|release reset pulse, hold in reset, release\n"
    "target run|halt           start or halt the target\n"
    "print TEXT                the target prints TEXT\n"
    "fault CODE                error state with CODE (-2001..-2109)\n"
    "clear fault|terminal      leave the error state, drop terminal text\n"
    "clear channel N           empty channel N\n"
    "channel N                 bytes waiting in channel N\n"
    "speed [N]                 show or set the debug clock speed\n"
    "vector catch MASK         vectors the target stops on\n"
    "setup                     the setup stored in the probe\n";

// The command line split into words, keeping the raw text after each word for `print`.
class Words {
public:
    explicit Words(std::string_view line) : line_(line) {
        size_t at = 0;
        while (true) {
            at = line.find_first_not_of(" \t", at);
            if (at == std::string_view::npos) break;
            size_t end = line.find_first_of(" \t", at);
            if (end == std::string_view::npos) end = line.size();
            words_.push_back({at, end});
            at = end;
        }
    }
    size_t size() const { return words_.size(); }
    std::string_view operator[](size_t i) const {
        return line_.substr(words_[i].first, words_[i].second - words_[i].first);
    }
    // Word i in lower case, or "" when there is none.
    std::string lower(size_t i) const {
        if (i >= size()) return {};
        std::string w((*this)[i]);
        std::transform(w.begin(), w.end(), w.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return w;
    }
    // The text from word i to the end of the line.
    std::string_view restFrom(size_t i) const { return line_.substr(words_[i].first); }

private:
    std::string_view line_;
    std::vector<std::pair<size_t, size_t>> words_;
};

CommandResult ok(std::string reply) {
    return {kStatusOk, std::move(reply)};
}
CommandResult fail(int16_t status, std::string reply) {
    return {status, std::move(reply)};
}

// A decimal, 0x-hexadecimal or negative number filling the whole word.
std::optional<long long> number(std::string_view word) {
    bool negative = !word.empty() && word[0] == '-';
    if (negative) word.remove_prefix(1);
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
    }
    long long value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || error != std::errc() || end != word.data() + word.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

const char* stateName(TargetState state) {
    switch (state) {
        case TargetState::Reset:
            return "RESET";
        case TargetState::Ready:
            return "READY";
        case TargetState::Running:
            return "RUNNING";
        case TargetState::Error:
            return "ERROR";
    }
    return "UNKNOWN";
}

// Checks that exactly `count` words were given; the status for too few or too many.
std::optional<CommandResult> expectWords(const Words& w, size_t count, const char* usage) {
    if (w.size() == count) return std::nullopt;
    return fail(kStatusUnknownParameter, std::string("usage: ") + usage);
}

// Parses word i as a number in [low, high].
std::optional<long long> boundedNumber(const Words& w, size_t i, long long low, long long high) {
    auto value = number(w[i]);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

CommandResult targetCommand(const CommandContext& c, const Words& w) {
    const std::string action = w.lower(1);
    TargetModel& t = c.target;
    if (action != "state" && action != "reset" && action != "hold" && action != "release" &&
        action != "run" && action != "halt") {
        return fail(kStatusUnknownAction, "unknown action '" + action + "' for target");
    }
    if (auto bad = expectWords(w, 2, "target state|reset|hold|release|run|halt")) return *bad;
    if (action == "state") {
        std::string reply = stateName(t.state());
        if (t.state() == TargetState::Error) return ok(reply + " " + std::to_string(t.fault()));
        return ok(reply + " pc " + hex32(t.registers().pc()) + " cpsr " +
                  hex32(t.registers().cpsr()));
    }
    if (action == "reset") {
        t.reset(0);
        return ok("target reset");
    }
    if (action == "hold") {
        t.holdInReset();
        return ok("target held in reset");
    }
    if (action == "release") {
        if (!t.releaseReset()) return fail(kStatusExecutionFailed, "target is not held in reset");
        return ok("target released");
    }
    if (action == "run") {
        if (t.start() != kStatusOk) return fail(kStatusExecutionFailed, "target cannot start now");
        return ok("target running");
    }
    if (t.halt() != kStatusOk) return fail(kStatusExecutionFailed, "target cannot halt now");
    return ok("target halted");
}

CommandResult faultCommand(const CommandContext& c, const Words& w) {
    if (auto bad = expectWords(w, 2, "fault CODE")) return *bad;
    auto code = boundedNumber(w, 1, kFirstTargetFault, kLastTargetFault);
    if (!code) return fail(kStatusInvalidValue, "fault code must be -2001..-2109");
    c.target.injectFault(static_cast<int16_t>(*code));
    return ok("target fault " + std::to_string(*code));
}

CommandResult clearCommand(const CommandContext& c, const Words& w) {
    const std::string action = w.lower(1);
    if (action == "fault") {
        if (auto bad = expectWords(w, 2, "clear fault")) return *bad;
        return ok(c.target.clearFault() ? "fault cleared" : "no fault");
    }
    if (action == "terminal") {
        if (auto bad = expectWords(w, 2, "clear terminal")) return *bad;
        c.target.terminal().clear();
        return ok("terminal cleared");
    }
    if (action == "channel") {
        if (auto bad = expectWords(w, 3, "clear channel N")) return *bad;
        auto channel = boundedNumber(w, 2, 0, Channels::kCount - 1);
        if (!channel) return fail(kStatusInvalidValue, "channel must be 0..7");
        c.channels.clear(static_cast<uint16_t>(*channel));
        return ok("channel " + std::to_string(*channel) + " cleared");
    }
    return fail(kStatusUnknownAction, "unknown action '" + action + "' for clear");
}

CommandResult channelCommand(const CommandContext& c, const Words& w) {
    if (auto bad = expectWords(w, 2, "channel N")) return *bad;
    auto channel = boundedNumber(w, 1, 0, Channels::kCount - 1);
    if (!channel) return fail(kStatusInvalidValue, "channel must be 0..7");
    return ok("channel " + std::to_string(*channel) + ": " +
              std::to_string(c.channels.pending(static_cast<uint16_t>(*channel))) +
              " bytes waiting");
}

CommandResult speedCommand(const CommandContext& c, const Words& w) {
    if (w.size() > 2) return fail(kStatusUnknownParameter, "usage: speed [N]");
    if (w.size() == 2) {
        auto speed = boundedNumber(w, 1, 0, 0xFFFFFFFFLL);
        if (!speed) return fail(kStatusInvalidValue, "speed must be 0..4294967295");
        c.target.setDebugClock(static_cast<uint32_t>(*speed));
    }
    return ok("debug clock speed " + std::to_string(c.target.debugClock()));
}

CommandResult vectorCommand(const CommandContext& c, const Words& w) {
    const std::string action = w.lower(1);
    if (action != "catch")
        return fail(kStatusUnknownAction, "unknown action '" + action + "' for vector");
    if (auto bad = expectWords(w, 3, "vector catch MASK")) return *bad;
    auto mask = boundedNumber(w, 2, 0, 0xFF);
    if (!mask) return fail(kStatusInvalidValue, "mask must be 0..0xFF");
    if ((c.cpu >> 8) == 0x87) return fail(kStatusNotSupported, "this core has no vector catch");
    c.target.registers().write(RegisterFile::kGroupCurrent, RegisterFile::kVectorCatch,
                               static_cast<uint32_t>(*mask));
    return ok("vector catch " + hex32(static_cast<uint32_t>(*mask)));
}

CommandResult setupCommand(const CommandContext& c, const Words& w) {
    if (auto bad = expectWords(w, 1, "setup")) return *bad;
    if (c.setup.time == 0 && c.setup.id.empty())
        return fail(kStatusInvalidSetup, "no setup stored");
    return ok("setup '" + c.setup.id + "' time " + std::to_string(c.setup.time));
}

CommandResult versionCommand(const CommandContext& c, const Words& w) {
    if (auto bad = expectWords(w, 1, "version")) return *bad;
    char text[96];
    std::snprintf(text, sizeof text, "firmware %u.%02u, family %u, CPU type 0x%04X",
                  kFirmwareVersion / 100u, kFirmwareVersion % 100u, c.family, c.cpu);
    return ok(text);
}

}  // namespace

CommandResult runDirectCommand(const CommandContext& context, std::string_view line) {
    const Words w(line);
    const std::string object = w.lower(0);
    if (object == "help") {
        if (auto bad = expectWords(w, 1, "help")) return *bad;
        return ok(kHelp);
    }
    if (object == "version") return versionCommand(context, w);
    if (object == "target") return targetCommand(context, w);
    if (object == "print") {
        if (w.size() < 2) return fail(kStatusUnknownParameter, "usage: print TEXT");
        context.target.terminal().print(std::string(w.restFrom(1)) + "\r\n");
        return ok("");
    }
    if (object == "fault") return faultCommand(context, w);
    if (object == "clear") return clearCommand(context, w);
    if (object == "channel") return channelCommand(context, w);
    if (object == "speed") return speedCommand(context, w);
    if (object == "vector") return vectorCommand(context, w);
    if (object == "setup") return setupCommand(context, w);
    return fail(kStatusUnknownObject, "unknown object '" + object + "' (try help)");
}

std::vector<uint8_t> directCommand(const CommandContext& context,
                                   std::span<const uint8_t> request) {
    if (request.size() < 2 || request.back() != 0) {
        return statusAnswer(kDirectCommand, kStatusInvalidParameter);
    }
    // The text ends at its first zero byte.
    std::string_view text(reinterpret_cast<const char*>(request.data() + 1), request.size() - 2);
    text = text.substr(0, text.find('\0'));
    const CommandResult result = runDirectCommand(context, text);
    std::vector<uint8_t> answer = statusAnswer(kDirectCommand, result.status);
    const size_t room = link::kMaxMessage - answer.size();
    const size_t n = std::min(result.reply.size(), room);
    answer.insert(answer.end(), result.reply.begin(),
                  result.reply.begin() + static_cast<std::ptrdiff_t>(n));
    return answer;
}

}  // namespace tov::sim
