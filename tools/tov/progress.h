// The progress bar of the long file and flash commands, drawn on standard error while it is a
// terminal and left out entirely otherwise, so that scripts see clean output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "progress_text.h"

namespace tov::cli {

// Shows the library's progress reports for the lifetime of one command.
class ProgressBar {
public:
    // Registers with TOV_ProgressSet when standard error is a terminal; does nothing otherwise.
    explicit ProgressBar(std::string label);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    ~ProgressBar();

    // Removes the callback and ends the bar's line, so that what follows starts on a line of
    // its own. Call it before reporting the command's outcome.
    void finish();

private:
    static void onProgress(uint32_t done, uint32_t total, void* user);

    std::optional<ProgressMeter> meter_;
    int width_ = 80;
};

}  // namespace tov::cli
