// The flash of tov gdbserver: the client's flash erases and writes carried out by the flash
// workflow's batch pass on the external flash set-up given to the server, over the exports.
#pragma once

#include <cstdint>

#include "files/flash_plan.h"
#include "flash_setup.h"
#include "gdb/flash_programmer.h"

namespace tov::cli {

class GdbFlash : public gdb::FlashProgrammer {
public:
    // `unit` is the erase unit (sector or chip bank) the memory map gives the client as its
    // block size.
    GdbFlash(const FlashSetup& setup, const files::FlashOptions& options, uint32_t unit)
        : setup_(setup), options_(options), unit_(unit) {}

    gdb::FlashFailure program(const gdb::FlashBatch& batch) override;

private:
    FlashSetup setup_;
    files::FlashOptions options_;
    uint32_t unit_;
};

}  // namespace tov::cli
