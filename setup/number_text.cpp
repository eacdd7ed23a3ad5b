// Prefix number reading with the C library's base rules.
#include "setup/number_text.h"

namespace tov::setup {
namespace {

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

std::optional<uint32_t> parseWithBase(std::string_view word, int base) {
    size_t at = 0;
    while (at < word.size() && (word[at] == ' ' || word[at] == '\t')) ++at;
    bool negative = false;
    if (at < word.size() && (word[at] == '+' || word[at] == '-')) {
        negative = word[at] == '-';
        ++at;
    }
    const bool hexPrefix = at + 1 < word.size() && word[at] == '0' &&
                           (word[at + 1] == 'x' || word[at + 1] == 'X') &&
                           at + 2 < word.size() && digitValue(word[at + 2]) < 16;
    if (base == 0) {
        if (hexPrefix) {
            base = 16;
        } else if (at < word.size() && word[at] == '0') {
            base = 8;
        } else {
            base = 10;
        }
    }
    if (base == 16 && hexPrefix) at += 2;
    uint64_t value = 0;
    bool any = false;
    for (; at < word.size() && digitValue(word[at]) < base; ++at) {
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digitValue(word[at]));
        if (value > 0xFFFFFFFFull) value = 0x100000000ull;
        any = true;
    }
    if (!any) return std::nullopt;
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    const auto result = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - result) : result;
}

}  // namespace

std::optional<uint32_t> parseAutoBase(std::string_view word) {
    return parseWithBase(word, 0);
}

std::optional<uint32_t> parseHex(std::string_view word) {
    return parseWithBase(word, 16);
}

}  // namespace tov::setup
