// The commands of the tov tool: what a command receives and the handlers the dispatch table in
// main.cpp points at.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tov::cli {

// What a command runs with: the TOV_Open parameter text and the words after the command word.
struct Invocation {
    std::string command;
    std::string port;
    std::vector<std::string> args;
};

using CommandHandler = int (*)(const Invocation&);

// One row of the dispatch table; the help text is made from these rows.
struct Command {
    std::string_view name;
    std::string_view synopsis;  // the arguments, as shown in the help
    std::string_view summary;
    bool needsPort;
    CommandHandler run;
};

// Writes the usage text with every command of the dispatch table.
void printUsage(std::FILE* out);

// Link commands (commands_link.cpp).
int runPing(const Invocation& call);
int runConnect(const Invocation& call);
int runErrors(const Invocation& call);
int runRaw(const Invocation& call);

}  // namespace tov::cli
