// The flash workflow's probe calls on the library's own connection state.
#include "files/session_flash.h"

#include <cstdio>

#include "link/error_codes.h"
#include "link/error_detail.h"

namespace tov::files {

namespace {

constexpr uint16_t kEraseChip = 2;
constexpr uint16_t kRowsType = 16;

}  // namespace

int32_t applyFlashSettings(FilesSession& session, const FlashSettings& setup) {
    switch (setup.kind) {
        case FlashKind::kPaged:
            return session.flashSetupHC12(
                setup.variant, static_cast<uint16_t>(setup.type | (setup.paged ? 0x8000 : 0)),
                setup.busBits, setup.chipSize, setup.workspace);
        case FlashKind::kRows:
            return session.flashSetup555(setup.type, setup.parameter, setup.workspace);
        case FlashKind::kUc3f:
            return session.flashSetupUC3F(setup.type, setup.workspace);
        case FlashKind::kSgfm:
            return session.flashSetupSGFM(setup.parameter, setup.workspace);
        case FlashKind::kExternal:
            break;
    }
    return session.flashSetType(setup.type, setup.chipSize, setup.busBits, setup.workspace);
}

int32_t SessionFlashAccess::applySetup(const FlashSettings& setup) {
    rows_ = setup.kind == FlashKind::kRows && setup.type == kRowsType;
    return apply_ ? applyFlashSettings(session_, setup) : link::kOk;
}

int32_t SessionFlashAccess::read(uint32_t address, uint16_t length, uint8_t* buffer) {
    return session_.dumpBlock(address, length, buffer);
}

int32_t SessionFlashAccess::erase(uint32_t unit, EraseChoice how) {
    return how == EraseChoice::kChip ? session_.flashErase(kEraseChip, unit)
                                     : session_.flashEraseSector(unit);
}

int32_t SessionFlashAccess::writeBlock(uint32_t address, uint16_t length, const uint8_t* data) {
    uint32_t result = 0;
    return session_.flashWriteBlock(address, length, data, result);
}

int32_t SessionFlashAccess::writeImage(const Image& image, uint32_t& detail) {
    return rows_ ? session_.flashWrite555(image, detail) : session_.flashWriteImage(image, detail);
}

int32_t SessionFlashAccess::loadMemory(const Image& image, uint32_t& detail) {
    return session_.loadImage(image, detail);
}

int32_t SessionFlashAccess::verifyImage(const Image& image, uint32_t& detail) {
    return session_.verifyImage(image, detail);
}

void explainFlashFailure(const std::string& path, const FlashOutcome& outcome) {
    using Step = FlashOutcome::Step;
    if (outcome.failed == Step::kOptions) {
        link::setErrorDetail(path + ": " + outcome.problem);
        return;
    }
    if (*link::errorDetail() != '\0') return;
    char text[64] = "";
    switch (outcome.failed) {
        case Step::kCompare:
            std::snprintf(text, sizeof text, "comparing the sector at 0x%08X failed",
                          static_cast<unsigned>(outcome.failedAt));
            break;
        case Step::kErase:
            std::snprintf(text, sizeof text, "erasing at 0x%08X failed",
                          static_cast<unsigned>(outcome.failedAt));
            break;
        case Step::kSetup:
            std::snprintf(text, sizeof text, "the flash set-up was refused");
            break;
        case Step::kProgram:
            std::snprintf(text, sizeof text, "programming failed");
            break;
        case Step::kMemory:
            std::snprintf(text, sizeof text, "writing the data outside the flash failed");
            break;
        case Step::kVerify:
            std::snprintf(text, sizeof text, "the flash differs from the file");
            break;
        case Step::kNone:
        case Step::kOptions:
            return;
    }
    link::setErrorDetail(path + ": " + text);
}

}  // namespace tov::files
