// The setup program's work without a window: converting between setup files and text files
// from scripts.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tov::setup {

// Runs "--export FILE.tov TEXTFILE" or "--import TEXTFILE FILE.tov" (arguments after the
// program name) and gives the exit code; nullopt when the arguments ask for the window.
// Messages go to standard error.
std::optional<int> runBatch(const std::vector<std::string>& args);

}  // namespace tov::setup
