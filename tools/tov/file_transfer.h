// The steps the file and flash commands share: their options, the checks made before a port is
// opened, and the run of one S-record transfer with its progress bar and summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "flash_setup.h"

namespace tov::cli {

// The words of a file or flash command with its options taken out.
struct FileCommandLine {
    std::vector<std::string> words;
    uint32_t offset = 0;
    std::optional<std::string> typeText;  // the --type text as given
    uint32_t selection = 0;               // --select: which blocks an on-chip erase takes
};

// Which options a command takes.
struct FileOptions {
    bool offset = false;
    bool type = false;
    bool select = false;
};

// Takes --offset N, --type TEXT and --select N out of the arguments; a UsageError for an option the command
// does not take, a missing value or a bad offset.
FileCommandLine splitFileOptions(const Invocation& call, FileOptions accepted);

// The flash set-up from --type, else from $TOV_FLASH_TYPE, checked by TOV_FlashSetType (which
// sends nothing); a UsageError when there is none or it is refused.
FlashSetup requireFlashSetup(const Invocation& call, const FileCommandLine& line);

// The library's text for a refused set-up with a hint at what it refuses.
std::string refusedSetupText(int32_t code);

// Hands the set-up to the library again after TOV_Connect has reset it; 0 or the library's code.
int32_t applyFlashSetup(const FlashSetup& setup);

// The size of the S-record file at `path`, or nullopt after reporting why it cannot be read.
std::optional<uint64_t> readableFileSize(const Invocation& call, const std::string& path);

// A file function of the library: path, offset, error detail out.
using FileFunction = int32_t (*)(const char*, uint32_t, uint32_t*);

// Connects, sets the flash up when a set-up is given, runs `function` on the file with a progress
// bar, and prints "VERB FILE (N bytes) in T s" or the error with the probe's detail.
int runFileTransfer(const Invocation& call, const std::string& path, uint32_t offset,
                    FileFunction function, const std::string& verb,
                    const std::optional<FlashSetup>& flash);

// Seconds since `start`, for the summary lines.
double secondsSince(std::chrono::steady_clock::time_point start);

}  // namespace tov::cli
