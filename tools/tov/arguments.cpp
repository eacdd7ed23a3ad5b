// Argument parsing for the tov commands.
#include "arguments.h"

#include "files/flash_settings.h"

#include <charconv>
#include <cstdio>

#include "hex.h"

namespace tov::cli {

std::optional<uint32_t> parseNumber(std::string_view text, uint32_t max) {
    return files::parseNumber(text, max);
}

void failUsage(const Invocation& call, std::string_view message) {
    throw UsageError(call.command + ": " + std::string(message), call.command);
}

uint32_t numberArgument(const Invocation& call, std::string_view name, const std::string& text,
                        uint32_t max) {
    if (const std::optional<uint32_t> value = parseNumber(text, max)) return *value;
    char limit[16];
    std::snprintf(limit, sizeof limit, "0x%X", static_cast<unsigned>(max));
    failUsage(call, std::string(name) + " '" + text + "' is not a number from 0 to " + limit +
                        " (decimal or 0x hex)");
}

void requireArgumentCount(const Invocation& call, size_t least, size_t most,
                          std::string_view synopsis) {
    if (call.args.size() < least || call.args.size() > most) {
        failUsage(call, "expected " + call.command + " " + std::string(synopsis));
    }
}

std::vector<uint8_t> hexArgument(const Invocation& call, std::span<const std::string> words) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!parseHexWords(words, bytes, error)) failUsage(call, error);
    if (bytes.empty()) failUsage(call, "give the data bytes in hex");
    return bytes;
}

}  // namespace tov::cli
