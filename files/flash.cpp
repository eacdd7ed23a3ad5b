// Describing the external flash to the probe and programming S-record files into it.
#include "files/files_session.h"
#include "files/flash_types.h"
#include "link/error_codes.h"

namespace tov::files {

int32_t FilesSession::flashSetType(uint16_t type, uint32_t chipSize, uint16_t busBits,
                                   uint32_t workspace) {
    const FlashType* row = findFlashType(type);
    if (row == nullptr || !row->selectable) return link::kInvalidParameter;
    FlashSetup& flash = mode_.flash;
    flash.type = row->code;
    flash.chipWidth = row->chipWidth;
    flash.pending = true;
    if (busBits != 8 && busBits != 16 && busBits != 32 && busBits != 64) {
        return link::kInvalidParameter;
    }
    flash.busWidth = static_cast<uint8_t>(busBits / 8);
    // One bank spans chipSize bytes of every chip side by side on the bus; the mask keeps the
    // bits above it, so that an address AND the mask is the bank base.
    const uint64_t bankSize = uint64_t{chipSize} * flash.busWidth / flash.chipWidth;
    flash.addressMask = static_cast<uint32_t>(0 - bankSize);
    flash.workspace = workspace;
    settings_ = FlashSettings{type, chipSize, busBits, workspace};
    return link::kOk;
}

int32_t FilesSession::flashWriteFile(const char* path, uint32_t offset, uint32_t& detail) {
    int32_t rc = selectFlash();
    if (rc != link::kOk) return rc;
    rc = transferFile(path, offset, detail);
    return rc == link::kDownloadFailed ? link::kProgramFailed : rc;
}

}  // namespace tov::files
