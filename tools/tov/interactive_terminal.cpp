// Interactive terminal of tov: raw keyboard input forwarded one character at a time, the probe's
// pending terminal text polled about every 50 ms.
#include "interactive_terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "output.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr uint8_t kQuitKey = 0x1D;  // Ctrl-]
constexpr auto kPollPeriod = std::chrono::milliseconds(50);
constexpr size_t kTerminalTextCapacity = 1500;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile std::sig_atomic_t endingSignal = 0;

void noteSignal(int signo) {
    endingSignal = signo;
}

// Raw key input on a terminal for its lifetime; the settings found are put back at the end.
class RawKeyboard {
public:
    explicit RawKeyboard(int fd) : fd_(fd) {
        if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
        termios raw = saved_;
        // Keys arrive one by one, unechoed and uninterpreted (Ctrl-C goes to the target); output
        // processing stays on so that the probe's line ends still start a new line.
        raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                              ICRNL | IXON);
        raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(fd_, TCSAFLUSH, &raw) == 0;
    }
    RawKeyboard(const RawKeyboard&) = delete;
    RawKeyboard& operator=(const RawKeyboard&) = delete;
    ~RawKeyboard() {
        if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    }

    bool active() const { return active_; }

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

// Catches the ending signals for its lifetime so that the loop can end and clean up; the former
// handlers come back at the end.
class SignalCatcher {
public:
    SignalCatcher() {
        endingSignal = 0;
        struct sigaction action {};
        action.sa_handler = noteSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], &action, &saved_[i]);
        }
    }
    SignalCatcher(const SignalCatcher&) = delete;
    SignalCatcher& operator=(const SignalCatcher&) = delete;
    ~SignalCatcher() {
        for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], &saved_[i], nullptr);
        }
    }

private:
    struct sigaction saved_[std::size(kEndingSignals)]{};
};

// Prints what the probe's terminal holds. Returns the number of characters shown, or -1 with
// the error reported when the read fails.
int showPendingText(const Invocation& call, std::vector<char>& text) {
    const int32_t result = TOV_TerminalRead(text.data());
    if (result != 0) {
        reportApiError(call.command, result);
        return -1;
    }
    std::fputs(text.data(), stdout);
    std::fflush(stdout);
    return static_cast<int>(std::char_traits<char>::length(text.data()));
}

}  // namespace

int runInteractiveTerminal(const Invocation& call) {
    SignalCatcher signals;
    RawKeyboard keyboard(STDIN_FILENO);
    if (keyboard.active()) std::fputs("tov: terminal open, Ctrl-] ends\r\n", stderr);

    std::vector<char> text(kTerminalTextCapacity);
    bool inputOpen = true;
    auto nextPoll = std::chrono::steady_clock::now();
    while (endingSignal == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextPoll) {
            const int shown = showPendingText(call, text);
            if (shown < 0) return kExitFailed;
            nextPoll = now + kPollPeriod;
            // Piped input has ended and the probe has nothing more to say to it.
            if (!inputOpen && shown == 0) return kExitOk;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextPoll - now);
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, inputOpen ? 1 : 0, static_cast<int>(wait.count()));
        if (ready < 0 && errno != EINTR) return reportFailure("term: cannot wait for input");
        if (ready <= 0 || (input.revents & (POLLIN | POLLHUP)) == 0) continue;

        uint8_t keys[64];
        const ssize_t got = read(STDIN_FILENO, keys, sizeof keys);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            inputOpen = false;
            continue;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (keys[i] == kQuitKey) return kExitOk;
            const int32_t result = TOV_TerminalWrite(keys[i]);
            if (result != 0) return reportApiError(call.command, result);
        }
    }
    return 128 + endingSignal;
}

}  // namespace tov::cli
