// The flash workflow on external chips, shared by the library's image flash, tov flash and the
// GDB server's flash: plan the units an image touches, leave those that already hold their
// bytes, erase sectors or chip banks, program, and verify; or only plan (a dry run). The probe is
// reached through a FlashAccess, so that the same steps run inside the library and over its
// exports.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "files/flash_plan.h"
#include "files/flash_settings.h"
#include "files/image_file.h"

namespace tov::files {

// The probe calls a flash pass makes; each returns 0 or the library's code.
class FlashAccess {
public:
    virtual ~FlashAccess() = default;
    // Hands the set-up to the probe's side (again: a connection or reset may have dropped it).
    virtual int32_t applySetup(const FlashSettings& setup) = 0;
    virtual int32_t read(uint32_t address, uint16_t length, uint8_t* buffer) = 0;
    // Erases the sector at `unit`, or with EraseChoice::kChip the chip bank.
    virtual int32_t erase(uint32_t unit, EraseChoice how) = 0;
    virtual int32_t writeBlock(uint32_t address, uint16_t length, const uint8_t* data) = 0;
    // Programs the whole image in the set-up's own way (the download, or the rows of a
    // row-organised flash); `detail` receives the probe's word of a failure.
    virtual int32_t writeImage(const Image& image, uint32_t& detail) = 0;
    // Writes the image into target memory as it is (data outside the flash).
    virtual int32_t loadMemory(const Image& image, uint32_t& detail) = 0;
    // Compares target memory with the whole image.
    virtual int32_t verifyImage(const Image& image, uint32_t& detail) = 0;
};

// What a pass did, or in a dry run would do.
struct FlashOutcome {
    enum class Step { kNone, kOptions, kSetup, kCompare, kErase, kProgram, kMemory, kVerify };
    FlashOptions options;  // as carried out (a type that cannot erase is not erased)
    bool planned = false;  // sectors were planned (external flash with an erase, skip or dry run)
    FlashPlan plan;
    std::vector<uint64_t> toErase;  // in a dry run: would be erased
    Image memory;                   // data outside the flash's range, written as memory
    size_t erased = 0;
    double compareSeconds = 0, eraseSeconds = 0, programSeconds = 0, verifySeconds = 0;
    Step failed = Step::kNone;
    uint32_t failedAt = 0;  // the unit whose erase or comparison failed
    uint32_t detail = 0;    // the probe's word of a failed program or verify
    std::string problem;    // why the options or the file were refused (Step::kOptions)
};

// Options as a set-up takes them: a type whose erase the library refuses is programmed as it is
// unless an erase was asked for by name (`eraseNamed`).
FlashOptions optionsForSetup(const FlashSettings& setup, FlashOptions options, bool eraseNamed);

// One pass of `image` into the flash of `setup`. 0, or the failed call's code with
// outcome.failed saying which step; a dry run without a comparison reaches no probe at all.
int32_t runFlashWorkflow(FlashAccess& access, const Image& image, const FlashSettings& setup,
                         const FlashOptions& options, FlashOutcome& outcome);

// One pass of a debugger's flash writes (a later write to the same address wins) and erases
// (start, length) on units of `unit` bytes: the units erased are those written and those asked
// for, less those found unchanged; verified by reading back when the options ask.
int32_t runFlashBatch(FlashAccess& access, const FlashSettings& setup, const FlashOptions& options,
                      uint32_t unit, const std::vector<ImageSegment>& writes,
                      const std::vector<std::pair<uint32_t, uint32_t>>& erases,
                      FlashOutcome& outcome);

}  // namespace tov::files
