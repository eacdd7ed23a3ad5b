// Write-mode selection and block writing shared by loading, verifying and flash writing.
#include "files/files_session.h"

#include <algorithm>
#include <cstdio>

#include "files/write_status.h"
#include "link/error_codes.h"
#include "link/error_detail.h"

namespace tov::files {
namespace {

constexpr uint16_t kPiece = 1024;
constexpr uint16_t kPagedPiece = 32;

bool pagedType(uint8_t mode) {
    return mode == 14 || mode == 18 || mode == 20;
}

}  // namespace

FilesSession::FilesSession(link::LinkContext& link, target::TargetLink& target)
    : link_(link), target_(target), download_(link) {}

void FilesSession::reset() {
    mode_.reset();
    download_.reset();
    settings_.reset();
}

void FilesSession::targetWasReset() {
    mode_.current = WriteModeState::kUnknown;
    mode_.flash.pending = true;
}

int32_t FilesSession::selectMode(uint8_t mode) {
    if (mode_.current == mode) return link::kOk;
    // Recorded before sending, also when the request fails.
    mode_.current = mode;
    return sendSetWriteMode(link_, mode, mode_.accessCode, 0, 0, mode_.modeParameter);
}

int32_t FilesSession::selectFlash() {
    FlashSetup& flash = mode_.flash;
    if (!flash.pending && mode_.current == flash.type) return link::kOk;
    mode_.current = flash.type;
    flash.pending = false;
    return sendSetWriteMode(link_, flash.type, flash.busWidth, flash.addressMask, flash.workspace,
                            mode_.modeParameter);
}

int32_t FilesSession::writeBlocks(uint32_t address, uint16_t length, const uint8_t* data,
                                  uint32_t& result) {
    link::clearErrorDetail();
    const uint16_t pieceSize = pagedType(mode_.current) ? kPagedPiece : kPiece;
    for (uint32_t done = 0; done < length;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(length - done, pieceSize));
        uint8_t status = 0;
        int32_t rc = sendWriteBlock(link_, address + done, data + done, piece, result, &status);
        if (rc == link::kDownloadFailed) explainRefused({status, address + done, piece}, result);
        if (rc != link::kOk) return rc;
        done += piece;
        reportProgress(done, length);
    }
    return link::kOk;
}

void FilesSession::explainRefused(const Download::RefusedBlock& block, uint32_t reported) {
    const char* doing = mode_.current == WriteModeState::kWrite    ? "writing"
                        : mode_.current == WriteModeState::kVerify ? "verifying"
                                                                   : "programming";
    link::setErrorDetail(
        describeWriteFailure(doing, block.address, block.length, block.status, reported));
}

std::string FilesSession::describeDifferenceAt(uint32_t address, const uint8_t* expected,
                                               uint32_t count) {
    uint8_t found[kShownDifference];
    count = std::min(count, kShownDifference);
    if (count == 0 || dumpBlock(address, static_cast<uint16_t>(count), found) != link::kOk)
        return {};
    char text[160];
    int used = std::snprintf(text, sizeof text, "first difference at 0x%08X: expected", address);
    for (uint32_t i = 0; i < count; ++i)
        used += std::snprintf(text + used, sizeof text - used, " %02X", expected[i]);
    used += std::snprintf(text + used, sizeof text - used, ", found");
    for (uint32_t i = 0; i < count; ++i)
        used += std::snprintf(text + used, sizeof text - used, " %02X", found[i]);
    return text;
}

int32_t FilesSession::loadBlock(uint32_t address, uint16_t length, const uint8_t* data,
                                uint32_t& result) {
    int32_t rc = selectMode(WriteModeState::kWrite);
    if (rc != link::kOk) return rc;
    return writeBlocks(address, length, data, result);
}

int32_t FilesSession::verifyBlock(uint32_t address, uint16_t length, const uint8_t* data,
                                  uint32_t& result) {
    int32_t rc = selectMode(WriteModeState::kVerify);
    if (rc != link::kOk) return rc;
    rc = writeBlocks(address, length, data, result);
    if (rc != link::kDownloadFailed) return rc;
    // The probe names the address of the first difference; the data gives the expected bytes.
    if (!mode_.paged.active() && result - address < length) {
        std::string difference =
            describeDifferenceAt(result, data + (result - address), address + length - result);
        if (!difference.empty()) link::setErrorDetail(difference);
    }
    return link::kVerifyFailed;
}

int32_t FilesSession::flashWriteBlock(uint32_t address, uint16_t length, const uint8_t* data,
                                      uint32_t& result) {
    int32_t rc = selectFlash();
    if (rc != link::kOk) return rc;
    rc = writeBlocks(address, length, data, result);
    return rc == link::kDownloadFailed ? link::kProgramFailed : rc;
}

}  // namespace tov::files
