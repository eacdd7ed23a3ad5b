// Fixed set-ups and erases of on-chip flash that the probe programs and erases by itself.
#include "files/files_session.h"
#include "files/flash_probe_erase.h"
#include "link/error_codes.h"

namespace tov::files {
namespace {

constexpr uint8_t kCmfType = 16;
constexpr uint8_t kUc3fType = 25;
constexpr uint8_t kSgfmType = 21;

}  // namespace

int32_t FilesSession::setUpOnChip(uint8_t type, uint8_t width, uint32_t parameter,
                                  uint32_t workspace) {
    const int32_t rc = sendFlashPrepare(link_);
    if (rc != link::kOk) return rc;
    FlashSetup& flash = mode_.flash;
    flash.type = type;
    flash.busWidth = width;
    flash.chipWidth = width;
    flash.addressMask = 0;
    flash.workspace = workspace;
    flash.pending = true;
    mode_.modeParameter = parameter;
    return link::kOk;
}

int32_t FilesSession::flashSetup555(uint16_t type, uint32_t parameter, uint32_t workspace) {
    if (type != 16 && type != 17) return link::kInvalidParameter;
    const int32_t rc = setUpOnChip(static_cast<uint8_t>(type), 2, parameter, workspace);
    if (rc == link::kOk) {
        settings_ = FlashSettings{
            .type = type, .workspace = workspace, .kind = FlashKind::kRows, .parameter = parameter};
    }
    return rc;
}

int32_t FilesSession::flashErase555(uint32_t address, uint32_t selection, bool sector,
                                    uint32_t parameter, uint32_t workspace) {
    return eraseInProbe(link_, {.type = kCmfType,
                                .sector = sector,
                                .selection = selection,
                                .address = address,
                                .workspace = workspace,
                                .parameter = parameter});
}

int32_t FilesSession::flashSetupUC3F(uint16_t type, uint32_t workspace) {
    if (type != 25 && type != 26) return link::kInvalidParameter;
    const int32_t rc = setUpOnChip(static_cast<uint8_t>(type), 2, 0, workspace);
    if (rc == link::kOk)
        settings_ = FlashSettings{.type = type, .workspace = workspace, .kind = FlashKind::kUc3f};
    return rc;
}

int32_t FilesSession::flashEraseUC3F(uint32_t address, uint32_t selection, bool sector,
                                     uint32_t workspace) {
    return eraseInProbe(link_, {.type = kUc3fType,
                                .sector = sector,
                                .selection = selection,
                                .address = address,
                                .workspace = workspace,
                                .parameter = 0});
}

int32_t FilesSession::flashSetupSGFM(uint32_t parameter, uint32_t workspace) {
    const int32_t rc = setUpOnChip(kSgfmType, 4, parameter, workspace);
    if (rc == link::kOk) {
        settings_ = FlashSettings{
            .type = 21, .workspace = workspace, .kind = FlashKind::kSgfm, .parameter = parameter};
    }
    return rc;
}

}  // namespace tov::files
