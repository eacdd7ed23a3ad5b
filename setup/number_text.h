// Reading numbers from setup texts as the C library reads them (strtoul with base 0 or 16):
// the leading number of the word counts, what follows it is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tov::setup {

// "0x"/"0X" hexadecimal, a leading "0" octal, otherwise decimal; a leading "-" negates as
// strtoul does. Values beyond 32 bits saturate. Nullopt when no digit is there.
std::optional<uint32_t> parseAutoBase(std::string_view word);
// Hexadecimal with or without "0x".
std::optional<uint32_t> parseHex(std::string_view word);

}  // namespace tov::setup
