// The file, download and flash functions of one connection and the state they keep between
// calls: the download, the write mode and flash set-up, and progress reporting.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "files/download.h"
#include "files/flash_settings.h"
#include "files/write_mode.h"
#include "link/link_context.h"
#include "target/target_link.h"

namespace tov::files {

struct Image;

// Reports progress of a long call: units done out of total (bytes of data or of the file).
using ProgressHook = std::function<void(uint64_t done, uint64_t total)>;

class FilesSession {
public:
    FilesSession(link::LinkContext& link, target::TargetLink& target);

    // Back to the state of a fresh connection (TOV_Connect).
    void reset();
    // The target was reset: the probe's write mode is no longer known.
    void targetWasReset();
    void setProgressHook(ProgressHook hook) { progress_ = std::move(hook); }

    Download& download() { return download_; }
    WriteModeState& writeMode() { return mode_; }

    // Memory blocks and S-record files (loading.cpp, dump.cpp).
    int32_t loadBlock(uint32_t address, uint16_t length, const uint8_t* data, uint32_t& result);
    int32_t verifyBlock(uint32_t address, uint16_t length, const uint8_t* data, uint32_t& result);
    int32_t loadFile(const char* path, uint32_t offset, uint32_t& detail);
    int32_t verifyFile(const char* path, uint32_t offset, uint32_t& detail);
    // Images held in memory (image_transfer.cpp): sent as the blocks of a file are.
    int32_t loadImage(const Image& image, uint32_t& detail);
    int32_t verifyImage(const Image& image, uint32_t& detail);
    int32_t flashWriteImage(const Image& image, uint32_t& detail);
    int32_t dumpBlock(uint32_t address, uint16_t length, uint8_t* buffer);
    // The dump reads memory in pieces of one record (32 bytes) or in the probe's largest reads;
    // the file is the same either way.
    enum class DumpReads { kPerRecord, kLarge };
    int32_t dumpFile(const char* path, uint32_t address, uint32_t count,
                     DumpReads reads = DumpReads::kPerRecord);

    // External flash (flash.cpp, flash_erase.cpp).
    int32_t flashSetType(uint16_t type, uint32_t chipSize, uint16_t busBits, uint32_t workspace);
    int32_t flashWriteBlock(uint32_t address, uint16_t length, const uint8_t* data,
                            uint32_t& result);
    int32_t flashWriteFile(const char* path, uint32_t offset, uint32_t& detail);
    int32_t flashEraseSector(uint32_t sector);
    int32_t flashErase(uint16_t mode, uint32_t address);

    // On-chip flash of paged 16-bit targets (flash_paged.cpp).
    int32_t flashSetupHC12(uint16_t variant, uint16_t type, uint16_t busBits, uint32_t flashSize,
                           uint32_t workspace);
    int32_t flashEraseHC12(uint32_t address, uint32_t selection);

    // Other on-chip flash (flash_on_chip.cpp, flash_write_555.cpp).
    int32_t flashSetup555(uint16_t type, uint32_t parameter, uint32_t workspace);
    int32_t flashErase555(uint32_t address, uint32_t selection, bool sector, uint32_t parameter,
                          uint32_t workspace);
    int32_t flashWrite555(const char* path, uint32_t& detail);
    int32_t flashWrite555(const Image& image, uint32_t& detail);
    // The set-up last made by one of the set-up calls above, in the values of its text; none
    // after a connection.
    const std::optional<FlashSettings>& flashSettings() const { return settings_; }
    int32_t flashSetupUC3F(uint16_t type, uint32_t workspace);
    int32_t flashEraseUC3F(uint32_t address, uint32_t selection, bool sector, uint32_t workspace);
    int32_t flashSetupSGFM(uint32_t parameter, uint32_t workspace);

private:
    // Puts the probe into write (0) or verify (1) mode unless it is there already.
    int32_t selectMode(uint8_t mode);
    // Sends the flash set-up when it is pending or another mode was selected since.
    int32_t selectFlash();
    // Writes data in pieces with Write block requests (1024 bytes, 32 for the paged types).
    int32_t writeBlocks(uint32_t address, uint16_t length, const uint8_t* data, uint32_t& result);
    // Sends an image through the download; the write mode is already selected.
    int32_t transferImage(const Image& image, uint32_t& detail);
    // Sends the rows of a whole row-organised flash image (0x70000 bytes at `base`).
    int32_t writeRows(const uint8_t* image, uint32_t base, uint32_t& detail);
    // Sends an S-record file through the download; the write mode is already selected.
    int32_t transferFile(const char* path, uint32_t offset, uint32_t& detail);
    // Hands one gathered block of a file to the download: the place where a block's address is
    // mapped and the block split for the probe (at 16-KB boundaries unless paged).
    int32_t sendGathered(uint32_t address, const uint8_t* data, uint16_t length);
    // The first difference of a failed verify at `address` in words: the file's bytes from there
    // and the target's; empty when the file holds no data there.
    std::string describeDifference(const char* path, uint32_t offset, uint32_t address);
    // The same from expected bytes at hand (at most the first eight of `count` are shown).
    std::string describeDifferenceAt(uint32_t address, const uint8_t* expected, uint32_t count);
    static constexpr uint32_t kShownDifference = 8;
    // Records which block the probe refused, with its status, as the failure's explanation.
    void explainRefused(const Download::RefusedBlock& block, uint32_t reported);
    // Readies the probe and records a fixed on-chip flash set-up, pending for the next transfer.
    int32_t setUpOnChip(uint8_t type, uint8_t width, uint32_t parameter, uint32_t workspace);
    void reportProgress(uint64_t done, uint64_t total) {
        if (progress_) progress_(done, total);
    }

    link::LinkContext& link_;
    target::TargetLink& target_;
    Download download_;
    WriteModeState mode_;
    ProgressHook progress_;
    std::optional<FlashSettings> settings_;
};

}  // namespace tov::files
