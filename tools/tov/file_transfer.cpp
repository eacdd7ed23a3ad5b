// Options, checks and the transfer run shared by load, verify and flash.
#include "file_transfer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arguments.h"
#include "output.h"
#include "probe_session.h"
#include "progress.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr int32_t kFileAccessFailed = -1207;

}  // namespace

namespace {

// Takes one flash workflow option at args[i]; false when it is none of them.
bool takeFlashOption(const Invocation& call, size_t& i, FileCommandLine& line) {
    const std::string& arg = call.args[i];
    const auto value = [&]() -> const std::string& {
        if (i + 1 == call.args.size()) failUsage(call, arg + " needs a value");
        return call.args[++i];
    };
    if (arg == "--erase") {
        line.eraseNamed = true;
        const std::string& choice = value();
        if (choice == "auto") {
            line.flash.erase = EraseChoice::kAuto;
        } else if (choice == "chip") {
            line.flash.erase = EraseChoice::kChip;
        } else if (choice == "none") {
            line.flash.erase = EraseChoice::kNone;
        } else {
            failUsage(call, "--erase takes auto, chip or none, not '" + choice + "'");
        }
    } else if (arg == "--flash-base") {
        line.flashBase = numberArgument(call, "flash-base", value(), 0xFFFFFFFF);
    } else if (arg == "--flash-size") {
        line.flashSize = numberArgument(call, "flash-size", value(), 0xFFFFFFFF);
        if (*line.flashSize == 0) failUsage(call, "--flash-size must be at least 1");
    } else if (arg == "--sector-size") {
        line.flash.sectorSize = numberArgument(call, "sector-size", value(), 0x80000000);
        // Sectors of flash chips are powers of two; anything else cannot match the chips.
        const uint32_t size = line.flash.sectorSize;
        if ((size & (size - 1)) != 0 || size == 0) {
            failUsage(call, "--sector-size " + call.args[i] + " is not a power of two");
        }
    } else if (arg == "--skip-unchanged") {
        line.flash.skipUnchanged = true;
    } else if (arg == "--dry-run") {
        line.flash.dryRun = true;
    } else if (arg == "--verify") {
        line.flash.verify = true;
        return true;
    } else {
        return false;
    }
    line.flashWorkflowGiven = true;
    return true;
}

}  // namespace

bool takeFileOption(const Invocation& call, size_t& i, FileOptions accepted,
                    FileCommandLine& line) {
    const std::string& arg = call.args[i];
    if (arg == "--format" && accepted.offset) {
        if (i + 1 == call.args.size()) failUsage(call, arg + " needs a value");
        const std::string& name = call.args[++i];
        if (name == "srec") {
            line.format = files::ImageFormat::SRecord;
        } else if (name == "ihex") {
            line.format = files::ImageFormat::IntelHex;
        } else if (name == "elf") {
            line.format = files::ImageFormat::Elf;
        } else if (name == "bin") {
            line.format = files::ImageFormat::Unknown;
        } else {
            failUsage(call, "--format takes srec, ihex, elf or bin, not '" + name + "'");
        }
        return true;
    }
    const bool isOffset = arg == "--offset" && accepted.offset;
    const bool isBase = arg == "--base" && accepted.base;
    const bool isType = arg == "--type" && accepted.type;
    const bool isSelect = arg == "--select" && accepted.select;
    if (!isOffset && !isBase && !isType && !isSelect)
        return accepted.flash && takeFlashOption(call, i, line);
    if (i + 1 == call.args.size()) failUsage(call, arg + " needs a value");
    const std::string& value = call.args[++i];
    if (isOffset) {
        line.offset = numberArgument(call, "offset", value, 0xFFFFFFFF);
    } else if (isBase) {
        line.base = numberArgument(call, "base", value, 0xFFFFFFFF);
    } else if (isSelect) {
        line.selection = numberArgument(call, "select", value, 0xFFFFFFFF);
    } else {
        line.typeText = value;
    }
    return true;
}

FileCommandLine splitFileOptions(const Invocation& call, FileOptions accepted) {
    FileCommandLine line;
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& arg = call.args[i];
        if (takeFileOption(call, i, accepted, line)) continue;
        if (arg.starts_with("--")) failUsage(call, "unknown option " + arg);
        line.words.push_back(arg);
    }
    return line;
}

FlashSetup requireFlashSetup(const Invocation& call, const FileCommandLine& line) {
    std::string text;
    std::string origin = "--type";
    if (line.typeText) {
        text = *line.typeText;
    } else if (const char* fromEnvironment = std::getenv(kFlashTypeVariable.data());
               fromEnvironment != nullptr && *fromEnvironment != '\0') {
        text = fromEnvironment;
        origin = "$" + std::string(kFlashTypeVariable);
    } else {
        failUsage(call,
                  "the flash set-up is missing: give --type TYPE,CHIPSIZE,BUSBITS,WORKSPACE "
                  "(or an on-chip set-up, see tov flash-type) or set " +
                      std::string(kFlashTypeVariable) + " (see tov flash-type)");
    }
    const std::optional<FlashSetup> setup = parseFlashSetup(text);
    if (!setup) {
        failUsage(call, origin + " '" + text +
                            "' is not TYPE,CHIPSIZE,BUSBITS,WORKSPACE, hc12:VARIANT,TYPE,BUSBITS,"
                            "FLASHSIZE,WORKSPACE[,paged], 555:TYPE,PARAMETER,WORKSPACE, "
                            "uc3f:TYPE,WORKSPACE or sgfm:PARAMETER,WORKSPACE (decimal or 0x hex "
                            "numbers)");
    }
    // The library checks an external set-up without sending anything; the set-up made here is
    // reset by the connection and made again after it. On-chip set-ups talk to the probe, so
    // they are checked once connected.
    if (setup->kind != FlashKind::kExternal) return *setup;
    const int32_t result = applyFlashSetup(*setup);
    if (result != 0) {
        failUsage(call, origin + " '" + text + "': " + refusedSetupText(result));
    }
    // Set-ups the library takes but no flash can have fail in the probe only after the
    // connection; they are refused here.
    if (setup->chipSize == 0) {
        failUsage(call, origin + " '" + text + "': the chip size is 0");
    }
    const uint32_t busBytes = setup->busBits / 8u;
    if (line.flash.sectorSize != 0 && line.flash.sectorSize < busBytes) {
        failUsage(call, "--sector-size " + std::to_string(line.flash.sectorSize) +
                            " is below the bus width of " + std::to_string(busBytes) + " bytes");
    }
    return *setup;
}

