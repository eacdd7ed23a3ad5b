// The init-list editor's private clipboard data: display lines, each ended by CR LF, and one
// NUL byte after the last.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tov::setup {

// The name the private clipboard format is registered under.
inline constexpr const char* kInitListFormat = "CF_TOV_INITLIST";

// The clipboard data of these lines.
std::string clipboardData(const std::vector<std::string>& lines);
// The lines of clipboard data: the text before each CR (the character after a CR is skipped);
// text after the last CR, and anything from a NUL byte on, is not a line.
std::vector<std::string> clipboardLines(std::string_view data);

}  // namespace tov::setup
