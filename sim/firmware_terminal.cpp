// Terminal text of the simulated target and the terminal requests.
#include "sim/firmware_terminal.h"

#include "link/frame_header.h"
#include "sim/wire.h"

namespace tov::sim {

void TerminalBuffer::print(std::string_view text) {
    text_.insert(text_.end(), text.begin(), text.end());
    while (text_.size() > kCapacity) text_.pop_front();
}

void TerminalBuffer::echo(uint8_t character) {
    if (character == '\r') {
        print("\r\n");
    } else {
        print(std::string(1, static_cast<char>(character)));
    }
}

std::string TerminalBuffer::take(size_t max) {
    const size_t n = std::min(max, text_.size());
    std::string out(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(n));
    text_.erase(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(n));
    return out;
}

std::vector<uint8_t> terminalRead(TerminalBuffer& terminal, std::span<const uint8_t> request) {
    if (request.size() != 1) return {kUnknownRequestAnswer};
    std::vector<uint8_t> answer{kTerminalText};
    const std::string text = terminal.take(link::kMaxMessage - 1);
    answer.insert(answer.end(), text.begin(), text.end());
    return answer;
}

std::vector<uint8_t> terminalWrite(TerminalBuffer& terminal, std::span<const uint8_t> request) {
    if (request.size() != 2) return {kUnknownRequestAnswer};
    terminal.echo(request[1]);
    return {kTerminalAck};
}

}  // namespace tov::sim
