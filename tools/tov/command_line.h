// The words of a tov command line: the global options before the command word, the table of
// commands, and the words a command is handed. Reading them opens nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"

namespace tov::cli {

// What the words before the command word asked for.
struct GlobalOptions {
    std::optional<std::string> port;
    bool sim = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> simOptions;
    std::string command;
    std::vector<std::string> args;
};

// Reads the options before the command word and splits off the command and its words (tov
// --help COMMAND becomes help COMMAND). Returns an empty text on success, else what is wrong
// with the command line.
std::string parseGlobalOptions(int argc, char** argv, GlobalOptions& options);

// The command of the dispatch table called `name`, or nullptr.
const Command* findCommand(std::string_view name);

// Takes the help and progress words out of the words of `command` in `options.args`; true when
// they asked for the command's help, which is then printed.
bool takeCommandWords(const Command& command, GlobalOptions& options);

}  // namespace tov::cli
