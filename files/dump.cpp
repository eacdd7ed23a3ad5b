// Reading target memory into a buffer or into an S-record file.
#include <algorithm>

#include "files/files_session.h"
#include "files/srecord_writer.h"
#include "link/error_codes.h"

namespace tov::files {
namespace {

constexpr uint32_t kRecordData = 32;

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

int32_t FilesSession::dumpFile(const char* path, uint32_t address, uint32_t count) {
    SRecordWriter writer;
    if (!writer.create(path)) return link::kFileAccessFailed;
    // Chosen once for the whole range; computed without wrapping so that a range ending beyond
    // 4 GB still gets 4-byte addresses.
    const uint8_t type = count == 0 ? 1 : recordTypeFor(uint64_t{address} + count - 1);
    int32_t rc = link::kOk;
    uint8_t piece[kRecordData];
    for (uint32_t done = 0; done < count && rc == link::kOk;) {
        const auto length = static_cast<uint16_t>(std::min(count - done, kRecordData));
        const uint32_t at = address + done;
        rc = dumpBlock(at, length, piece);
        if (rc != link::kOk) break;
        if (!writer.write(type, at, piece, length)) rc = link::kFileAccessFailed;
        done += length;
        reportProgress(done, count);
    }
    if (!writer.close() && rc == link::kOk) rc = link::kFileAccessFailed;
    return rc;
}

}  // namespace tov::files
