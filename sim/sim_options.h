// The simulator's settings as given on the command line, and their parser.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/chip_flash.h"
#include "sim/faults.h"
#include "sim/flash_bank.h"

namespace tov::sim {

// Probe models by the code the host derives for them.
enum class ProbeModel : uint8_t { X = 0, B = 1, BC = 2, A = 3 };

// What executes the target's program: the burst model that only pretends to run, or an emulated
// ARM1136 core running its instructions.
enum class CoreKind : uint8_t { Model, Arm1136 };

// Everything `tovsim` is told at start; also what a test hands the in-process simulator.
struct SimOptions {
    std::string serialPath;       // symbolic link to the pseudo-terminal's slave; empty: no serial
    std::string udpAddress;       // 127.x.y.z to answer on; empty: no UDP
    uint16_t udpBasePort = 2001;  // the probe's ports are this one and the next
    ProbeModel model = ProbeModel::B;
    uint8_t family = 40;                    // firmware family code
    uint16_t cpu = 0x8821;                  // CPU type code of the selected target
    uint16_t firmwareVersion = 105;         // version of the factory firmware within its family
    std::optional<uint16_t> loaderVersion;  // what Read versions reports; nothing: the model's
    uint32_t rate = 9600;  // line rate the probe listens at after a start or restart
    bool loader = false;   // start in the loader instead of the firmware
    std::string flashFile;
    std::string traceFile;
    FaultSettings faults;
    bool lineTiming = false;  // pace serial bytes at the line rate
    CoreKind core = CoreKind::Model;
    bool bigEndian = false;  // the target runs big-endian (state value 6 reports it)
    // Target addresses that answer as not accessible (inclusive bounds).
    uint32_t unmappedFirst = 0xFFF00000;
    uint32_t unmappedLast = 0xFFFFFFFF;
    // Flash banks on the target's bus, the target's on-chip flash (none unless given), and
    // addresses whose sector fails to erase (in a bank or in the on-chip flash).
    std::vector<FlashBankConfig> flashBanks = defaultFlashBanks();
    ChipFlashConfig chipFlash;
    std::vector<uint32_t> flashFailErase;
    FlashTiming flashTiming;  // how long the chips take to erase
};

// Result of parsing a command line: either options, a request for help, or an error text.
struct ParsedCommandLine {
    SimOptions options;
    bool help = false;
    bool version = false;
    std::string error;  // non-empty when the command line is unusable
    // --write-update-files DIR: write a firmware and a JEDEC file into DIR and serve nothing.
    std::optional<std::string> updateFilesDir;
    std::optional<uint16_t> writtenFirmwareVersion;  // --firmware-version when it was given
    std::optional<uint16_t> logicVersion;            // --logic-version
    std::vector<std::string> notes;                  // warnings for standard error
};

// Parses the arguments after the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

// "B", "BC", "A" or "X".
const char* modelName(ProbeModel model);

}  // namespace tov::sim
