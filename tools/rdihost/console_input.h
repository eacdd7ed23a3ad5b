// Standard input for both the command lines and the target program's console: one buffer, so
// that input meant for the program is not swallowed by the command reader, and reads that give
// up when the user stops the program.
#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace tov::rdihost {

class ConsoleInput {
public:
    // One line without its line end; nothing at the end of input or when `cancel` was raised.
    std::optional<std::string> readLine(const std::atomic<bool>* cancel = nullptr);
    // Up to `room` bytes of one line with its line end; nothing as for readLine.
    std::optional<std::string> readText(size_t room, const std::atomic<bool>* cancel);
    // One byte, or -1 at the end of input or when `cancel` was raised.
    int readChar(const std::atomic<bool>* cancel);

private:
    // Reads more from standard input; false at its end or when cancelled.
    bool fill(const std::atomic<bool>* cancel);

    std::string buffer_;
    bool ended_ = false;
};

}  // namespace tov::rdihost
