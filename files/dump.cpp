// Reading target memory into a buffer or into an S-record file.
#include <algorithm>
#include <cstdio>
#include <string>

#include "files/files_session.h"
#include "files/srecord_writer.h"
#include "link/error_codes.h"
#include "link/error_detail.h"

namespace tov::files {
namespace {

constexpr uint32_t kRecordData = 32;
constexpr uint32_t kLargestRead = 1024;

std::string describeFailedRead(uint32_t address, uint32_t length) {
    char text[96];
    std::snprintf(text, sizeof text, "reading %u bytes at 0x%08X failed", length, address);
    return text;
}

}  // namespace

int32_t FilesSession::dumpBlock(uint32_t address, uint16_t length, uint8_t* buffer) {
    // Every memory read of the dump functions passes here, so that a set-up needing the probe
    // in write mode before a read is served in one place: with a paged on-chip flash set up, the
    // probe must leave its flash mode before the target's memory can be read.
    if (mode_.paged.active()) {
        mode_.current = WriteModeState::kWrite;
        const int32_t rc = sendSetWriteMode(link_, WriteModeState::kWrite, mode_.accessCode, 0, 0,
                                            mode_.modeParameter);
        if (rc != link::kOk) return rc;
    }
    return target_.memoryRead(address, 0, length, buffer);
}

int32_t FilesSession::dumpFile(const char* path, uint32_t address, uint32_t count,
                               DumpReads reads) {
    link::clearErrorDetail();
    SRecordWriter writer;
    if (!writer.create(path)) {
        link::setErrorDetail(writer.error());
        return link::kFileAccessFailed;
    }
    // Chosen once for the whole range; computed without wrapping so that a range ending beyond
    // 4 GB still gets 4-byte addresses.
    const uint8_t type = count == 0 ? 1 : recordTypeFor(uint64_t{address} + count - 1);
    // Large reads are a whole number of records, so both read sizes lay out the same records.
    const uint32_t readSize = reads == DumpReads::kLarge ? kLargestRead : kRecordData;
    int32_t rc = link::kOk;
    uint8_t piece[kLargestRead];
    for (uint32_t done = 0; done < count && rc == link::kOk;) {
        const auto length = static_cast<uint16_t>(std::min(count - done, readSize));
        const uint32_t at = address + done;
        rc = dumpBlock(at, length, piece);
        if (rc != link::kOk) {
            // The link's own reason (a port that went away) is kept behind the range.
            const std::string why = link::errorDetail();
            link::setErrorDetail(describeFailedRead(at, length) + (why.empty() ? "" : ": " + why));
            break;
        }
        for (uint32_t off = 0; off < length; off += kRecordData) {
            const uint32_t record = std::min<uint32_t>(length - off, kRecordData);
            if (!writer.write(type, at + off, piece + off, record)) {
                rc = link::kFileAccessFailed;
                break;
            }
        }
        done += length;
        reportProgress(done, count);
    }
    if (rc != link::kOk) {
        if (rc == link::kFileAccessFailed) link::setErrorDetail(writer.error());
        writer.discard();
        return rc;
    }
    if (!writer.close()) {
        link::setErrorDetail(writer.error());
        return link::kFileAccessFailed;
    }
    return link::kOk;
}

}  // namespace tov::files
