// The file that keeps a probe's own flash and its logic device's fuses across runs of tovsim.
#pragma once

#include <string>

#include "sim/logic_device.h"
#include "sim/probe_flash.h"

namespace tov::sim {

// File layout: a text line "tovsim probe flash 1", a line "model B|BC|A|X", a line
// "flash BASE SIZE" (hexadecimal base, decimal size) and SIZE raw bytes, then a line
// "logic ROWS FUSES UESBITS", one line per fuse row and one line of UES bits.

// Loads FILE into flash and logic (both of the model). Returns an empty text when it did, else
// why not (file unreadable, not a probe flash file, another model, wrong sizes); on failure
// flash and logic are unchanged.
std::string loadProbeFile(const std::string& path, ProbeModel model, ProbeFlash& flash,
                          LogicDevice& logic);

// Writes flash and logic to FILE through a temporary file beside it and a rename, so a reader
// (or a crash) never sees half a file. Returns an empty text or why it failed.
std::string saveProbeFile(const std::string& path, const ProbeFlash& flash,
                          const LogicDevice& logic);

}  // namespace tov::sim
