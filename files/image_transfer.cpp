// Loading, verifying and flash-programming images held in memory: each segment goes through the
// bulk download in blocks of up to 1024 bytes, as the blocks of an S-record file do.
#include <algorithm>
#include <string>

#include "files/files_session.h"
#include "files/image_file.h"
#include "link/error_codes.h"
#include "link/error_detail.h"

namespace tov::files {
namespace {

constexpr uint32_t kGatherLimit = 1024;

}  // namespace

int32_t FilesSession::loadImage(const Image& image, uint32_t& detail) {
    link::clearErrorDetail();
    const int32_t rc = selectMode(WriteModeState::kWrite);
    if (rc != link::kOk) return rc;
    return transferImage(image, detail);
}

int32_t FilesSession::verifyImage(const Image& image, uint32_t& detail) {
    link::clearErrorDetail();
    int32_t rc = selectMode(WriteModeState::kVerify);
    if (rc != link::kOk) return rc;
    rc = transferImage(image, detail);
    if (rc != link::kDownloadFailed) return rc;
    // The probe names the address of the first difference; the bytes are looked up afterwards.
    if (!mode_.paged.active()) {
        uint8_t expected[kShownDifference];
        uint32_t known = 0;
        for (const ImageSegment& segment : image.segments) {
            const uint32_t wanted = detail + known;
            if (known == kShownDifference || wanted - segment.address >= segment.bytes.size())
                continue;
            for (size_t i = wanted - segment.address;
                 i < segment.bytes.size() && known < kShownDifference; ++i) {
                expected[known++] = segment.bytes[i];
            }
        }
        std::string difference = describeDifferenceAt(detail, expected, known);
        if (!difference.empty()) link::setErrorDetail(std::move(difference));
    }
    return link::kVerifyFailed;
}

int32_t FilesSession::flashWriteImage(const Image& image, uint32_t& detail) {
    link::clearErrorDetail();
    int32_t rc = selectFlash();
    if (rc != link::kOk) return rc;
    rc = transferImage(image, detail);
    return rc == link::kDownloadFailed ? link::kProgramFailed : rc;
}

int32_t FilesSession::transferImage(const Image& image, uint32_t& detail) {
    int32_t error = download_.init(0, true);
    if (error != link::kOk) return error;
    uint64_t done = 0;
    for (const ImageSegment& segment : image.segments) {
        for (size_t at = 0; at < segment.bytes.size() && error == link::kOk;) {
            const auto piece =
                static_cast<uint16_t>(std::min<size_t>(kGatherLimit, segment.bytes.size() - at));
            error = sendGathered(segment.address + static_cast<uint32_t>(at),
                                 segment.bytes.data() + at, piece);
            at += piece;
            done += piece;
            if (error == link::kOk) reportProgress(done, image.dataBytes);
        }
        if (error != link::kOk) break;
    }
    // The download is ended in every case so that the probe leaves its download state; an
    // earlier error is the one reported.
    const int32_t ended = download_.end(detail);
    if (error == link::kOk) error = ended;
    if (error == link::kDownloadFailed) explainRefused(download_.refused(), detail);
    return error;
}

}  // namespace tov::files
