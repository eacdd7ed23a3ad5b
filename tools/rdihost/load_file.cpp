// Loading files: contiguous runs of an S-record file, or a binary file, written in chunks
// between the begin-download and end-download requests.
#include "load_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "debugger.h"
#include "files/srecord_reader.h"

namespace tov::rdihost {
namespace {

// Writes a run of consecutive bytes in chunks; the first failing write ends it.
int writeRun(Debugger& d, uint32_t address, const std::vector<uint8_t>& data) {
    for (size_t done = 0; done < data.size();) {
        unsigned count =
            static_cast<unsigned>(std::min<size_t>(d.options().chunk, data.size() - done));
        const int rc = d.rdi().write(d.module(), data.data() + done,
                                     static_cast<ARMword>(address + done), &count, 0);
        if (rc != RDIError_NoError) return rc;
        done += count;
    }
    return RDIError_NoError;
}

constexpr size_t kLargestRun = 1 << 20;

// Hands every contiguous run of the file to `sink`; false when the file is unreadable.
template <typename Sink>
bool forEachRun(const std::string& path, Sink sink) {
    files::SRecordReader reader;
    if (!reader.open(path.c_str())) return false;
    files::SRecord record;
    std::vector<uint8_t> run;
    uint32_t runAddress = 0;
    files::SRecordReader::Status status;
    while ((status = reader.next(record)) == files::SRecordReader::Status::kRecord) {
        // A run is handed on when it breaks and, so that memory stays bounded, every MiB.
        if (!run.empty() &&
            (record.address != runAddress + run.size() || run.size() >= kLargestRun)) {
            if (!sink(runAddress, run)) return true;
            run.clear();
        }
        if (run.empty()) runAddress = record.address;
        run.insert(run.end(), record.data, record.data + record.length);
    }
    if (status != files::SRecordReader::Status::kEnd) {
        std::fprintf(stderr, "rdihost: %s: bad S-record at line %llu\n", path.c_str(),
                     static_cast<unsigned long long>(reader.lineNumber()));
        return false;
    }
    if (!run.empty()) sink(runAddress, run);
    return true;
}

// The start address of the termination record (S7, S8 or S9); nothing without one or with 0.
std::optional<uint32_t> startAddress(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 4 || line[0] != 'S' || line[1] < '7' || line[1] > '9') continue;
        const size_t digits = 2 * static_cast<size_t>('9' - line[1] + 2);  // S7: 4 bytes
        if (line.size() < 4 + digits) return std::nullopt;
        // strtoul's end pointer points into the text, so the text must outlive the check.
        const std::string field = line.substr(4, digits);
        char* end = nullptr;
        const unsigned long address = std::strtoul(field.c_str(), &end, 16);
        if (*end != '\0' || address == 0) return std::nullopt;
        return static_cast<uint32_t>(address);
    }
    return std::nullopt;
}

bool isSRecordFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char first = 0;
    return in.read(&first, 1) && first == 'S';
}

}  // namespace

bool loadFile(Debugger& d, const std::string& path, uint32_t address) {
    // Only a regular file has an end; a device or a folder is refused before it is read, and
    // a binary file must fit between its address and the end of the 32-bit address space.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "rdihost: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "rdihost: %s is not a regular file\n", path.c_str());
        return false;
    }
    const bool sRecords = isSRecordFile(path);
    const uint64_t room = (uint64_t{1} << 32) - address;
    if (!sRecords && static_cast<uint64_t>(info.st_size) > room) {
        std::fprintf(stderr,
                     "rdihost: %s: %llu bytes do not fit between 0x%08X and the end of the "
                     "address space\n",
                     path.c_str(), static_cast<unsigned long long>(info.st_size), address);
        return false;
    }
    std::ifstream probe(path, std::ios::binary);
    if (!probe) {
        std::fprintf(stderr, "rdihost: cannot read %s\n", path.c_str());
        return false;
    }
    ARMword unused = 0;
    int rc = d.rdi().info(d.module(), RDIInfo_BeginDownload, &unused, nullptr);
    if (rc != RDIError_NoError) {
        std::printf("load failed: RDI error %d\n", rc);
        return false;
    }
    uint64_t total = 0;
    int writeResult = RDIError_NoError;
    auto sink = [&](uint32_t at, const std::vector<uint8_t>& data) {
        writeResult = writeRun(d, at, data);
        total += data.size();
        return writeResult == RDIError_NoError;
    };
    bool readable = true;
    if (sRecords) {
        readable = forEachRun(path, sink);
    } else {
        // Read in pieces, so that a large image is never held whole.
        std::vector<uint8_t> piece;
        for (uint64_t done = 0; done < room;) {
            piece.resize(kLargestRun);
            probe.read(reinterpret_cast<char*>(piece.data()),
                       static_cast<std::streamsize>(kLargestRun));
            piece.resize(static_cast<size_t>(probe.gcount()));
            if (piece.empty() || done + piece.size() > room) break;
            if (!sink(static_cast<uint32_t>(address + done), piece)) break;
            done += piece.size();
        }
    }
    // The end request runs the postload commands also after a failure, and reports the result.
    rc = d.rdi().info(d.module(), RDIInfo_EndDownload, &unused, nullptr);
    if (!readable) return false;
    if (writeResult != RDIError_NoError || rc != RDIError_NoError) {
        std::printf("load failed: RDI error %d\n",
                    writeResult != RDIError_NoError ? writeResult : rc);
        return false;
    }
    std::printf("loaded %llu bytes\n", static_cast<unsigned long long>(total));
    // As a debugger does after loading an image, the PC goes to the file's start address.
    if (const std::optional<uint32_t> start = isSRecordFile(path) ? startAddress(path)
                                                                    : std::nullopt) {
        constexpr unsigned kCurrentMode = 255;
        constexpr uint32_t kPcBit = 1u << 16;
        const ARMword pc = *start;
        rc = d.rdi().CPUwrite(d.module(), kCurrentMode, kPcBit, &pc);
        if (rc != RDIError_NoError) {
            std::printf("setting the PC failed: RDI error %d\n", rc);
            return false;
        }
        std::printf("pc 0x%08lX\n", static_cast<unsigned long>(pc));
    }
    return true;
}

}  // namespace tov::rdihost
