// Splitting setup texts into blank-delimited words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tov::setup {

// True for the characters that separate words (space, tab, and the other C white space).
bool isBlank(char c);
// At most `most` words of `text` separated by blanks.
std::vector<std::string_view> blankWords(std::string_view text, size_t most = SIZE_MAX);
// `text` without leading blanks.
std::string_view trimLeft(std::string_view text);

}  // namespace tov::setup
