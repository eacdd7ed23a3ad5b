// Automatic programming commands of tov: store a job in the probe, remove it, and show what is
// stored (the job record, its init entries and where its images lie in the probe's flash).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "hex.h"
#include "maint/exported_loader_link.h"
#include "maint/loader_requests.h"
#include "output.h"
#include "probe_session.h"
#include "progress.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr uint32_t kRecordAddress = 0x00086000;
constexpr uint32_t kEntriesAddress = 0x00086400;
constexpr uint32_t kSecondAddress = 0x00087000;
constexpr uint32_t kImageAddress = 0x000C0000;
constexpr uint32_t kRecordMagic = 0xCA5001CA;
constexpr size_t kRecordSize = 128;
constexpr uint32_t kSecondSize = 4096;
constexpr size_t kEntrySize = 12;
// Entries lie between the entry area's start and the second image.
constexpr size_t kMostEntries = (kSecondAddress - kEntriesAddress) / kEntrySize;

constexpr std::string_view kEnableSynopsis =
    "TYPE [--paged] [--program FILE] [--second FILE] [--entry W1,W2,W3]... [--b N] [--c N] "
    "[--d N] [--e N] [--f N] [--g N] [--h N]";

uint32_t u32At(const uint8_t* at) {
    return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

// Reads the probe's own flash through the running firmware of the command's connection: 0 or
// an error code.
int32_t readProbeFlash(uint32_t address, uint8_t* out, uint16_t length) {
    maint::ExportedLoaderLink link({}, maint::ExportedLoaderLink::Start::kAlreadyOpen);
    return maint::readFlash(link, address, std::span(out, length));
}

// The three words of one --entry value.
std::array<uint32_t, 3> entryArgument(const Invocation& call, const std::string& text) {
    std::array<uint32_t, 3> words{};
    size_t start = 0;
    for (size_t i = 0; i < 3; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 2) == (comma == std::string::npos)) {
            failUsage(call, "--entry '" + text + "' is not three numbers W1,W2,W3");
        }
        words[i] =
            numberArgument(call, "--entry word", text.substr(start, comma - start), 0xFFFFFFFF);
        start = comma + 1;
    }
    return words;
}

void printEntries() {
    std::array<uint8_t, kEntrySize * 64> chunk;
    size_t count = 0;
    while (count < kMostEntries) {
        const size_t n = std::min<size_t>(64, kMostEntries - count);
        if (readProbeFlash(kEntriesAddress + static_cast<uint32_t>(count * kEntrySize),
                           chunk.data(), static_cast<uint16_t>(n * kEntrySize)) != 0) {
            std::printf("entries:      could not be read\n");
            return;
        }
        for (size_t i = 0; i < n; ++i, ++count) {
            const uint8_t* e = &chunk[i * kEntrySize];
            // The entries simply follow each other; the first erased one ends them.
            if (std::all_of(e, e + kEntrySize, [](uint8_t b) { return b == 0xFF; })) {
                if (count == 0) std::printf("entries:      none\n");
                return;
            }
            if (count == 0) std::printf("entries:\n");
            std::printf("  %3zu: 0x%08X 0x%08X 0x%08X\n", count, u32At(e), u32At(e + 4),
                        u32At(e + 8));
        }
    }
}

// Prints a stretch of the probe's flash as a hex dump, leaving out lines that are erased.
void printFlashDump(const char* title, uint32_t address, uint32_t length) {
    std::printf("%s:\n", title);
    constexpr uint32_t kChunk = 1024;
    std::vector<uint8_t> bytes(kChunk);
    bool any = false;
    for (uint32_t done = 0; done < length; done += kChunk) {
        const uint16_t n = static_cast<uint16_t>(std::min(kChunk, length - done));
        if (readProbeFlash(address + done, bytes.data(), n) != 0) {
            std::printf("  could not be read at 0x%08X\n", address + done);
            return;
        }
        for (uint32_t line = 0; line < n; line += kDumpLineBytes) {
            const size_t count = std::min<size_t>(kDumpLineBytes, n - line);
            const std::span<const uint8_t> row(bytes.data() + line, count);
            if (std::all_of(row.begin(), row.end(), [](uint8_t b) { return b == 0xFF; })) continue;
            std::fputs(formatDump(address + done + line, row).c_str(), stdout);
            any = true;
        }
    }
    if (!any) std::printf("  all erased\n");
}

}  // namespace

