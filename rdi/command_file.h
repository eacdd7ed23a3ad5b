// The lines of a command file run before and after a download: which of them are commands for
// the probe's command interpreter, and their text as it is sent.
#pragma once
#include <cstdio>
#include <functional>

namespace tov::rdi {

// Reads `file` in pieces of at most 127 characters (a longer line gives several pieces), cuts
// each piece at its first character outside printable ASCII, and hands out every piece that
// starts with a letter or digit as one command.
void forEachCommand(FILE* file, const std::function<void(const char* command)>& command);

}  // namespace tov::rdi
