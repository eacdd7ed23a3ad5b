// Loader connection and firmware programming over a LoaderLink.
#include "maint/firmware_update.h"

#include <algorithm>
#include <array>

#include "link/error_codes.h"
#include "link/error_detail.h"
#include "maint/family_table.h"
#include "maint/loader_requests.h"

namespace tov::maint {
namespace {

constexpr std::array<uint8_t, 4> kStartMarker = {0xAA, 0x55, 0x55, 0xAA};

int32_t openWithTries(LoaderLink& link, int tries) {
    int32_t rc = link::kSetupFailed;
    for (int i = 0; i < tries; ++i) {
        rc = link.open();
        if (rc >= 0) return link::kOk;
    }
    return rc;
}

// One attempt: open, then Enter loader and Read versions.
int32_t connectOnce(LoaderLink& link, const LoaderCaller& caller, ProbeIdentity& identity) {
    const int32_t rc = openWithTries(link, caller.openTries);
    if (rc < 0) return rc;
    return enterLoaderAndReadVersions(link, caller, identity);
}

// Programs one block, padded for the model: to whole words of 4 bytes on the TOV-A and TOV-B,
// to whole 16-bit words on the TOV-X, whose count field counts words.
int32_t programPadded(LoaderLink& link, const FlashLayout& layout, uint32_t address,
                      const uint8_t* data, size_t length) {
    std::array<uint8_t, files::SRecord::kMaxData + 3> block;
    const size_t unit = layout.wordCount ? 2 : 4;
    const size_t padded = (length + unit - 1) / unit * unit;
    std::copy_n(data, length, block.begin());
    std::fill(block.begin() + static_cast<ptrdiff_t>(length),
              block.begin() + static_cast<ptrdiff_t>(padded), uint8_t{0xFF});
    const auto count = static_cast<uint16_t>(layout.wordCount ? padded / 2 : padded);
    return programFlash(link, address, count, std::span(block).first(padded));
}

}  // namespace

int32_t enterLoaderAndReadVersions(LoaderLink& link, const LoaderCaller& caller,
                                   ProbeIdentity& identity) {
    bool switched = false;
    int32_t rc = enterLoader(link, caller, switched);
    if (rc < 0) return rc;
    if (switched) {
        link.close();
        link.sleepMs(caller.reopenDelayMs);
        rc = link.open();
        if (rc < 0) return rc;
    }
    rc = readVersions(link, identity);
    if (caller.tovBOnly) {
        const bool tovB = identity.model == ProbeModel::B || identity.model == ProbeModel::BC;
        if (rc == link::kUnknownProbe || (rc == link::kOk && !tovB)) {
            identity = ProbeIdentity{};
            identity.model = ProbeModel::B;
            return link::kOk;
        }
    }
    return rc;
}

int32_t checkFirmwareFile(const std::string& path, const LoaderCaller& caller) {
    files::SRecordReader reader(caller.firmwareRules);
    bool ok = reader.open(path.c_str());
    files::SRecord record;
    for (auto status = files::SRecordReader::Status::kRecord;
         ok && status != files::SRecordReader::Status::kEnd;) {
        status = reader.next(record);
        ok = status == files::SRecordReader::Status::kRecord ||
             status == files::SRecordReader::Status::kEnd;
    }
    if (ok) return link::kOk;
    link::setErrorDetail(path + ": " + reader.problem());
    return caller.firmwareFileError;
}

int32_t connectLoader(LoaderLink& link, const LoaderCaller& caller, ProbeIdentity& identity) {
    int32_t rc = link::kSetupFailed;
    for (int attempt = 0; attempt < caller.connectAttempts; ++attempt) {
        rc = connectOnce(link, caller, identity);
        if (rc == link::kOk) return rc;
        link.close();
    }
    return rc;
}

int32_t programFirmware(LoaderLink& link, ProbeModel model, const std::string& path,
                        const LoaderCaller& caller, const FirmwareProgress& progress) {
    // The whole file is read once before anything is erased: a missing or malformed file must
    // not leave the probe without firmware.
    int32_t rc = checkFirmwareFile(path, caller);
    if (rc < 0) return rc;
    files::SRecordReader reader(caller.firmwareRules);
    if (!reader.open(path.c_str())) return caller.firmwareFileError;
    const FlashLayout& layout = flashLayout(model);
    for (uint32_t sector : layout.firmwareSectors) {
        rc = eraseSector(link, sector);
        if (rc < 0) return rc;
    }
    if (progress) progress(0, reader.size());
    files::SRecord record;
    for (;;) {
        const auto status = reader.next(record);
        if (status == files::SRecordReader::Status::kEnd) break;
        if (status != files::SRecordReader::Status::kRecord) return caller.firmwareFileError;
        rc = programPadded(link, layout, record.address, record.data, record.length);
        if (rc < 0) return rc;
        if (progress) progress(reader.consumed(), reader.size());
    }
    if (progress) progress(reader.size(), reader.size());
    return programPadded(link, layout, layout.startMarker, kStartMarker.data(),
                         kStartMarker.size());
}

}  // namespace tov::maint
