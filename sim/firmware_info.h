// The firmware's probe information request 0xC1, and the stored setup it reports.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tov::sim {

inline constexpr uint8_t kProbeInfo = 0xC1;

// Version of the factory firmware (a flash file may hold another): shown as 1.05.
inline constexpr uint16_t kFirmwareVersion = 105;

// The setup kept in the probe's flash as far as the information request reports it: nothing
// stored is time 0 and an empty identifier. The probe reads it from its setup sector at start
// and again whenever that sector is erased or programmed.
struct StoredSetup {
    static constexpr size_t kMaxId = 40;
    uint32_t time = 0;
    std::string id;
};

// The version word for a family and version: families 0..11 as family << 12 | version (12 bits),
// higher families as (0xC0 + family) << 8 | version (8 bits).
uint16_t versionWord(uint8_t family, uint16_t version);

// 0xC1 -> 0xC1, 0x00, version word u16 (the running firmware's), CPU type u16, setup time u32,
// setup identifier (at most 40 characters, no terminator): 50 bytes at most. A malformed
// request answers 0x00.
std::vector<uint8_t> probeInfo(uint16_t firmwareWord, uint16_t cpu, const StoredSetup& setup,
                               std::span<const uint8_t> request);

}  // namespace tov::sim
