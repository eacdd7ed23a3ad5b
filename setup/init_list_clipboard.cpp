// Encoding and reading of the init-list editor's clipboard data.
#include "setup/init_list_clipboard.h"

namespace tov::setup {

std::string clipboardData(const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& line : lines) data += line + "\r\n";
    data.push_back('\0');
    return data;
}

std::vector<std::string> clipboardLines(std::string_view data) {
    data = data.substr(0, data.find('\0'));
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] != '\r') {
            line.push_back(data[i]);
            continue;
        }
        lines.push_back(std::move(line));
        line.clear();
        ++i;  // the LF after the CR
    }
    return lines;
}

}  // namespace tov::setup
