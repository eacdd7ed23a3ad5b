// The flash workflow's probe calls through the exports.
#include "api_flash_access.h"

#include <algorithm>

#include "file_transfer.h"
#include "progress.h"

namespace tov::cli {

namespace {

constexpr uint16_t kEraseChipMode = 2;
constexpr int32_t kInvalidParameter = -1202;

uint64_t same(uint64_t done) {
    return done;
}

}  // namespace

int32_t ApiFlashAccess::applySetup(const files::FlashSettings& setup) {
    return applyFlashSetup(setup);
}

int32_t ApiFlashAccess::read(uint32_t address, uint16_t length, uint8_t* buffer) {
    return TOV_MemoryRead(address, 0, length, buffer);
}

int32_t ApiFlashAccess::erase(uint32_t unit, files::EraseChoice how) {
    return how == files::EraseChoice::kChip ? TOV_FlashErase(kEraseChipMode, unit)
                                            : TOV_FlashEraseSector(unit);
}

int32_t ApiFlashAccess::writeBlock(uint32_t address, uint16_t length, const uint8_t* data) {
    uint32_t result = 0;
    return TOV_FlashWriteBlock(address, length, data, &result);
}

int32_t ApiFlashAccess::writeImage(const files::Image& image, uint32_t& detail) {
    if (path_.empty()) return kInvalidParameter;
    // The set-up made by applySetup is in force: the library programs the image as it stands.
    TOV_FlashOptions flash{};
    flash.erase = TOV_ERASE_NONE;
    TOV_FlashReport report{};
    ProgressBar bar(label_, same, image.dataBytes);
    const int32_t result = TOV_ImageFlash(path_.c_str(), &options_, &flash, &report);
    bar.finish();
    detail = report.probeDetail;
    return result;
}

int32_t ApiFlashAccess::loadMemory(const files::Image& image, uint32_t& detail) {
    constexpr size_t kBlock = 1024;
    for (const files::ImageSegment& segment : image.segments) {
        for (size_t at = 0; at < segment.bytes.size(); at += kBlock) {
            const auto piece = static_cast<uint16_t>(std::min(kBlock, segment.bytes.size() - at));
            const int32_t result = TOV_LoadBlock(segment.address + static_cast<uint32_t>(at), piece,
                                                 segment.bytes.data() + at, &detail);
            if (result != 0) return result;
        }
    }
    return 0;
}

int32_t ApiFlashAccess::verifyImage(const files::Image& image, uint32_t& detail) {
    if (path_.empty()) return kInvalidParameter;
    ProgressBar bar(label_, same, image.dataBytes);
    const int32_t result = TOV_ImageVerify2(path_.c_str(), &options_, &detail);
    bar.finish();
    return result;
}

}  // namespace tov::cli
