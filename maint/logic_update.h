// Programming the logic device through the probe's loader: fuse rows from a JEDEC file, the UES
// that carries the logic version, and the read-back of both. The library's procedure serves every
// model; the setup program's runs on the TOV-B and reports its texts to its dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "maint/loader_link.h"

namespace tov::maint {

// Programs the device (already erased by the caller) from `jedecPath` and writes the UES of
// `versionNumber` (logic base + logic file version). Result: 0 or the first error: -1306 for a
// JEDEC file that cannot be read, -1205 for an answer with a wrong opcode, -1305 for a row or UES
// read back differently, or a transport code. Logic mode 1 is sent only after the file was read;
// Logic mode 0 ends every run, whatever failed before, and its own result counts only when
// nothing else failed.
int32_t programLogic(LoaderLink& link, ProbeModel model, const std::string& jedecPath,
                     uint16_t versionNumber, const LoaderCaller& caller);

// Reads the JEDEC file as programLogic does, without touching the probe: 0 or -1306.
int32_t checkLogicFile(ProbeModel model, const std::string& jedecPath, const LoaderCaller& caller);

// Outcome of the setup program's logic step.
struct SetupLogicResult {
    int32_t code = 0;     // 0, or -1306, -1304, -1305, -1205 or a transport code
    std::string message;  // the message box text of a failure; empty on success
};

// Receives each status line text of the setup program's logic step as it is reached.
using LogicStatus = std::function<void(const std::string& text)>;

// The setup program's logic step on a TOV-B: reads `jedecPath`, enters logic programming,
// checks the device ID, erases, programs, verifies and always leaves logic programming.
// `logicFileVersion` is the version of the JEDEC file (its extension); the UES carries 8000 plus
// it, or 8000 when it is 0 or above 255.
SetupLogicResult programLogicForSetup(LoaderLink& link, const std::string& jedecPath,
                                      uint16_t logicFileVersion, const LogicStatus& status);

// Reads a TOV-B JEDEC file as the setup program's logic step does, without touching the probe:
// empty, or the message box text of its fault.
std::string checkSetupLogicFile(const std::string& jedecPath);

}  // namespace tov::maint
