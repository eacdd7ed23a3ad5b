// Hex text on the command line: reading the bytes a user types and printing the bytes a probe
// answers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tov::cli {

// Appends the bytes of every word to `bytes`. Each word is an even number of hex digits (either
// case, an optional 0x prefix), so "B8 00001000" and "b800001000" mean the same bytes. Returns
// false with a reason in `error` for the first word that is not such a word.
bool parseHexWords(std::span<const std::string> words, std::vector<uint8_t>& bytes,
                   std::string& error);

// Upper-case two-digit bytes separated by single blanks, "B8 00 10"; empty for no bytes.
std::string formatHex(std::span<const uint8_t> bytes);

inline constexpr size_t kDumpLineBytes = 16;

// The dump of `bytes` as lines of 16, each "AAAAAAAA  XX XX ... XX  XX ... XX  ascii\n", the
// first line at `address`; bytes outside the printable ASCII range show as '.'.
std::string formatDump(uint32_t address, std::span<const uint8_t> bytes);

}  // namespace tov::cli
