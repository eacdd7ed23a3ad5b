// The GDB server's semihosting console.
#include "gdb/console.h"

#include <string>

#include "gdb/packet.h"

namespace tov::gdb {
namespace {

// Console output goes in packets of this many bytes at most.
constexpr size_t kOutputPiece = 512;

}  // namespace

void ServerConsole::writeChar(uint8_t character) { writeBlock(std::span(&character, 1)); }

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

size_t ServerConsole::readLine(std::span<uint8_t> out) {
    size_t n = 0;
    while (n < out.size()) {
        const int c = std::fgetc(stdin);
        if (c == EOF) break;
        out[n++] = static_cast<uint8_t>(c);
        if (c == '\n') break;
    }
    return n;
}

int ServerConsole::readChar() {
    const int c = std::fgetc(stdin);
    return c == EOF ? 0 : c;
}

}  // namespace tov::gdb
