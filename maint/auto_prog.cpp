// Automatic programming jobs: reading their files into images, the job record, and storing or
// removing a job with the probe's flash requests.
#include "maint/auto_prog.h"

#include <algorithm>
#include <optional>
#include <string>

#include "files/paged_map.h"
#include "files/srecord_reader.h"
#include "link/error_codes.h"
#include "link/error_detail.h"
#include "maint/loader_requests.h"
#include "link/message.h"

namespace tov::maint {
namespace {

constexpr uint32_t kRecordMagic = 0xCA5001CA;
constexpr uint32_t kRecordRate = 9600;
constexpr char kRecordText[] = "HC12 Auto Prog Setup";
constexpr size_t kRecordTextOffset = 88;
constexpr uint32_t kPiece = 1024;
constexpr uint16_t kRefusedType = 13;
constexpr uint32_t kPage = 0x4000;

uint16_t plainType(uint16_t type) {
    return type & ~kPagedTypeFlag;
}

// Where the records of a paged program file go: windowed addresses are translated as the flash
// set-up of a paged target does it; addresses below the windows continue the page of the last
// translated record.
class PagedPlacer {
public:
    explicit PagedPlacer(uint32_t mask)
        : setup_{.map = files::PagedSetup::Map::kH1,
                 .variant = 0,
                 .translate = true,
                 .flashSize = mask + 1} {}

    uint32_t place(uint32_t address) {
        if (address < kPage) {
            if (!lastPage_) return address;
            return *lastPage_ + address;
        }
        // The H1 map translates every address it is given.
        const uint32_t linear = *files::translatePaged(setup_, address);
        if ((address & 0xFFFF) >= kPage) lastPage_ = linear & ~(kPage - 1);
        return linear;
    }

private:
    files::PagedSetup setup_;
    std::optional<uint32_t> lastPage_;
};

// Reads every record of the file, handing each to `store(record)`, which returns false for a
// record that does not fit. 0 or -1207.
template <typename Store>
int32_t readRecords(const char* path, Store store) {
    files::SRecordReader reader(files::kLoadLineRules);
    const auto refuse = [path](const std::string& why) {
        link::setErrorDetail(std::string(path) + ": " + why);
        return link::kFileAccessFailed;
    };
    if (!reader.open(path)) return refuse(reader.problem());
    files::SRecord record;
    for (;;) {
        switch (reader.next(record)) {
            case files::SRecordReader::Status::kEnd:
                return link::kOk;
            case files::SRecordReader::Status::kRecord:
                if (!store(record)) {
                    return refuse("line " + std::to_string(reader.lineNumber()) +
                                  ": data beyond the image");
                }
                break;
            default:
                return refuse(reader.problem());
        }
    }
}

bool given(const char* path) {
    return path != nullptr && *path != '\0';
}

// Counts the image bytes programmed for the progress report.
struct ProgressCount {
    const AutoProgProgress& report;
    uint64_t done = 0;
    uint64_t total = 0;

