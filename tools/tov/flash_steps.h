// The probe steps of a flash pass on external chips, shared by tov flash and the GDB server's
// flash: compare the planned sectors with target memory, erase sectors or banks, program the
// planned bytes with block writes, and the erase options a set-up takes.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "commands.h"
#include "flash_plan.h"
#include "flash_setup.h"

namespace tov::cli {

struct FileCommandLine;

// The line's flash options for the set-up: a type without an erase is programmed as it is,
// unless an erase was asked for by name.
FlashOptions flashOptionsFor(const Invocation& call, const FileCommandLine& line,
                             const FlashSetup& setup);

// Bytes of one erase unit: the set-up's sector (or --sector-size), the bank of chips with --erase
// chip; 0 when it cannot be known.
uint32_t eraseUnitSize(const FlashSetup& setup, const FlashOptions& options);

// True when target memory holds every byte of the unit's runs already; false also when a read
// fails, with `error` set.
bool unitUnchanged(const std::vector<std::pair<uint32_t, uint8_t>>& bytes, int32_t& error);

// Adds every unit that already holds its bytes to plan.skipped; 0 or the failed read's code.
int32_t findUnchangedUnits(FlashPlan& plan);

// The planned units not skipped, by address.
std::vector<uint64_t> unitsToProgram(const FlashPlan& plan);

// Erases each unit, sector by sector or (EraseChoice::kChip) chip bank by chip bank; 0, or the
// library's code with `failedAt` set to the unit whose erase failed.
int32_t eraseUnits(const std::vector<uint64_t>& units, EraseChoice erase, uint32_t& failedAt);

// Programs the bytes of the units not skipped with block writes; 0 or the library's code.
int32_t programUnits(const FlashPlan& plan);

}  // namespace tov::cli
