// Reading the words after the command word: numbers in decimal or 0x hex, argument counts and
// hex data, each refused with a usage error that names the command and the argument.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"

namespace tov::cli {

// A command line a command cannot run with; main reports it in one line and a hint (exit 2).
class UsageError : public std::runtime_error {
public:
    UsageError(const std::string& message, std::string command)
        : std::runtime_error(message), command_(std::move(command)) {}
    // The command whose arguments are wrong.
    const std::string& command() const { return command_; }

private:
    std::string command_;
};

// A decimal number or a 0x-prefixed hex number no larger than `max`; nullopt for anything else
// (signs, blanks, empty text, trailing characters, overflow).
std::optional<uint32_t> parseNumber(std::string_view text, uint32_t max);

// The number in `text`, or a UsageError "COMMAND: NAME 'text' ..." that says what is wrong.
uint32_t numberArgument(const Invocation& call, std::string_view name, const std::string& text,
                        uint32_t max);

// Throws a UsageError unless the command has between `least` and `most` arguments.
void requireArgumentCount(const Invocation& call, size_t least, size_t most,
                          std::string_view synopsis);

// The bytes of hex words (see parseHexWords); a UsageError for a bad word or no bytes at all.
std::vector<uint8_t> hexArgument(const Invocation& call, std::span<const std::string> words);

// Throws UsageError("COMMAND: message").
[[noreturn]] void failUsage(const Invocation& call, std::string_view message);

}  // namespace tov::cli
