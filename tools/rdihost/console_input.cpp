// Standard input read in pieces as it comes, waiting in short slices so that a stop raised by
// another thread ends a wait for input.
#include "console_input.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tov::rdihost {
namespace {

constexpr int kSliceMs = 20;
constexpr size_t kPiece = 4096;

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel && cancel->load();
}

}  // namespace

bool ConsoleInput::fill(const std::atomic<bool>* cancel) {
    while (!ended_) {
        if (cancelled(cancel)) return false;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&in, 1, kSliceMs);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char piece[kPiece];
        const ssize_t got = ::read(STDIN_FILENO, piece, sizeof piece);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) break;
        buffer_.append(piece, static_cast<size_t>(got));
        return true;
    }
    ended_ = true;
    return false;
}

std::optional<std::string> ConsoleInput::readText(size_t room, const std::atomic<bool>* cancel) {
    if (room == 0) return std::string();
    for (;;) {
        const size_t end = buffer_.find('\n');
        if (end != std::string::npos || buffer_.size() >= room || (ended_ && !buffer_.empty())) {
            const size_t take = std::min({end == std::string::npos ? buffer_.size() : end + 1,
                                          room, buffer_.size()});
            std::string text = buffer_.substr(0, take);
            buffer_.erase(0, take);
            return text;
        }
        if (!fill(cancel) && (buffer_.empty() || cancelled(cancel))) return std::nullopt;
    }
}

std::optional<std::string> ConsoleInput::readLine(const std::atomic<bool>* cancel) {
    std::string line;
    for (;;) {
        std::optional<std::string> piece = readText(kPiece, cancel);
        if (!piece) {
            if (line.empty()) return std::nullopt;
            return line;
        }
        line += *piece;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
    }
}

int ConsoleInput::readChar(const std::atomic<bool>* cancel) {
    if (buffer_.empty() && !fill(cancel)) return -1;
    const int c = static_cast<unsigned char>(buffer_.front());
    buffer_.erase(0, 1);
    return c;
}

}  // namespace tov::rdihost
