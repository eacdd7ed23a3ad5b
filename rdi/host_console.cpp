// The console entries of the debugger's host interface behind the semihosting console.
#include "rdi/host_console.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace tov::rdi {

void HostConsole::writeChar(uint8_t character) {
    if (host_ && host_->writec) host_->writec(host_->hostosarg, character);
}

size_t HostConsole::writeBlock(std::span<const uint8_t> data) {
    if (!host_ || !host_->write) return 0;
    // The entry takes an int length and answers how many bytes it did not write.
    size_t written = 0;
    while (written < data.size()) {
        const int piece = static_cast<int>(std::min<size_t>(data.size() - written, INT_MAX));
        const int left = host_->write(host_->hostosarg,
                                      reinterpret_cast<const char*>(data.data() + written), piece);
        const int done = piece - std::clamp(left, 0, piece);
        written += static_cast<size_t>(done);
        if (done < piece) break;
    }
    return written;
}

size_t HostConsole::readLine(std::span<uint8_t> out) {
    if (!host_ || !host_->gets || out.empty()) return 0;
    // gets stores a terminating NUL, so it gets one byte more than the text may fill.
    const size_t room = std::min<size_t>(out.size(), INT_MAX - 1);
    std::vector<char> line(room + 1, '\0');
    if (!host_->gets(host_->hostosarg, line.data(), static_cast<int>(room + 1))) return 0;
    const size_t length = strnlen(line.data(), room);
    std::memcpy(out.data(), line.data(), length);
    return length;
}

int HostConsole::readChar() {
    if (!host_ || !host_->readc) return 0;
    return host_->readc(host_->hostosarg);
}

}  // namespace tov::rdi
