// The progress bar of the long file and flash commands, drawn on standard error while it is a
// terminal (or when asked for) and left out otherwise, so that scripts see clean output.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "progress_text.h"

namespace tov::cli {

// When the bar is drawn: on a terminal only (default), always, or never.
enum class ProgressMode { kTerminal, kAlways, kNever };
void setProgressMode(ProgressMode mode);

// Shows the library's progress reports for the lifetime of one command. While it lives, Ctrl-C
// (or SIGTERM) ends the bar's line, says what was interrupted and how far it got, and removes
// what the run registered for cleanup (exit_cleanup.h) before tov exits.
class ProgressBar {
public:
    // Turns the library's units (for file calls: bytes of the file read) into the data bytes
    // shown; the total is given by the caller.
    using Translate = std::function<uint64_t(uint64_t done)>;

    // Registers with TOV_ProgressSet when the bar is to be drawn; does nothing otherwise.
    explicit ProgressBar(std::string label);
    // As above; `translate` maps each report onto `total` data bytes.
    ProgressBar(std::string label, Translate translate, uint64_t total);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar();

    // Removes the callback and ends the bar's line, so that what follows starts on a line of
    // its own. Call it before reporting the command's outcome.
    void finish();

private:
    static void onProgress(uint32_t done, uint32_t total, void* user);

    std::optional<ProgressMeter> meter_;
    Translate translate_;
    uint64_t total_ = 0;
    int width_ = 80;
    bool interruptArmed_ = false;
};

}  // namespace tov::cli
