// Exported image calls: load, verify and flash of S-record, Intel HEX, ELF and raw binary files
// read whole into memory first.
#include <string>

#include "files/image_file.h"
#include "files/session_flash.h"
#include "include/tovlink.h"
#include "link/error_codes.h"
#include "link/error_detail.h"
#include "tovlink/export_guard.h"
#include "tovlink/link_state.h"

using tov::lib::filesSession;
using tov::lib::guarded;
namespace tf = tov::files;
namespace tl = tov::link;

namespace {

// Reads the image the options describe; 0, or the code with the detail naming file and place.
int32_t readImageFile(const char* path, const TOV_ImageOptions* options, tf::Image& image) {
    tl::clearErrorDetail();
    if (!path) return tl::kInvalidParameter;
    tf::ImageRequest request;
    if (options) {
        switch (options->format) {
            case TOV_IMAGE_AUTO:
                break;
            case TOV_IMAGE_SREC:
                request.format = tf::ImageFormat::SRecord;
                break;
            case TOV_IMAGE_IHEX:
                request.format = tf::ImageFormat::IntelHex;
                break;
            case TOV_IMAGE_ELF:
                request.format = tf::ImageFormat::Elf;
                break;
            case TOV_IMAGE_BIN:
                request.format = tf::ImageFormat::Unknown;
                break;
            default:
                tl::setErrorDetail("image format " + std::to_string(options->format) +
                                   " is none of TOV_IMAGE_AUTO .. TOV_IMAGE_BIN");
                return tl::kInvalidParameter;
        }
        request.offset = options->offset;
        if (options->hasBase != 0) request.base = options->base;
    }
    std::string error;
    if (!tf::readImage(path, request, image, error)) {
        tl::setErrorDetail(std::move(error));
        return tl::kFileAccessFailed;
    }
    return tl::kOk;
}

// The set-up a flash call names, or the one made before; 0 or -1202 with the detail saying why.
int32_t flashSettingsFor(const TOV_FlashOptions& flash, tf::FlashSettings& setup) {
    if (flash.type) {
        const auto parsed = tf::parseFlashSettings(flash.type);
        if (!parsed) {
            tl::setErrorDetail(std::string("'") + flash.type + "' is not a flash set-up text");
            return tl::kInvalidParameter;
        }
        setup = *parsed;
        // An external set-up is only recorded, nothing is sent: a refused one is found here.
        if (setup.kind == tf::FlashKind::kExternal) {
            const int32_t rc = tf::applyFlashSettings(filesSession(), setup);
            if (rc != tl::kOk) {
                tl::setErrorDetail(std::string("flash set-up '") + flash.type +
                                   "': unknown flash type or bus width");
            }
            return rc;
        }
        return tl::kOk;
    }
    if (!filesSession().flashSettings()) {
        tl::setErrorDetail("no flash set-up: give one or make it with TOV_FlashSetType first");
        return tl::kInvalidParameter;
    }
    setup = *filesSession().flashSettings();
    return tl::kOk;
}

int32_t imageFlash(const char* path, const TOV_ImageOptions* options, const TOV_FlashOptions* flash,
                   TOV_FlashReport* report) {
    if (report) *report = TOV_FlashReport{};
    tf::Image image;
    int32_t rc = readImageFile(path, options, image);
    if (rc != tl::kOk) return rc;
    const TOV_FlashOptions given = flash ? *flash : TOV_FlashOptions{};
    if (given.erase > TOV_ERASE_NONE) {
        tl::setErrorDetail("erase choice " + std::to_string(given.erase) +
                           " is none of TOV_ERASE_AUTO, TOV_ERASE_CHIP, TOV_ERASE_NONE");
        return tl::kInvalidParameter;
    }
    tf::FlashSettings setup;
    if ((rc = flashSettingsFor(given, setup)) != tl::kOk) return rc;
    tf::FlashOptions choice;
    choice.erase = given.erase == TOV_ERASE_CHIP   ? tf::EraseChoice::kChip
                   : given.erase == TOV_ERASE_NONE ? tf::EraseChoice::kNone
                                                   : tf::EraseChoice::kAuto;
    choice.sectorSize = given.sectorSize;
    choice.skipUnchanged = given.skipUnchanged != 0;
    choice.verify = given.verify != 0;
    choice.dryRun = given.dryRun != 0;
    choice.rangeBase = given.flashBase;
    choice.rangeSize = given.flashSize;
    choice.refuseOutside = given.refuseOutside != 0;
    choice = tf::optionsForSetup(setup, choice, given.erase != TOV_ERASE_AUTO);

    tf::SessionFlashAccess access(filesSession(), given.type != nullptr);
    tf::FlashOutcome outcome;
    rc = tf::runFlashWorkflow(access, image, setup, choice, outcome);
    if (report) {
        report->unitsPlanned = static_cast<uint32_t>(outcome.plan.units.size());
        report->unitsSkipped = static_cast<uint32_t>(outcome.plan.skipped.size());
        report->unitsErased = static_cast<uint32_t>(outcome.erased);
        const bool whole = outcome.plan.skipped.empty();
        const bool programmed = choice.dryRun || outcome.failed == tf::FlashOutcome::Step::kNone ||
                                outcome.failed == tf::FlashOutcome::Step::kVerify;
        if (programmed) {
            report->bytesProgrammed = static_cast<uint32_t>(
                whole && choice.rangeSize == 0 ? image.dataBytes : outcome.plan.bytesToProgram());
        }
        report->unitSize = outcome.planned ? outcome.plan.unit : 0;
        report->probeDetail = outcome.detail;
        report->bytesAsMemory = static_cast<uint32_t>(outcome.memory.dataBytes);
    }
    if (rc != tl::kOk) tf::explainFlashFailure(path, outcome);
    return rc;
}

// Reads the image, then loads or verifies it; `detail` (may be NULL) gets the probe's word.
int32_t transferImage(const char* path, const TOV_ImageOptions* options, uint32_t* detail,
                      bool verify) {
    uint32_t ignored = 0;
    uint32_t& word = detail ? *detail : ignored;
    word = 0;
    tf::Image image;
    const int32_t rc = readImageFile(path, options, image);
    if (rc != tl::kOk) return rc;
    return verify ? filesSession().verifyImage(image, word) : filesSession().loadImage(image, word);
}

}  // namespace

extern "C" {

int32_t TOV_ImageLoad2(const char* path, const TOV_ImageOptions* options, uint32_t* detail) {
    return guarded([&] { return transferImage(path, options, detail, false); });
}

int32_t TOV_ImageLoad(const char* path, const TOV_ImageOptions* options) {
    return guarded([&] { return TOV_ImageLoad2(path, options, nullptr); });
}

int32_t TOV_ImageVerify2(const char* path, const TOV_ImageOptions* options, uint32_t* detail) {
    return guarded([&] { return transferImage(path, options, detail, true); });
}

int32_t TOV_ImageVerify(const char* path, const TOV_ImageOptions* options) {
    return guarded([&] { return TOV_ImageVerify2(path, options, nullptr); });
}

int32_t TOV_ImageFlash(const char* path, const TOV_ImageOptions* image,
                       const TOV_FlashOptions* flash, TOV_FlashReport* report) {
    return guarded([&] { return imageFlash(path, image, flash, report); });
}

}  // extern "C"
