// Drawing the progress bar on a terminal's standard error.
#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr int kDefaultWidth = 80;

int terminalWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultWidth;
}

}  // namespace

ProgressBar::ProgressBar(std::string label) {
    if (isatty(STDERR_FILENO) == 0) return;
    // One column is kept free so that a full line does not wrap on terminals that wrap early.
    width_ = terminalWidth() - 1;
    meter_.emplace(std::move(label), ProgressMeter::Clock::now());
    TOV_ProgressSet(&ProgressBar::onProgress, this);
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::finish() {
    if (!meter_) return;
    TOV_ProgressSet(nullptr, nullptr);
    if (meter_->drawn()) std::fputc('\n', stderr);
    meter_.reset();
}

void ProgressBar::onProgress(uint32_t done, uint32_t total, void* user) {
    auto* bar = static_cast<ProgressBar*>(user);
    if (!bar->meter_) return;
    const std::optional<std::string> line =
        bar->meter_->update(done, total, ProgressMeter::Clock::now(), bar->width_);
    if (!line) return;
    // Back to the line's start, the new text, and the rest of an older, longer line cleared.
    std::fprintf(stderr, "\r%s\033[K", line->c_str());
    std::fflush(stderr);
}

}  // namespace tov::cli
