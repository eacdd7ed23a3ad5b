// Per-family and per-model data of the library's maintenance functions: firmware and logic bases
// and file names, family names, logic device IDs and the probe's flash layout.
#pragma once

#include <array>
#include <cstdint>

#include "maint/loader_link.h"

namespace tov::maint {

inline constexpr unsigned kFamilyCount = 36;

// Bases and file base names of one family on one probe model.
struct FamilyFiles {
    uint16_t firmwareBase;  // 65535 where the model has no firmware for the family
    uint16_t logicBase;
    const char* firmwareFile;  // "NOT_SUPP" where the model has no firmware for the family
    const char* logicFile;
};

// The entry of `family` (below kFamilyCount) for `model`.
const FamilyFiles& familyFiles(unsigned family, ProbeModel model);
// The family's name, "unknown" for an index without a family (below kFamilyCount).
const char* familyName(unsigned family);
// Longest family name, terminator not counted.
inline constexpr size_t kMaxFamilyName = 13;

// The logic device ID the model's loader reports.
uint8_t expectedLogicDeviceId(ProbeModel model);

// Where a model keeps its firmware and network record in its own flash.
struct FlashLayout {
    std::array<uint32_t, 4> firmwareSectors;  // erased in this order before programming
    uint32_t startMarker;                     // where the start marker goes after the records
    uint32_t networkRecord;                   // 0: the model has no network record
    bool wordCount;                           // Program flash counts 16-bit words, not bytes
};
const FlashLayout& flashLayout(ProbeModel model);

}  // namespace tov::maint
