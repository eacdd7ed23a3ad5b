// The names a person reads for the probe's codes: firmware families, firmware versions, CPU
// types and target states.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tov::target {

// The target a firmware family is for ("ARM11" for 40); empty for a family without a name.
std::string_view familyName(uint16_t family);

// "1.23" for version 123, "0.07" for 7; "unknown" for 0 and for anything above 255.
std::string versionText(uint16_t version);

// The name of a CPU type code ("ARM1136" for 0x8821); empty for a code without a name.
std::string_view cpuTypeName(uint16_t cpuType);

// "RESETED", "READY", "RUNNING", "ERROR"; empty for any other state.
std::string_view stateName(uint16_t state);

}  // namespace tov::target
