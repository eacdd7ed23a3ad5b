// The steps the file and flash commands share: their options, the checks made before a port is
// opened, and the run of one image transfer with its progress bar and summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "file_data.h"
#include "files/flash_plan.h"
#include "files/image_file.h"
#include "flash_setup.h"
#include "tovlink.h"

namespace tov::cli {

using files::EraseChoice;
using files::FlashOptions;

// The words of a file or flash command with its options taken out.
struct FileCommandLine {
    std::vector<std::string> words;
    uint32_t offset = 0;
    std::optional<uint32_t> base;              // --base: where a raw binary goes
    std::optional<std::string> typeText;       // the --type text as given
    uint32_t selection = 0;                    // --select: which blocks an on-chip erase takes
    files::FlashOptions flash;                 // the flash workflow options of tov flash
    bool eraseNamed = false;                   // --erase was given
    std::optional<uint32_t> flashBase;         // --flash-base: where the flash lies
    std::optional<uint32_t> flashSize;         // --flash-size: how large it is
    std::optional<files::ImageFormat> format;  // --format: forced file format
    bool flashWorkflowGiven = false;  // any of --erase, --sector-size, --skip-unchanged, --dry-run
};

// Which options a command takes.
struct FileOptions {
    bool offset = false;
    bool base = false;
    bool type = false;
    bool select = false;
    bool flash = false;  // --erase, --sector-size, --skip-unchanged, --verify, --dry-run
};

// Takes --offset N, --base ADDR, --type TEXT, --select N and the flash workflow options out of
// the arguments; a UsageError for an option the command does not take, a missing value or a bad
// number.
FileCommandLine splitFileOptions(const Invocation& call, FileOptions accepted);

// Takes the one option at call.args[i] into `line` when it is one of `accepted` (moving `i` past
// its value); false when it is none of them. For commands with options of their own beside these.
bool takeFileOption(const Invocation& call, size_t& i, FileOptions accepted, FileCommandLine& line);

// The flash set-up from --type, else from $TOV_FLASH_TYPE, checked by TOV_FlashSetType (which
// sends nothing); a UsageError when there is none or it is refused.
FlashSetup requireFlashSetup(const Invocation& call, const FileCommandLine& line);

// The library's text for a refused set-up with a hint at what it refuses.
std::string refusedSetupText(int32_t code);

// Hands the set-up to the library again after TOV_Connect has reset it; 0 or the library's code.
int32_t applyFlashSetup(const FlashSetup& setup);

// The size of the file at `path`, or nullopt after reporting why it cannot be read.
std::optional<uint64_t> readableFileSize(const Invocation& call, const std::string& path);

// The library's options for reading the line's file as it was read by requireImage.
TOV_ImageOptions imageOptionsFor(const FileCommandLine& line);

// Reads the line's file whole before anything is sent, or returns nullopt after reporting why it
// cannot be used (the system's reason, or the place and what is wrong with it).
std::optional<files::Image> requireImage(const Invocation& call, const FileCommandLine& line);

// "N data bytes at RANGES[, offset 0x...]" for the summary lines.
std::string dataSummary(const FileData& data, uint32_t offset);

// Reports a failed file function with the library's explanation and the probe's detail word.
int reportTransferError(const Invocation& call, int32_t result, uint32_t detail);

// An image call of the library: path, options, error detail out.
using ImageFunction = int32_t (*)(const char*, const TOV_ImageOptions*, uint32_t*);

// Connects, runs `function` on the line's file (at its offset, a raw binary at its base) with a
// progress bar, and prints "VERB FILE (N data bytes at RANGES) in T s" or the error with its
// explanation.
int runFileTransfer(const Invocation& call, const FileCommandLine& line, ImageFunction function,
                    const std::string& verb);

// tov flash: plans, erases, programs and verifies as the options ask (flash_workflow.cpp).
int runFlashWorkflow(const Invocation& call, const FileCommandLine& line, const FlashSetup& setup);

// Seconds since `start`, for the summary lines.
double secondsSince(std::chrono::steady_clock::time_point start);

}  // namespace tov::cli
