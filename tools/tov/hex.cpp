// Hex parsing and printing for the tov command line.
#include "hex.h"

#include <algorithm>
#include <cstdio>

namespace tov::cli {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool parseHexWords(std::span<const std::string> words, std::vector<uint8_t>& bytes,
                   std::string& error) {
    for (const std::string& word : words) {
        std::string_view digits = word;
        if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
        if (digits.empty() || digits.size() % 2 != 0) {
            error = "'" + word + "' is not an even number of hex digits";
            return false;
        }
        for (size_t i = 0; i < digits.size(); i += 2) {
            const int high = digitValue(digits[i]);
            const int low = digitValue(digits[i + 1]);
            if (high < 0 || low < 0) {
                error = "'" + word + "' holds a character that is not a hex digit";
                return false;
            }
            bytes.push_back(static_cast<uint8_t>(high << 4 | low));
        }
    }
    return true;
}

std::string formatHex(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::string formatDump(uint32_t address, std::span<const uint8_t> bytes) {
    std::string text;
    for (size_t start = 0; start < bytes.size(); start += kDumpLineBytes) {
        const std::span<const uint8_t> line =
            bytes.subspan(start, std::min(kDumpLineBytes, bytes.size() - start));
        char head[16];
        std::snprintf(head, sizeof head, "%08X ", static_cast<unsigned>(address + start));
        text += head;
        for (size_t i = 0; i < kDumpLineBytes; ++i) {
            if (i % 8 == 0) text += ' ';
            if (i < line.size()) {
                text += kDigits[line[i] >> 4];
                text += kDigits[line[i] & 0x0F];
                text += ' ';
            } else {
                text += "   ";
            }
        }
        text += ' ';
        for (uint8_t byte : line)
            text += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
        text += '\n';
    }
    return text;
}

}  // namespace tov::cli
