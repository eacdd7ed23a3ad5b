// The logic device of each probe model: its ID, its fuse rows and the form of its UES.
#pragma once

#include <cstddef>
#include <cstdint>

#include "maint/loader_link.h"

namespace tov::maint {

// Device ID, fuse row geometry in the JEDEC file, and the UES size of one model's logic device.
struct LogicGeometry {
    uint8_t deviceId;      // answer byte 1 of Read logic ID
    size_t rows;           // fuse rows, numbered from 0
    size_t rowLength;      // fuses per row
    size_t linesPerRow;    // JEDEC text lines per row
    size_t uesCharacters;  // UES character positions turned into bits
    size_t bitsPerCharacter;
};

inline constexpr LogicGeometry logicGeometry(ProbeModel model) {
    switch (model) {
        case ProbeModel::X:
            return {21, 102, 80, 2, 10, 4};
        case ProbeModel::A:
            return {18, 118, 160, 4, 10, 8};
        case ProbeModel::B:
        case ProbeModel::BC:
            break;
    }
    return {19, 134, 240, 4, 15, 8};
}

inline constexpr size_t uesBitCount(ProbeModel model) {
    const LogicGeometry g = logicGeometry(model);
    return g.uesCharacters * g.bitsPerCharacter;
}

}  // namespace tov::maint
