// The debugger side of a session: the configuration table it owns, the host interface it hands
// the library, and the agent and module it opens.
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "console_input.h"
#include "rdi_library.h"
#include "tovrdi.h"

namespace tov::rdihost {

struct DebuggerOptions {
    std::string library = "libtovrdi.so";
    std::vector<std::string> config;  // KEY=VALUE
    std::string logFile;              // empty: standard error
    unsigned byteSex = 2;             // requested at open: 0 little, 1 big, 2 don't care
    bool noStartup = false;
    unsigned chunk = 512;  // size of the writes of a load
};

class Debugger {
public:
    explicit Debugger(DebuggerOptions options);
    ~Debugger();
    Debugger(const Debugger&) = delete;
    Debugger& operator=(const Debugger&) = delete;

    // Loads the library and fills the configuration table; false with a message on stderr.
    bool start();

    // Opens agent and module unless open; prints both results. False when the session is not
    // usable.
    bool open();
    void close();
    bool isOpen() const { return agent_ != nullptr; }

    RdiLibrary& library() { return library_; }
    ConfigTable& config() { return config_; }
    const DebuggerOptions& options() const { return options_; }
    const RDI_ProcVec& rdi() const { return library_.vector(); }
    RDI_ModuleHandle module() const { return module_; }
    int openResult() const { return openResult_; }
    RDI_AgentHandle agent() const { return agent_; }

    // Standard input, shared by the command reader and the target program's console.
    ConsoleInput& input() { return input_; }
    // Raises the library's stop request (from any thread); a console read waiting for input
    // gives up.
    void raiseStop();
    // Ends the line the program's console output left open.
    void endConsoleLine();
    // Cleared when a run starts.
    std::atomic<bool>& stopRaised() { return stopRaised_; }
    // The exit status the target program reported at its end, if it did.
    std::optional<int> programExit;

private:
    static void debugPrint(RDI_Hif_DbgArg* arg, const char* format, va_list ap);
    static int readC(RDI_Hif_HostArg* arg);
    static char* getS(RDI_Hif_HostArg* arg, char* buffer, int length);

    DebuggerOptions options_;
    RdiLibrary library_;
    ConfigTable config_ = {};
    RDI_HostosInterface host_ = {};
    FILE* log_ = nullptr;
    RDI_AgentHandle agent_ = nullptr;
    RDI_ModuleHandle module_ = nullptr;
    int openResult_ = 0;
    ConsoleInput input_;
    std::atomic<bool> stopRaised_{false};
};

// Runs one command line; false when it failed.
bool runCommand(Debugger& debugger, const std::string& line);
// The command list for the help text.
std::string commandHelp();

}  // namespace tov::rdihost
