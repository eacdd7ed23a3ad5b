// The GDB server's semihosting console.
#include "gdb/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "gdb/packet.h"

namespace tov::gdb {
namespace {

// Console output goes in packets of this many bytes at most.
constexpr size_t kOutputPiece = 512;
// How long a wait for input goes before the interrupt check is asked again.
constexpr int kCheckMs = 50;

}  // namespace

void ServerConsole::writeChar(uint8_t character) {
    writeBlock(std::span(&character, 1));
}

size_t ServerConsole::writeBlock(std::span<const uint8_t> data) {
    if (channel_ == nullptr || !forward_) {
        const size_t written = std::fwrite(data.data(), 1, data.size(), stdout);
        std::fflush(stdout);
        return written;
    }
    for (size_t at = 0; at < data.size(); at += kOutputPiece) {
        const auto piece = data.subspan(at, std::min(kOutputPiece, data.size() - at));
        if (!channel_->send(framePacket(consoleOutput(piece)))) return at;
    }
    return data.size();
}

std::optional<int> ServerConsole::nextByte() {
    // Bytes are read one at a time straight from the descriptor: nothing waits in a buffer
    // when a read is given up.
    for (;;) {
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, interrupted_ ? kCheckMs : -1);
        if (ready < 0 && errno != EINTR) return EOF;
        if (ready > 0) {
            if (pfd.revents & POLLNVAL) return EOF;
            uint8_t c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n == 1) return c;
            if (n == 0 || errno != EINTR) return EOF;
        }
        if (interrupted_ && interrupted_()) return std::nullopt;
    }
}

size_t ServerConsole::readLine(std::span<uint8_t> out) {
    size_t n = 0;
    while (n < out.size()) {
        int c = 0;
        if (!held_.empty()) {
            c = static_cast<uint8_t>(held_.front());
            held_.erase(0, 1);
        } else if (const std::optional<int> next = nextByte()) {
            c = *next;
        } else {
            held_.assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
            return 0;
        }
        if (c == EOF) break;
        out[n++] = static_cast<uint8_t>(c);
        if (c == '\n') break;
    }
    return n;
}

int ServerConsole::readChar() {
    if (!held_.empty()) {
        const int c = static_cast<uint8_t>(held_.front());
        held_.erase(0, 1);
        return c;
    }
    const std::optional<int> c = nextByte();
    return !c || *c == EOF ? 0 : *c;
}

}  // namespace tov::gdb
