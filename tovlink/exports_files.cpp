// Exported download, file and flash functions, and the progress extension.
#include "include/tovlink.h"
#include "link/error_codes.h"
#include "tovlink/export_guard.h"
#include "tovlink/link_state.h"

using tov::lib::filesSession;
using tov::lib::guarded;
namespace tl = tov::link;

namespace {

constexpr int32_t kBadPointer = tl::kInvalidParameter;

}  // namespace

extern "C" {

int32_t TOV_InitDownload(uint8_t mode, uint8_t compress) {
    return guarded([&] { return filesSession().download().init(mode, compress != 0); });
}

int32_t TOV_Download(uint32_t address, uint16_t length, const uint8_t* data) {
    return guarded([&] {
        if (length > 0 && !data) return kBadPointer;
        return filesSession().download().send(address, length, data);
    });
}

int32_t TOV_EndDownload(uint32_t* detail) {
    return guarded([&] {
        uint32_t ignored = 0;
        return filesSession().download().end(detail ? *detail : ignored);
    });
}

int32_t TOV_LoadBlock(uint32_t address, uint16_t length, const uint8_t* data, uint32_t* result) {
    return guarded([&] {
        if ((length > 0 && !data) || !result) return kBadPointer;
        return filesSession().loadBlock(address, length, data, *result);
    });
}

int32_t TOV_VerifyBlock(uint32_t address, uint16_t length, const uint8_t* data, uint32_t* result) {
    return guarded([&] {
        if ((length > 0 && !data) || !result) return kBadPointer;
        return filesSession().verifyBlock(address, length, data, *result);
    });
}

int32_t TOV_LoadFile2(const char* path, uint32_t offset, uint32_t* detail) {
    return guarded([&] {
        if (!path || !detail) return kBadPointer;
        return filesSession().loadFile(path, offset, *detail);
    });
}

int32_t TOV_LoadFile(const char* path, uint32_t* detail) {
    return guarded([&] { return TOV_LoadFile2(path, 0, detail); });
}

int32_t TOV_VerifyFile2(const char* path, uint32_t offset, uint32_t* detail) {
    return guarded([&] {
        if (!path || !detail) return kBadPointer;
        return filesSession().verifyFile(path, offset, *detail);
    });
}

int32_t TOV_VerifyFile(const char* path, uint32_t* detail) {
    return guarded([&] { return TOV_VerifyFile2(path, 0, detail); });
}

int32_t TOV_DumpBlock(uint32_t address, uint16_t length, uint8_t* buffer) {
    return guarded([&] {
        if (length > 0 && !buffer) return kBadPointer;
        return filesSession().dumpBlock(address, length, buffer);
    });
}

int32_t TOV_DumpFile(const char* path, uint32_t address, uint32_t count) {
    return guarded([&] {
        if (!path) return kBadPointer;
        return filesSession().dumpFile(path, address, count);
    });
}

int32_t TOV_DumpFileFast(const char* path, uint32_t address, uint32_t count) {
    return guarded([&] {
        if (!path) return kBadPointer;
        return filesSession().dumpFile(path, address, count,
                                       tov::files::FilesSession::DumpReads::kLarge);
    });
}

int32_t TOV_FlashSetType(uint16_t type, uint32_t chipSize, uint32_t reserved, uint16_t busBits,
                         uint32_t workspace) {
    return guarded([&] {
        (void)reserved;  // kept for callers; it has no effect
        return filesSession().flashSetType(type, chipSize, busBits, workspace);
    });
}

int32_t TOV_FlashWriteBlock(uint32_t address, uint16_t length, const uint8_t* data,
                            uint32_t* result) {
    return guarded([&] {
        if ((length > 0 && !data) || !result) return kBadPointer;
        return filesSession().flashWriteBlock(address, length, data, *result);
    });
}

int32_t TOV_FlashWriteFile2(const char* path, uint32_t offset, uint32_t* detail) {
    return guarded([&] {
        if (!path || !detail) return kBadPointer;
        return filesSession().flashWriteFile(path, offset, *detail);
    });
}

int32_t TOV_FlashWriteFile(const char* path, uint32_t* detail) {
    return guarded([&] { return TOV_FlashWriteFile2(path, 0, detail); });
}

int32_t TOV_FlashEraseSector(uint32_t sector) {
    return guarded([&] { return filesSession().flashEraseSector(sector); });
}

int32_t TOV_FlashErase(uint16_t mode, uint32_t address) {
    return guarded([&] { return filesSession().flashErase(mode, address); });
}

int32_t TOV_FlashSetupHC12(uint16_t variant, uint16_t type, uint16_t busBits, uint32_t flashSize,
                           uint32_t workspace) {
    return guarded([&] {
        return filesSession().flashSetupHC12(variant, type, busBits, flashSize, workspace);
    });
}

int32_t TOV_FlashEraseHC12(uint32_t address, uint32_t selection) {
    return guarded([&] { return filesSession().flashEraseHC12(address, selection); });
}

int32_t TOV_FlashSetup555(uint16_t type, uint32_t parameter, uint32_t workspace) {
    return guarded([&] { return filesSession().flashSetup555(type, parameter, workspace); });
}

int32_t TOV_FlashErase555(uint32_t address, uint32_t selection, uint16_t sector, uint32_t parameter,
                          uint32_t workspace) {
    return guarded([&] {
        return filesSession().flashErase555(address, selection, sector != 0, parameter, workspace);
    });
}

int32_t TOV_FlashWrite555(const char* path, uint32_t* detail) {
    return guarded([&] {
        if (!path || !detail) return kBadPointer;
        return filesSession().flashWrite555(path, *detail);
    });
}

int32_t TOV_FlashSetupUC3F(uint16_t type, uint32_t workspace) {
    return guarded([&] { return filesSession().flashSetupUC3F(type, workspace); });
}

int32_t TOV_FlashEraseUC3F(uint32_t address, uint32_t selection, uint16_t sector,
                           uint32_t workspace) {
    return guarded(
        [&] { return filesSession().flashEraseUC3F(address, selection, sector != 0, workspace); });
}

int32_t TOV_FlashSetupSGFM(uint32_t parameter, uint32_t workspace) {
    return guarded([&] { return filesSession().flashSetupSGFM(parameter, workspace); });
}

void TOV_ProgressSet(TOV_ProgressFn fn, void* user) {
    tov::link::guardedCall([&] { tov::lib::setProgressCallback(fn, user); });
}

}  // extern "C"
