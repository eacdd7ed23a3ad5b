// Programming an S-record file into the row-organised on-chip flash of a 32-bit controller: the
// file becomes an image, and each download block carries one row of up to eight flash blocks.
#include <algorithm>
#include <memory>
#include <new>

#include "files/files_session.h"
#include "files/image_file.h"
#include "files/srecord_reader.h"
#include "link/error_codes.h"
#include "link/error_detail.h"

namespace tov::files {
namespace {

constexpr uint8_t kCmfType = 16;
constexpr uint32_t kImageSize = 0x70000;
constexpr uint32_t kHalf = 0x40000;
constexpr uint32_t kRow = 64;
constexpr uint32_t kRowsPerBlock = 512;
constexpr uint32_t kBlockSize = 0x8000;
constexpr uint32_t kBlocksPerRow = 8;
constexpr uint32_t kFlashMode = 0x80000000;

// Reads the file into the image; the base of the last record is returned in `base`.
int32_t readImage(const char* path, uint8_t* image, uint32_t& base) {
    SRecordReader reader(kLoadLineRules);
    if (!reader.open(path)) return link::kFileAccessFailed;
    SRecord record;
    for (;;) {
        const SRecordReader::Status status = reader.next(record);
        if (status == SRecordReader::Status::kEnd) return link::kOk;
        if (status != SRecordReader::Status::kRecord) return link::kFileAccessFailed;
        base = record.address & 0xFFC00000;
        const uint32_t offset = record.address & 0x3FFFFF;
        if (offset + record.length > kImageSize) return link::kFileAccessFailed;
        std::copy_n(record.data, record.length, image + offset);
    }
}

bool blank(const uint8_t* row) {
    return std::all_of(row, row + kRow, [](uint8_t b) { return b == 0xFF; });
}

}  // namespace

int32_t FilesSession::flashWrite555(const char* path, uint32_t& detail) {
    if (mode_.flash.type != kCmfType) return link::kInvalidParameter;
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[kImageSize]);
    if (!image) return link::kDownloadFailed;
    std::fill_n(image.get(), kImageSize, 0xFF);
    uint32_t base = 0;
    const int32_t rc = readImage(path, image.get(), base);
    if (rc != link::kOk) return rc;
    return writeRows(image.get(), base, detail);
}

int32_t FilesSession::flashWrite555(const Image& source, uint32_t& detail) {
    if (mode_.flash.type != kCmfType) return link::kInvalidParameter;
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[kImageSize]);
    if (!image) return link::kDownloadFailed;
    std::fill_n(image.get(), kImageSize, 0xFF);
    uint32_t base = 0;
    for (const ImageSegment& segment : source.segments) {
        base = segment.address & 0xFFC00000;
        const uint32_t offset = segment.address & 0x3FFFFF;
        if (offset + uint64_t{segment.bytes.size()} > kImageSize) {
            link::setErrorDetail("the data at " + std::to_string(segment.address) +
                                 " lies outside the rows of the flash");
            return link::kFileAccessFailed;
        }
        std::copy(segment.bytes.begin(), segment.bytes.end(), image.get() + offset);
    }
    return writeRows(image.get(), base, detail);
}

int32_t FilesSession::writeRows(const uint8_t* image, uint32_t base, uint32_t& detail) {
    mode_.current = kCmfType;
    int32_t rc = sendSetWriteMode(link_, kCmfType, 4, 0, mode_.flash.workspace,
                                  mode_.modeParameter | kFlashMode);
    // The probe was set up for this whole-file programming only: a later block write must send
    // the plain set-up again.
    mode_.flash.pending = true;
    if (rc != link::kOk) return rc;
    rc = download_.init(0, true);
    if (rc != link::kOk) return rc;

    uint8_t block[1 + kBlocksPerRow * kRow];
    for (uint32_t pass = 0; pass < kImageSize && rc == link::kOk; pass += kHalf) {
        for (uint32_t r = 0; r < kRowsPerBlock && rc == link::kOk; ++r) {
            uint8_t mask = 0;
            uint32_t length = 1;
            for (uint32_t k = 0; k < kBlocksPerRow; ++k) {
                const uint32_t at = pass + kRow * r + k * kBlockSize;
                if (at + kRow > kImageSize || blank(image + at)) continue;
                mask = static_cast<uint8_t>(mask | (0x80 >> k));
                std::copy_n(image + at, kRow, block + length);
                length += kRow;
            }
            if (mask == 0) continue;
            block[0] = mask;
            rc = download_.send(base + pass + kRow * r, static_cast<uint16_t>(length), block);
        }
        reportProgress(pass + kHalf < kImageSize ? pass + kHalf : kImageSize, kImageSize);
    }
    const int32_t ended = download_.end(detail);
    if (rc == link::kOk) rc = ended;
    return rc == link::kDownloadFailed ? link::kProgramFailed : rc;
}

}  // namespace tov::files
