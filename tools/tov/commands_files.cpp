// File commands of tov: load a program file (S-records, Intel HEX, ELF or a raw binary at --base)
// into target memory, verify memory against one, and dump memory into an S-record file.
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "arguments.h"
#include "commands.h"
#include "exit_cleanup.h"
#include "file_transfer.h"
#include "files/srecord_writer.h"
#include "output.h"
#include "probe_session.h"
#include "progress.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr uint64_t kAddressSpace = 0x100000000ULL;

}  // namespace

int runLoad(const Invocation& call) {
    const FileCommandLine line = splitFileOptions(call, {.offset = true, .base = true});
    if (line.words.size() != 1) failUsage(call, "expected load FILE [--offset N] [--base ADDR]");
    return runFileTransfer(call, line, TOV_ImageLoad2, "loaded");
}

int runVerify(const Invocation& call) {
    const FileCommandLine line = splitFileOptions(call, {.offset = true, .base = true});
    if (line.words.size() != 1) failUsage(call, "expected verify FILE [--offset N] [--base ADDR]");
    return runFileTransfer(call, line, TOV_ImageVerify2, "verified");
}

int runDump(const Invocation& call) {
    const FileCommandLine line = splitFileOptions(call, {});
    if (line.words.size() != 3) failUsage(call, "expected dump ADDR COUNT FILE");
    const uint32_t address = numberArgument(call, "ADDR", line.words[0], 0xFFFFFFFF);
    const uint32_t count = numberArgument(call, "COUNT", line.words[1], 0xFFFFFFFF);
    const std::string& path = line.words[2];
    if (count == 0) failUsage(call, "COUNT must be at least 1");
    if (address + uint64_t{count} > kAddressSpace) {
        failUsage(call, "the range runs past address 0xFFFFFFFF");
    }

    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    // Should the run be ended by a signal, no file the dump makes is left: neither a new
    // target written directly nor the named temporary file beside an old one.
    struct stat info {};
    const bool existed = ::lstat(path.c_str(), &info) == 0;
    const CleanupSlot created = existed ? -1 : cleanupPath(path);
    const CleanupSlot temporary = cleanupPath(
        files::SRecordWriter::processTemporary(files::SRecordWriter::replacedFile(path.c_str())));
    const auto start = std::chrono::steady_clock::now();
    ProgressBar bar(call.command);
    const int32_t result = TOV_DumpFileFast(path.c_str(), address, count);
    bar.finish();
    forgetCleanup(temporary);
    forgetCleanup(created);
    if (result != 0) return reportApiError(call.command, result);
    std::printf("dumped %u bytes from 0x%08X to %s in %.2f s\n", static_cast<unsigned>(count),
                static_cast<unsigned>(address), path.c_str(), secondsSince(start));
    return kExitOk;
}

}  // namespace tov::cli
