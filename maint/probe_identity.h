// What the loader's version answer tells about a probe: model, serial number and the versions of
// loader, firmware and logic, with the version conversions and texts built on them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "maint/loader_link.h"

namespace tov::maint {

// The decoded version answer of one probe.
struct ProbeIdentity {
    ProbeModel model = ProbeModel::X;
    uint16_t loaderVersion = 0;
    uint16_t firmwareWord = 0;
    uint16_t logicWord = 0;
    std::string serial;  // 8 characters (TOV-A, TOV-B), 10 for a 17-byte answer; empty on TOV-X
};

// Decodes a version answer: 0, -1205 for a wrong first byte, -1301 for a length that names no
// model. `identity` is changed only on success.
int32_t decodeVersionAnswer(std::span<const uint8_t> answer, ProbeIdentity& identity);

// The first eight serial characters (fewer when the probe has none), as the texts show them.
std::string shortSerial(const ProbeIdentity& identity);

// Family index of a firmware version word: W >> 12 below 0xC000, (W - 0xC000) >> 8 above.
unsigned familyIndexOf(uint16_t firmwareWord);

// The setup program's firmware version (1..255, 0 for none) of a firmware word.
uint16_t setupFirmwareVersion(uint16_t firmwareWord);
// The setup program's logic version (1..999, 0 for none) of a logic word.
uint16_t setupLogicVersion(uint16_t logicWord);
// The setup program's display of a version: "1.05" for 105, "unknown" for 0 and above 255.
std::string versionDisplayText(unsigned version);

}  // namespace tov::maint
