// Where the blocks of a file load go on a paged 16-bit target: banked CPU addresses translated
// to the flash's linear addresses, and the pieces the probe takes for each flash type.
#pragma once

#include <cstdint>
#include <optional>

#include "files/write_mode.h"

namespace tov::files {

// The linear address of a block at CPU address `x` while translation is on, or nothing when the
// block lies outside every window and is not sent.
std::optional<uint32_t> translatePaged(const PagedSetup& setup, uint32_t x);

// How blocks are cut and addressed for the probe in write mode `mode`.
struct PieceRule {
    uint32_t split;  // pieces end at multiples of this; 0 sends the block whole
    // The address sent for a piece starting at `y`.
    uint32_t (*address)(const PagedSetup& setup, uint32_t y);
};

PieceRule pieceRuleFor(const PagedSetup& setup, uint8_t mode);

}  // namespace tov::files
