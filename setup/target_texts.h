// The texts of the target test: the firmware family line, the CPU type names, the version text
// and the target state lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tov::setup {

// "1.23" for 123, "0.07" for 7; "unknown" for 0 and above 255.
std::string firmwareVersionText(unsigned version);
// "- Firmware:\tV 0.05 for ARM11" and the like; "... for unknown target" for other families.
std::string firmwareLine(unsigned family, unsigned version);
// The CPU type name of a code, or "unknown".
std::string cpuTypeName(uint16_t code);
// "- CPU Type:\t" and the name.
std::string cpuTypeLine(uint16_t code);
// "- Setup Time:\t" and the time as local date and time, or nothing for time 0.
std::vector<std::string> setupTimeLines(uint32_t time);

// What the state request told.
struct TargetStateReport {
    uint16_t state = 0;
    int32_t error = 0;
    uint32_t value = 0;            // the reset time
    std::vector<uint32_t> values;  // the returned values; the second is the program counter
};

// The detail lines of a state; `errorText` gives the text of an error code.
std::vector<std::string> stateLines(const TargetStateReport& report,
                                    const char* (*errorText)(int32_t));

}  // namespace tov::setup
