// Loading S-record files into target memory and verifying memory against them: records are
// gathered into contiguous blocks of up to 1024 bytes and sent through the bulk download.
#include <algorithm>
#include <cstring>
#include <string>

#include "files/files_session.h"
#include "files/paged_map.h"
#include "files/srecord_reader.h"
#include "link/error_codes.h"
#include "link/error_detail.h"

namespace tov::files {
namespace {

constexpr uint16_t kGatherLimit = 1024;
constexpr uint32_t kPage = 0x4000;

}  // namespace

int32_t FilesSession::loadFile(const char* path, uint32_t offset, uint32_t& detail) {
    int32_t rc = selectMode(WriteModeState::kWrite);
    if (rc != link::kOk) return rc;
    return transferFile(path, offset, detail);
}

int32_t FilesSession::verifyFile(const char* path, uint32_t offset, uint32_t& detail) {
    int32_t rc = selectMode(WriteModeState::kVerify);
    if (rc != link::kOk) return rc;
    rc = transferFile(path, offset, detail);
    if (rc != link::kDownloadFailed) return rc;
    // The probe names the address of the first difference; the bytes are looked up afterwards.
    if (!mode_.paged.active()) {
        std::string difference = describeDifference(path, offset, detail);
        if (!difference.empty()) link::setErrorDetail(difference);
    }
    return link::kVerifyFailed;
}

std::string FilesSession::describeDifference(const char* path, uint32_t offset, uint32_t address) {
    constexpr uint32_t kShown = kShownDifference;
    SRecordReader reader(kLoadLineRules);
    if (!reader.open(path)) return {};
    uint8_t expected[kShown];
    uint32_t known = 0;
    SRecord record;
    while (known < kShown && reader.next(record) == SRecordReader::Status::kRecord) {
        const uint32_t first = record.address + offset;
        const uint32_t wanted = address + known;
        if (wanted - first >= record.length) continue;
        for (uint32_t i = wanted - first; i < record.length && known < kShown; ++i) {
            expected[known++] = record.data[i];
        }
    }
    return describeDifferenceAt(address, expected, known);
}

int32_t FilesSession::sendGathered(uint32_t address, const uint8_t* data, uint16_t length) {
    // The probe takes no block across a page boundary (16 KB unless the paged flash has smaller
    // pages), so such a block goes out in pieces; paged flash may also move or drop the block.
    PieceRule rule{kPage, nullptr};
    if (mode_.paged.active()) {
        const std::optional<uint32_t> linear = translatePaged(mode_.paged, address);
        if (!linear) return link::kOk;
        address = *linear;
        rule = pieceRuleFor(mode_.paged, mode_.current);
    }
    for (uint32_t done = 0; done < length;) {
        const uint32_t at = address + done;
        uint32_t piece = length - done;
        if (rule.split != 0) {
            const uint64_t boundary = (uint64_t{at} | (rule.split - 1)) + 1;
            piece = static_cast<uint32_t>(std::min<uint64_t>(piece, boundary - at));
        }
        const uint32_t sentAt = rule.address ? rule.address(mode_.paged, at) : at;
        const int32_t rc = download_.send(sentAt, static_cast<uint16_t>(piece), data + done);
        if (rc != link::kOk) return rc;
        done += piece;
    }
    return link::kOk;
}

int32_t FilesSession::transferFile(const char* path, uint32_t offset, uint32_t& detail) {
    link::clearErrorDetail();
    SRecordReader reader(kLoadLineRules);
    if (!reader.open(path)) {
        link::setErrorDetail(std::string(path) + ": " + reader.problem());
        return link::kFileAccessFailed;
    }
    int32_t error = download_.init(0, true);
    if (error != link::kOk) return error;

    uint8_t block[kGatherLimit];
    uint16_t gathered = 0;
    uint32_t blockAddress = 0;  // the file's address of the block's first byte
    bool readFailed = false;
    SRecord record;
    for (;;) {
        const SRecordReader::Status status = reader.next(record);
        if (status == SRecordReader::Status::kBadRecord) {
            error = link::kFileAccessFailed;
            link::setErrorDetail(std::string(path) + ": " + reader.problem());
            break;
        }
        const bool more = status == SRecordReader::Status::kRecord;
        const bool continues = more && gathered > 0 && record.address == blockAddress + gathered &&
                               gathered + record.length <= kGatherLimit;
        if (gathered > 0 && !continues) {
            error = sendGathered(blockAddress + offset, block, gathered);
            gathered = 0;
            if (error != link::kOk) break;
            reportProgress(reader.consumed(), reader.size());
        }
        if (!more) {
            readFailed = status == SRecordReader::Status::kReadError;
            break;
        }
        if (gathered == 0) blockAddress = record.address;
        std::memcpy(block + gathered, record.data, record.length);
        gathered = static_cast<uint16_t>(gathered + record.length);
    }

    // The download is ended in every case so that the probe leaves its download state; an
    // earlier error is the one reported.
    const int32_t ended = download_.end(detail);
    if (error == link::kOk) error = ended;
    if (error == link::kDownloadFailed) explainRefused(download_.refused(), detail);
    if (error != link::kOk) return error;
    if (readFailed) {
        link::setErrorDetail(std::string(path) + ": " + reader.problem());
        return link::kFileAccessFailed;
    }
    reportProgress(reader.size(), reader.size());
    return link::kOk;
}

}  // namespace tov::files
