// The firmware's direct commands (request 0xC3): a small interpreter of text commands.
//
// Commands (words separated by blanks; object and action words in any case):
//   help                      lists the commands
//   version                   firmware version, family and CPU type
//   target state              run state, PC and CPSR (or the fault)
//   target reset|hold|release reset pulse; hold in reset; release a held reset
//   target run|halt           start or halt the target
//   print TEXT                the target prints TEXT and a line end on the terminal
//   fault CODE                puts the target into its error state with CODE (-2001..-2109)
//   clear fault|terminal      leaves the error state; drops pending terminal text
//   clear channel N           empties channel N
//   channel N                 bytes waiting in channel N
//   speed [N]                 shows or sets the debug clock speed
//   vector catch MASK         exception vectors the target stops on (low 8 bits)
//   setup                     the setup stored in the probe
// Statuses: -2201 the first word is no object; -2202 the object has no such action (or none
// was given where one is needed); -2203 a parameter is missing or one too many is given;
// -2205 a parameter is not a number or out of range; -2206 vector catch on a target whose
// core has none (CPU types 0x87xx); -2204 no setup is stored; -2207 the action cannot be done
// in the target's state (release without a held reset, run when not ready, halt in the error
// state). A request without the terminating zero byte answers -2102.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/firmware_channels.h"
#include "sim/firmware_info.h"
#include "sim/target_model.h"

namespace tov::sim {

inline constexpr uint8_t kDirectCommand = 0xC3;

// What a command may look at and change.
struct CommandContext {
    TargetModel& target;
    Channels& channels;
    const StoredSetup& setup;
    uint8_t family;
    uint16_t cpu;
};

// A command's status and reply text.
struct CommandResult {
    int16_t status = 0;
    std::string reply;
};

// Runs one command line.
CommandResult runDirectCommand(const CommandContext& context, std::string_view line);

// 0xC3 text, 0x00 -> 0xC3 status, reply text (at most 1495 bytes).
std::vector<uint8_t> directCommand(const CommandContext& context, std::span<const uint8_t> request);

}  // namespace tov::sim
