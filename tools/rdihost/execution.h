// The commands that run the target and manage its points; each gets the words of its line.
#pragma once

#include <string>
#include <vector>

#include "debugger.h"

namespace tov::rdihost {

using Words = std::vector<std::string>;

bool runProgram(Debugger& d, const Words& w);
bool stepCommand(Debugger& d, const Words& w);
bool breakCommand(Debugger& d, const Words& w);
bool watchCommand(Debugger& d, const Words& w);
bool clearCommand(Debugger& d, const Words& w);
bool stopCommand(Debugger& d, const Words& w);

// A number as C writes it (decimal, 0x hexadecimal, 0 octal).
bool parseNumber(const std::string& text, unsigned long& value);

}  // namespace tov::rdihost
