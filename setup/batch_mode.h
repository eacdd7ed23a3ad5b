// The setup program's work without a window: converting between setup files and text files,
// and writing a stored setup into the probe, from scripts.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tov::setup {

// Runs "--export FILE.tov TEXTFILE", "--import TEXTFILE FILE.tov" or
// "--transmit FILE.tov [--port TEXT]" (arguments after the
// program name) and gives the exit code; nullopt when the arguments ask for the window.
// Messages go to standard error.
std::optional<int> runBatch(const std::vector<std::string>& args);

}  // namespace tov::setup
