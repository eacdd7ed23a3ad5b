// Conversions of stored texts: 16-bit archive strings to UTF-8, and stored bytes to the UTF-8
// shown on screen (files from the original platform carry Windows-1252).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tov::setup {

// UTF-16LE code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(std::span<const uint8_t> bytes);
// True when `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);
// The stored bytes as UTF-8: unchanged when they are UTF-8, else read as Windows-1252.
std::string displayText(std::string_view stored);

}  // namespace tov::setup