int runAutoprog(const Invocation& call) {
    std::vector<std::string> words;
    std::vector<uint32_t> entries;
    std::string program;
    std::string second;
    bool paged = false;
    std::array<uint32_t, 7> letters{};  // b..h
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& arg = call.args[i];
        if (arg == "--paged") {
            paged = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            words.push_back(arg);
            continue;
        }
        if (i + 1 == call.args.size()) failUsage(call, arg + " needs a value");
        const std::string& value = call.args[++i];
        if (arg == "--program") {
            program = value;
        } else if (arg == "--second") {
            second = value;
        } else if (arg == "--entry") {
            for (uint32_t w : entryArgument(call, value)) entries.push_back(w);
        } else if (arg.size() == 3 && arg[2] >= 'b' && arg[2] <= 'h') {
            // b, c and d are 16-bit values; e..h single bytes.
            const uint32_t max = arg[2] <= 'd' ? 0xFFFF : 0xFF;
            letters[static_cast<size_t>(arg[2] - 'b')] = numberArgument(call, arg, value, max);
        } else {
            failUsage(call, "unknown option " + arg);
        }
    }
    if (words.size() != 1) failUsage(call, "expected autoprog " + std::string(kEnableSynopsis));
    const uint32_t type = numberArgument(call, "TYPE", words[0], 0x7FFF);
    if (entries.size() / 3 > 0xFFFF) failUsage(call, "too many entries");

    ProgressBar bar(call.command);
    const int32_t result = TOV_EnableAutoProgHC12(
        call.port.c_str(), static_cast<uint16_t>(type | (paged ? 0x8000 : 0)),
        static_cast<uint16_t>(letters[0]), static_cast<uint16_t>(letters[1]),
        static_cast<uint16_t>(letters[2]), static_cast<uint16_t>(entries.size() / 3),
        entries.data(), static_cast<uint8_t>(letters[3]), static_cast<uint8_t>(letters[4]),
        program.c_str(), static_cast<uint8_t>(letters[5]), static_cast<uint8_t>(letters[6]),
        second.c_str());
    bar.finish();
    if (result != 0) return reportApiError(call.command, result);
    std::printf("stored the automatic programming job (type %u, %zu entries%s%s)\n", type,
                entries.size() / 3, program.empty() ? "" : ", program image",
                second.empty() ? "" : ", second image");
    return kExitOk;
}

int runAutoprogOff(const Invocation& call) {
    requireArgumentCount(call, 0, 0, "");
    const int32_t result = TOV_DisableAutoProgHC12(call.port.c_str());
    if (result != 0) return reportApiError(call.command, result);
    std::printf("removed the automatic programming job\n");
    return kExitOk;
}

int runAutoprogShow(const Invocation& call) {
    requireArgumentCount(call, 0, 1, "[--images]");
    const bool images = call.args.size() == 1;
    if (images && call.args[0] != "--images") failUsage(call, "unknown option " + call.args[0]);
    ProbeSession session(call);
    if (session.failed()) return reportApiError(call.command, session.result());
    std::array<uint8_t, kRecordSize> r;
    const int32_t result = readProbeFlash(kRecordAddress, r.data(), kRecordSize);
    if (result != 0) return reportApiError(call.command, result);
    if (u32At(r.data()) != kRecordMagic) {
        std::printf("no automatic programming job stored\n");
        return kExitOk;
    }
    const std::string text(reinterpret_cast<const char*>(&r[88]),
                           strnlen(reinterpret_cast<const char*>(&r[88]), 40));
    std::printf("job:          %s\n", text.c_str());
    std::printf("type:         %u\n", r[29]);
    std::printf("line rate:    %u\n", u32At(&r[8]));
    std::printf("b c d:        0x%02X 0x%04X 0x%04X\n", r[25], u32At(&r[12]), u32At(&r[16]));
    std::printf("e f g h:      0x%02X 0x%02X 0x%02X 0x%02X\n", r[30], r[31], r[40], r[42]);
    const uint32_t start = u32At(&r[32]);
    const uint32_t length = u32At(&r[36]);
    if (length == 0) {
        std::printf("program:      none\n");
    } else {
        std::printf("program:      %u bytes of image offset 0x%05X-0x%05X (probe flash 0x%08X)\n",
                    length, start, start + length - 1, kImageAddress + start);
    }
    std::printf("second image: %s\n", r[41] == 1 ? "4 KB at probe flash 0x00087000" : "none");
    printEntries();
    if (images) {
        if (length != 0) printFlashDump("program image", kImageAddress + start, length);
        if (r[41] == 1) printFlashDump("second image", kSecondAddress, kSecondSize);
    }
    return kExitOk;
}

}  // namespace tov::cli
