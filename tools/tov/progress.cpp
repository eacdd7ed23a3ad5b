// Drawing the progress bar on standard error, and ending it cleanly on Ctrl-C.
#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "exit_cleanup.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr int kDefaultWidth = 80;
// The exit status of a run ended by a signal, as a shell reports it: 128 plus its number.
constexpr int kSignalExitBase = 128;
constexpr int kStopSignals[] = {SIGINT, SIGTERM};

ProgressMode progressMode = ProgressMode::kTerminal;

// What the Ctrl-C handler says; filled before the handler is armed, read only inside it.
char interruptLabel[64];
std::atomic<uint64_t> interruptDone{0};
std::atomic<uint64_t> interruptTotal{0};
std::atomic<bool> interruptLineOpen{false};
struct sigaction previousActions[2]{};

int terminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultWidth;
}

// Appends the decimal digits of `value`; only calls that are safe in a signal handler.
size_t putNumber(char* out, uint64_t value) {
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    return n;
}

void onInterrupt(int signo) {
    char text[192];
    size_t used = 0;
    const auto put = [&](const char* part) {
        const size_t n = std::strlen(part);
        std::memcpy(text + used, part, n);
        used += n;
    };
    if (interruptLineOpen.load()) put("\n");
    put("tov: ");
    put(interruptLabel);
    put(": interrupted after ");
    used += putNumber(text + used, interruptDone.load());
    put(" of ");
    used += putNumber(text + used, interruptTotal.load());
    put(" bytes\n");
    const ssize_t written = ::write(STDERR_FILENO, text, used);
    (void)written;
    // What the run made on its way (a simulator and its folder, a dump's files) goes with it.
    runCleanup();
    _exit(kSignalExitBase + signo);
}

}  // namespace

void setProgressMode(ProgressMode mode) {
    progressMode = mode;
}

ProgressBar::ProgressBar(std::string label) : ProgressBar(std::move(label), nullptr, 0) {}

ProgressBar::ProgressBar(std::string label, Translate translate, uint64_t total)
    : translate_(std::move(translate)), total_(total) {
    std::snprintf(interruptLabel, sizeof interruptLabel, "%s", label.c_str());
    interruptDone = 0;
    interruptTotal = total;
    interruptLineOpen = false;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signo : kStopSignals) sigaddset(&action.sa_mask, signo);
    interruptArmed_ = sigaction(SIGINT, &action, &previousActions[0]) == 0 &&
                      sigaction(SIGTERM, &action, &previousActions[1]) == 0;

    const bool draw = progressMode == ProgressMode::kAlways ||
                      (progressMode == ProgressMode::kTerminal && isatty(STDERR_FILENO) != 0);
    if (draw) {
        // One column is kept free so that a full line does not wrap on terminals that wrap early.
        width_ = (isatty(STDERR_FILENO) != 0 ? terminalWidth() : kDefaultWidth) - 1;
        meter_.emplace(std::move(label), ProgressMeter::Clock::now());
    }
    TOV_ProgressSet(&ProgressBar::onProgress, this);
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::finish() {
    if (interruptArmed_) {
        sigaction(SIGINT, &previousActions[0], nullptr);
        sigaction(SIGTERM, &previousActions[1], nullptr);
        interruptArmed_ = false;
    }
    TOV_ProgressSet(nullptr, nullptr);
    if (meter_ && meter_->drawn()) std::fputc('\n', stderr);
    meter_.reset();
}

void ProgressBar::onProgress(uint32_t done, uint32_t total, void* user) {
    auto* bar = static_cast<ProgressBar*>(user);
    uint64_t shownDone = done;
    uint64_t shownTotal = total;
    if (bar->translate_) {
        shownDone = bar->translate_(done);
        shownTotal = bar->total_;
    }
    interruptDone = shownDone;
    interruptTotal = shownTotal;
    if (!bar->meter_) return;
    const std::optional<std::string> line =
        bar->meter_->update(shownDone, shownTotal, ProgressMeter::Clock::now(), bar->width_);
    if (!line) return;
    // Back to the line's start, the new text, and the rest of an older, longer line cleared.
    std::fprintf(stderr, "\r%s\033[K", line->c_str());
    std::fflush(stderr);
    interruptLineOpen = true;
}

}  // namespace tov::cli
