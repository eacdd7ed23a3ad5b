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
// Writes the help of one command: its usage line, summary and notes.
void printCommandHelp(const Command& command, std::FILE* out);
// Longer notes on the options of a command, or "" (command_notes.cpp).
std::string_view commandNotes(std::string_view name);

// Link commands (commands_link.cpp).
int runPing(const Invocation& call);
int runConnect(const Invocation& call);
int runErrors(const Invocation& call);
int runRaw(const Invocation& call);

// Run control and information (commands_run.cpp).
int runInfo(const Invocation& call);
int runState(const Invocation& call);
int runHalt(const Invocation& call);
int runGo(const Invocation& call);
int runReset(const Invocation& call);
int runStep(const Invocation& call);

// Memory (commands_memory.cpp).
int runRead(const Invocation& call);
int runWrite(const Invocation& call);
int runGet8(const Invocation& call);
int runGet16(const Invocation& call);
int runGet32(const Invocation& call);
int runSet8(const Invocation& call);
int runSet16(const Invocation& call);
int runSet32(const Invocation& call);

// Registers (commands_registers.cpp).
int runRegs(const Invocation& call);
int runSetreg(const Invocation& call);

// Breakpoints and watchpoints (commands_points.cpp).
int runBreak(const Invocation& call);
int runBreakdel(const Invocation& call);
int runWatch(const Invocation& call);
int runWatchdel(const Invocation& call);

// Direct commands, terminal and channels (commands_io.cpp).
int runCmd(const Invocation& call);
int runTerm(const Invocation& call);
int runChan(const Invocation& call);

// Files (commands_files.cpp).
int runLoad(const Invocation& call);
int runVerify(const Invocation& call);
int runDump(const Invocation& call);

// External flash (commands_flash.cpp).
int runFlashType(const Invocation& call);
int runEraseSector(const Invocation& call);
int runEraseChip(const Invocation& call);
int runFlash(const Invocation& call);

// The GDB remote protocol server (commands_gdbserver.cpp).
int runGdbserver(const Invocation& call);
// Reads and checks the words of gdbserver as it does, without listening or connecting; throws
// UsageError for what it refuses.
void checkGdbserverArguments(const Invocation& call);

// Probe maintenance (commands_maint.cpp): these open and close the link themselves.
int runProbe(const Invocation& call);
int runUpdate(const Invocation& call);
int runNetconfig(const Invocation& call);
// Automatic programming jobs in the probe (commands_autoprog.cpp).
int runAutoprog(const Invocation& call);
int runAutoprogOff(const Invocation& call);
int runAutoprogShow(const Invocation& call);
// The setup the setup program stored in the probe (commands_setup.cpp).
int runSetupShow(const Invocation& call);

}  // namespace tov::cli