    void add(size_t n) {
        done += n;
        if (report) report(done, total);
    }
};

// Programs data at the address in byte-counted pieces of at most 1 KB.
int32_t programPieces(LoaderLink& link, uint32_t address, std::span<const uint8_t> data,
                      ProgressCount& progress) {
    for (size_t done = 0; done < data.size(); done += kPiece) {
        const size_t n = std::min<size_t>(kPiece, data.size() - done);
        const int32_t rc = programFlash(link, address + static_cast<uint32_t>(done),
                                        static_cast<uint16_t>(n), data.subspan(done, n));
        if (rc < 0) return rc;
        progress.add(n);
    }
    return link::kOk;
}

// Programs data and reads it back: 0, the request's error, or -1210 for a difference.
int32_t programChecked(LoaderLink& link, uint32_t address, std::span<const uint8_t> data) {
    int32_t rc = programFlash(link, address, static_cast<uint16_t>(data.size()), data);
    if (rc < 0) return rc;
    std::vector<uint8_t> back(data.size());
    rc = readFlash(link, address, back);
    if (rc < 0) return rc;
    return std::equal(back.begin(), back.end(), data.begin()) ? link::kOk : link::kVerifyFailed;
}

int32_t storeJob(LoaderLink& link, const AutoProgJob& job, const AutoProgImage* image,
                 const std::vector<uint8_t>* second, ProgressCount& progress) {
    if (image) progress.total += image->end - image->start;
    if (second) progress.total += second->size();
    int32_t rc = eraseSector(link, kAutoProgRecordAddress);
    if (rc == link::kEraseFailed) {
        link::setErrorDetail(
            "the probe could not erase its job area: automatic programming needs a probe model "
            "whose flash holds the job area");
    }
    if (rc < 0) return rc;
    uint32_t imageStart = 0;
    uint32_t imageLength = 0;
    if (image) {
        for (uint32_t sector : {kAutoProgImageAddress, kAutoProgImageSecondSector}) {
            rc = eraseSector(link, sector);
            if (rc < 0) return rc;
        }
        imageStart = image->start;
        imageLength = image->end - image->start;
        rc = programPieces(link, kAutoProgImageAddress + imageStart,
                           std::span(image->bytes).subspan(imageStart, imageLength), progress);
        if (rc < 0) return rc;
    }
    if (second) {
        rc = programPieces(link, kAutoProgSecondAddress, *second, progress);
        if (rc < 0) return rc;
    }
    for (size_t i = 0; i < job.entries.size(); ++i) {
        std::array<uint8_t, kAutoProgEntrySize> entry;
        link::RequestBuilder(entry)
            .u32(job.entries[i][0])
            .u32(job.entries[i][1])
            .u32(job.entries[i][2]);
        rc = programChecked(link, kAutoProgEntriesAddress + static_cast<uint32_t>(12 * i), entry);
        if (rc < 0) return rc;
    }
    const AutoProgRecord record =
        buildAutoProgRecord(job, imageStart, imageLength, second != nullptr);
    return programChecked(link, kAutoProgRecordAddress, record);
}

}  // namespace

uint32_t autoProgAddressMask(uint16_t type) {
    switch (plainType(type)) {
        case 11:
            return 0x7FFF;
        case 10:
            return 0xFFFF;
        case 9:
            return 0x1FFFF;
        case 8:
            return 0x3FFFF;
        default:
            return 0xFFFFF;
    }
}

int32_t readAutoProgImage(const char* path, uint16_t type, AutoProgImage& image) {
    image.bytes.assign(kAutoProgImageSize, 0xFF);
    const uint32_t mask = autoProgAddressMask(type);
    const bool paged = (type & kPagedTypeFlag) != 0;
    PagedPlacer placer(mask);
    uint32_t low = UINT32_MAX;
    uint32_t high = 0;
    const int32_t rc = readRecords(path, [&](const files::SRecord& record) {
        const uint32_t at = (paged ? placer.place(record.address) : record.address) & mask;
        if (at + uint32_t{record.length} > kAutoProgImageSize) return false;
        std::copy_n(record.data, record.length, image.bytes.begin() + at);
        low = std::min(low, at);
        high = std::max(high, at + record.length);
        return true;
    });
    if (rc < 0) return rc;
    if (low > high) {
        image.start = image.end = 0;
    } else {
        image.start = low & ~3u;
        image.end = std::min<uint32_t>((high + 3) & ~3u, kAutoProgImageSize);
    }
    return link::kOk;
}

int32_t readAutoProgSecond(const char* path, uint16_t type, std::vector<uint8_t>& image) {
    image.assign(kAutoProgSecondSize, 0xFF);
    const uint16_t plain = plainType(type);
    const uint32_t mask = plain == 10 || plain == 11 ? 1023 : plain == 9 ? 2047 : 4095;
    return readRecords(path, [&](const files::SRecord& record) {
        const uint32_t at = record.address & mask;
        if (at + uint32_t{record.length} > kAutoProgSecondSize) return false;
        std::copy_n(record.data, record.length, image.begin() + at);
        return true;
    });
}

AutoProgRecord buildAutoProgRecord(const AutoProgJob& job, uint32_t imageStart,
                                   uint32_t imageLength, bool hasSecond) {
    AutoProgRecord r;
    r.fill(0xFF);
    link::RequestBuilder(r)
        .u32(kRecordMagic)
        .u32(0)
        .u32(kRecordRate)
        .u32(job.c)
        .u32(job.d)
        .u32(0)
        .u8(0)
        .u8(static_cast<uint8_t>(job.b))
        .u8(0)
        .u8(0)
        .u8(0)
        .u8(static_cast<uint8_t>(job.type))
        .u8(job.e)
        .u8(job.f)
        .u32(imageStart)
        .u32(imageLength)
        .u8(job.g)
        .u8(hasSecond ? 1 : 0)
        .u8(job.h);
    std::copy_n(kRecordText, sizeof kRecordText, r.begin() + kRecordTextOffset);
    return r;
}

int32_t enableAutoProg(LoaderLink& link, const AutoProgJob& job, const AutoProgProgress& progress) {
    link::clearErrorDetail();
    if (plainType(job.type) == kRefusedType) return link::kInvalidParameter;
    // Both files are read before anything is sent, so a bad file leaves a stored job alone.
    AutoProgImage image;
    std::vector<uint8_t> second;
    if (given(job.programPath)) {
        const int32_t rc = readAutoProgImage(job.programPath, job.type, image);
        if (rc < 0) return rc;
    }
    if (given(job.secondPath)) {
        const int32_t rc = readAutoProgSecond(job.secondPath, job.type, second);
        if (rc < 0) return rc;
    }
    ProgressCount count{progress};
    int32_t rc = link.open();
    if (rc == link::kOk) {
        rc = storeJob(link, job, given(job.programPath) ? &image : nullptr,
                      given(job.secondPath) ? &second : nullptr, count);
    }
    link.close();
    return rc;
}

int32_t disableAutoProg(LoaderLink& link) {
    int32_t rc = link.open();
    if (rc == link::kOk) rc = eraseSector(link, kAutoProgRecordAddress);
    link.close();
    return rc;
}

}  // namespace tov::maint
