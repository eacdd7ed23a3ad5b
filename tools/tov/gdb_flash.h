// The flash of tov gdbserver: the client's flash erases and writes carried out by the steps of
// tov flash on the external flash set-up given to the server.
#pragma once

#include <cstdint>

#include "flash_plan.h"
#include "flash_setup.h"
#include "gdb/flash_programmer.h"

namespace tov::cli {

class GdbFlash : public gdb::FlashProgrammer {
public:
    // `unit` is the erase unit (sector or chip bank) the memory map gives the client as its
    // block size.
    GdbFlash(const FlashSetup& setup, const FlashOptions& options, uint32_t unit)
        : setup_(setup), options_(options), unit_(unit) {}

    gdb::FlashFailure program(const gdb::FlashBatch& batch) override;

private:
    FlashSetup setup_;
    FlashOptions options_;
    uint32_t unit_;
};

}  // namespace tov::cli
