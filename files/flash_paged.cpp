// Setting up and erasing the on-chip flash of paged 16-bit targets.
#include "files/files_session.h"
#include "files/flash_probe_erase.h"
#include "link/error_codes.h"

namespace tov::files {
namespace {

constexpr uint16_t kTranslateBit = 0x8000;

// Types the probe erases itself.
bool erasedInProbe(uint16_t type) {
    return type == 14 || type == 15 || (type >= 18 && type <= 21);
}

// Chip types behind the target's bus, erased by the host like external flash.
bool erasedByHost(uint16_t type) {
    return type == 2 || type == 5 || type == 6 || type == 11 || type == 12 ||
           (type >= 22 && type <= 24) || type == 29 || type == 30;
}

bool knownType(uint16_t type) {
    return erasedInProbe(type) || erasedByHost(type);
}

uint8_t accessCodeFor(uint8_t type) {
    if (type == 14 || type == 18 || type == 20) return 0;
    if (type == 15 || type == 19 || type == 21) return 1;
    return 2;
}

}  // namespace

int32_t FilesSession::flashSetupHC12(uint16_t variant, uint16_t type, uint16_t busBits,
                                     uint32_t flashSize, uint32_t workspace) {
    const auto code = static_cast<uint16_t>(type & ~kTranslateBit);
    if (!knownType(code)) return link::kInvalidParameter;
    const int32_t rc = sendFlashPrepare(link_);
    if (rc != link::kOk) return rc;

    PagedSetup& paged = mode_.paged;
    paged.map = variant >= 16 && variant <= 20 ? PagedSetup::Map::kH2 : PagedSetup::Map::kH1;
    paged.variant = variant;
    paged.translate = (type & kTranslateBit) != 0;
    paged.flashSize = flashSize;
    mode_.modeParameter = variant;
    FlashSetup& flash = mode_.flash;
    flash.type = static_cast<uint8_t>(code);
    flash.pending = true;
    flash.chipWidth = code == 6 || code == 12 || code == 24 || code == 30 ? 2 : 1;
    mode_.accessCode = accessCodeFor(flash.type);
    // What was recorded so far stays in force when the bus width is refused.
    if (busBits != 8 && busBits != 16 && busBits != 32) return link::kInvalidParameter;
    flash.busWidth = static_cast<uint8_t>(busBits / 8);
    flash.workspace = workspace;
    const uint64_t bankSize = uint64_t{flashSize} * flash.busWidth / flash.chipWidth;
    flash.addressMask = static_cast<uint32_t>(0 - bankSize);
    settings_ = FlashSettings{.type = code,
                              .chipSize = flashSize,
                              .busBits = busBits,
                              .workspace = workspace,
                              .kind = FlashKind::kPaged,
                              .variant = variant,
                              .paged = paged.translate};
    return link::kOk;
}

int32_t FilesSession::flashEraseHC12(uint32_t address, uint32_t selection) {
    const uint8_t type = mode_.flash.type;
    // Refused before anything is sent: the probe has no erase for any other type.
    if (!erasedInProbe(type) && !erasedByHost(type)) return link::kInvalidParameter;
    mode_.current = WriteModeState::kWrite;
    int32_t rc = sendSetWriteMode(link_, WriteModeState::kWrite, mode_.accessCode, 0, 0,
                                  mode_.paged.variant);
    if (rc != link::kOk) return rc;
    if (erasedByHost(type)) return flashErase(0, address);
    return eraseInProbe(link_, {.type = type,
                                .sector = true,
                                .selection = selection,
                                .address = address,
                                .workspace = mode_.flash.workspace,
                                .parameter = mode_.paged.variant});
}

}  // namespace tov::files
