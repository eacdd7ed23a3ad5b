// A program download as a debugger makes one: begin, writes of the usual size, end.
#pragma once

#include <cstdint>
#include <string>

namespace tov::rdihost {

class Debugger;

// Sends an S-record file (a file starting with 'S'), or a binary file placed at `address`,
// through the library's download bracket in writes of the debugger's chunk size.
bool loadFile(Debugger& debugger, const std::string& path, uint32_t address);

}  // namespace tov::rdihost
