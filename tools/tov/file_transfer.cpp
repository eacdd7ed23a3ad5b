// Options, checks and the transfer run shared by load, verify and flash.
#include "file_transfer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arguments.h"
#include "image_input.h"
#include "output.h"
#include "probe_session.h"
#include "progress.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr int32_t kFileAccessFailed = -1207;

}  // namespace

FileCommandLine splitFileOptions(const Invocation& call, FileOptions accepted) {
    FileCommandLine line;
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& arg = call.args[i];
        const bool isOffset = arg == "--offset" && accepted.offset;
        const bool isType = arg == "--type" && accepted.type;
        const bool isSelect = arg == "--select" && accepted.select;
        if (isOffset || isType || isSelect) {
            if (i + 1 == call.args.size()) failUsage(call, arg + " needs a value");
            const std::string& value = call.args[++i];
            if (isOffset) {
                line.offset = numberArgument(call, "offset", value, 0xFFFFFFFF);
            } else if (isSelect) {
                line.selection = numberArgument(call, "select", value, 0xFFFFFFFF);
            } else {
                line.typeText = value;
            }
        } else if (arg.starts_with("--")) {
            failUsage(call, "unknown option " + arg);
        } else {
            line.words.push_back(arg);
        }
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

int runFileTransfer(const Invocation& call, const std::string& path, uint32_t offset,
                    FileFunction function, const std::string& verb,
                    const std::optional<FlashSetup>& flash) {
    const std::optional<uint64_t> size = readableFileSize(call, path);
    if (!size) return kExitFailed;
    ImageInput input;
    if (std::string error; !input.prepare(path, error))
        return reportFailure(call.command + ": " + error);

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    if (flash) {
        const int32_t result = applyFlashSetup(*flash);
        if (result != 0) return reportApiError(call.command, result);
    }
    const auto start = std::chrono::steady_clock::now();
    uint32_t detail = 0;
    ProgressBar bar(call.command);
    const int32_t result = function(input.path().c_str(), offset, &detail);
    bar.finish();
    if (result != 0) {
        reportApiError(call.command, result);
        if (detail != 0) {
            std::fprintf(stderr, "tov: %s: probe error detail 0x%08X\n", call.command.c_str(),
                         static_cast<unsigned>(detail));
        }
        return kExitFailed;
    }
    std::printf("%s %s (%llu bytes", verb.c_str(), path.c_str(),
                static_cast<unsigned long long>(*size));
    if (offset != 0) std::printf(", offset 0x%08X", static_cast<unsigned>(offset));
    std::printf(") in %.2f s\n", secondsSince(start));
    return kExitOk;
}

}  // namespace tov::cli
