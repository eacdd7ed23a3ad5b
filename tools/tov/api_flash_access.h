// The flash workflow's probe calls made through the library's exports, for tov flash and the GDB
// server's flash: set-up, memory reads, erases and block writes, and the whole image programmed
// or verified by the library's image calls with a progress bar.
#pragma once

#include <cstdint>
#include <string>

#include "files/flash_workflow.h"
#include "tovlink.h"

namespace tov::cli {

class ApiFlashAccess : public files::FlashAccess {
public:
    // Without a path (the GDB server) the whole-image calls are refused: only block writes.
    ApiFlashAccess() = default;
    // `label` names the progress bar; `options` read the file at `path` as it was read before.
    ApiFlashAccess(std::string label, std::string path, const TOV_ImageOptions& options)
        : label_(std::move(label)), path_(std::move(path)), options_(options) {}

    int32_t applySetup(const files::FlashSettings& setup) override;
    int32_t read(uint32_t address, uint16_t length, uint8_t* buffer) override;
    int32_t erase(uint32_t unit, files::EraseChoice how) override;
    int32_t writeBlock(uint32_t address, uint16_t length, const uint8_t* data) override;
    int32_t writeImage(const files::Image& image, uint32_t& detail) override;
    int32_t loadMemory(const files::Image& image, uint32_t& detail) override;
    int32_t verifyImage(const files::Image& image, uint32_t& detail) override;

private:
    std::string label_;
    std::string path_;
    TOV_ImageOptions options_{};
};

}  // namespace tov::cli