std::string refusedSetupText(int32_t code) {
    return std::string(TOV_ErrorTextGet(code)) +
           " (an unknown flash type, or a bus width other than 8, 16, 32 or 64)";
}

int32_t applyFlashSetup(const FlashSetup& setup) {
    switch (setup.kind) {
        case FlashKind::kPaged:
            return TOV_FlashSetupHC12(
                setup.variant, static_cast<uint16_t>(setup.type | (setup.paged ? 0x8000 : 0)),
                setup.busBits, setup.chipSize, setup.workspace);
        case FlashKind::kRows:
            return TOV_FlashSetup555(setup.type, setup.parameter, setup.workspace);
        case FlashKind::kUc3f:
            return TOV_FlashSetupUC3F(setup.type, setup.workspace);
        case FlashKind::kSgfm:
            return TOV_FlashSetupSGFM(setup.parameter, setup.workspace);
        case FlashKind::kExternal:
            break;
    }
    return TOV_FlashSetType(setup.type, setup.chipSize, 0, setup.busBits, setup.workspace);
}

std::optional<uint64_t> readableFileSize(const Invocation& call, const std::string& path) {
    // Checked before the probe is connected, so a misspelt name costs no connection; the library
    // reports the same failure with its own text later, should the file vanish meanwhile.
    struct stat status {};
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr || fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        const std::string reason = file == nullptr ? std::strerror(errno) : "not a regular file";
        if (file != nullptr) std::fclose(file);
        reportFailure(call.command + ": " + TOV_ErrorTextGet(kFileAccessFailed) + " (" + path +
                      ": " + reason + ")");
        return std::nullopt;
    }
    std::fclose(file);
    return static_cast<uint64_t>(status.st_size);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TOV_ImageOptions imageOptionsFor(const FileCommandLine& line) {
    TOV_ImageOptions options{};
    if (line.format) {
        switch (*line.format) {
            case files::ImageFormat::SRecord:
                options.format = TOV_IMAGE_SREC;
                break;
            case files::ImageFormat::IntelHex:
                options.format = TOV_IMAGE_IHEX;
                break;
            case files::ImageFormat::Elf:
                options.format = TOV_IMAGE_ELF;
                break;
            case files::ImageFormat::Unknown:
                options.format = TOV_IMAGE_BIN;
                break;
        }
    }
    options.offset = line.offset;
    if (line.base) {
        options.base = *line.base;
        options.hasBase = 1;
    }
    return options;
}

std::optional<files::Image> requireImage(const Invocation& call, const FileCommandLine& line) {
    const std::string& path = line.words[0];
    if (!readableFileSize(call, path)) return std::nullopt;
    files::ImageRequest request;
    request.format = line.format;
    request.offset = line.offset;
    request.base = line.base;
    files::Image image;
    std::string error;
    if (files::readImage(path, request, image, error)) return image;
    // A malformed S-record file is reported as the library reports it; other formats say what
    // they are not.
    if (image.format == files::ImageFormat::SRecord && !line.base) {
        reportFailure(call.command + ": " + TOV_ErrorTextGet(kFileAccessFailed) + " (" + error +
                      ")");
    } else {
        reportFailure(call.command + ": " + error);
    }
    return std::nullopt;
}

std::string dataSummary(const FileData& data, uint32_t offset) {
    std::string text = std::to_string(data.dataBytes) + " data bytes";
    if (!data.ranges.empty()) text += " at " + formatRanges(data.ranges);
    if (offset != 0) {
        char item[32];
        std::snprintf(item, sizeof item, ", offset 0x%08X", static_cast<unsigned>(offset));
        text += item;
    }
    return text;
}

int reportTransferError(const Invocation& call, int32_t result, uint32_t detail) {
    reportApiError(call.command, result);
    if (detail != 0) {
        std::fprintf(stderr, "tov: %s: probe error detail 0x%08X\n", call.command.c_str(),
                     static_cast<unsigned>(detail));
    }
    return kExitFailed;
}

int runFileTransfer(const Invocation& call, const FileCommandLine& line, ImageFunction function,
                    const std::string& verb) {
    const std::string& path = line.words[0];
    const std::optional<files::Image> image = requireImage(call, line);
    if (!image) return kExitFailed;
    const FileData data = fileDataOf(*image);

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    const auto start = std::chrono::steady_clock::now();
    uint32_t detail = 0;
    const TOV_ImageOptions options = imageOptionsFor(line);
    ProgressBar bar(
        call.command, [](uint64_t done) { return done; }, data.dataBytes);
    const int32_t result = function(path.c_str(), &options, &detail);
    bar.finish();
    if (result != 0) return reportTransferError(call, result, detail);
    std::printf("%s %s (%s) in %.2f s\n", verb.c_str(), path.c_str(),
                dataSummary(data, line.offset).c_str(), secondsSince(start));
    return kExitOk;
}

}  // namespace tov::cli
