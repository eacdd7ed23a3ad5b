// Word splitting of setup texts.
#include "setup/text_words.h"

#include <cstdint>

namespace tov::setup {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string_view> blankWords(std::string_view text, size_t most) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (words.size() < most) {
        while (at < text.size() && isBlank(text[at])) ++at;
        if (at == text.size()) break;
        const size_t start = at;
        while (at < text.size() && !isBlank(text[at])) ++at;
        words.push_back(text.substr(start, at - start));
    }
    return words;
}

std::string_view trimLeft(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && isBlank(text[at])) ++at;
    return text.substr(at);
}

}  // namespace tov::setup
