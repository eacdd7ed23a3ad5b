// The probe's terminal: text the target printed, waiting for the host, and the terminal
// requests 0x20 (read) and 0x0D (write one character).
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tov::sim {

inline constexpr uint8_t kTerminalRead = 0x20;
inline constexpr uint8_t kTerminalText = 0x45;
inline constexpr uint8_t kTerminalWrite = 0x0D;
inline constexpr uint8_t kTerminalAck = 0x40;

// Terminal output pending for the host. Bounded: when the host does not read, the oldest text
// is dropped, as a full output ring on the probe would.
class TerminalBuffer {
public:
    static constexpr size_t kCapacity = 64 * 1024;

    void print(std::string_view text);
    // A character typed on the host's side; the target echoes it (a carriage return as CR LF).
    void echo(uint8_t character);
    // Removes and returns at most `max` bytes of pending text.
    std::string take(size_t max);
    size_t pending() const { return text_.size(); }
    void clear() { text_.clear(); }

private:
    std::deque<char> text_;
};

// 0x20 -> 0x45 and as much pending text as fits an answer.
std::vector<uint8_t> terminalRead(TerminalBuffer& terminal, std::span<const uint8_t> request);

// 0x0D character -> 0x40.
std::vector<uint8_t> terminalWrite(TerminalBuffer& terminal, std::span<const uint8_t> request);

}  // namespace tov::sim
