// rdihost: loads an RDI target library as a debugger does and drives it from a shell.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "debugger.h"

namespace {

using tov::rdihost::Debugger;
using tov::rdihost::DebuggerOptions;

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: rdihost [--library FILE] [--config KEY=VALUE]... [--log FILE]\n"
                 "               [--byte-sex little|big|any] [--no-startup] [--chunk N]\n"
                 "               [-e COMMAND]...\n"
                 "Loads the RDI library (default libtovrdi.so) and runs the -e commands in turn,\n"
                 "or the commands read from standard input, one per line. The library's log goes\n"
                 "to standard error or to the --log file. The target program's console is the\n"
                 "terminal; when it reports its exit status, rdihost exits with that status.\n"
                 "Commands:\n%s",
                 tov::rdihost::commandHelp().c_str());
}

// A usage error is one line and where to look, not the whole help.
int usageError(const std::string& what) {
    std::fprintf(stderr,
                 "rdihost: %s\nrdihost: see 'rdihost --help' for the options and commands\n",
                 what.c_str());
    return 2;
}

int run(int argc, char** argv) {
    DebuggerOptions options;
    std::vector<std::string> commands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) std::exit(usageError(arg + " needs a value"));
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--library") {
            options.library = value();
        } else if (arg == "--config") {
            options.config.push_back(value());
        } else if (arg == "--log") {
            options.logFile = value();
        } else if (arg == "--byte-sex") {
            const std::string sex = value();
            if (sex == "little")
                options.byteSex = 0;
            else if (sex == "big")
                options.byteSex = 1;
            else if (sex == "any")
                options.byteSex = 2;
            else
                return usageError("--byte-sex is little, big or any");
        } else if (arg == "--no-startup") {
            options.noStartup = true;
        } else if (arg == "--chunk") {
            const long chunk = std::strtol(value().c_str(), nullptr, 0);
            if (chunk <= 0 || chunk > 0x100000)
                return usageError("--chunk wants 1 to 1048576 bytes");
            options.chunk = static_cast<unsigned>(chunk);
        } else if (arg == "-e") {
            commands.push_back(value());
        } else {
            return usageError("unknown argument " + arg);
        }
    }

    Debugger debugger(options);
    if (!debugger.start()) return 1;
    bool ok = true;
    if (!commands.empty()) {
        for (const std::string& command : commands) {
            if (!tov::rdihost::runCommand(debugger, command)) {
                ok = false;
                break;
            }
        }
    } else {
        const bool prompt = isatty(STDIN_FILENO);
        std::string line;
        while (true) {
            if (prompt) {
                std::printf("rdi> ");
                std::fflush(stdout);
            }
            const std::optional<std::string> read = debugger.input().readLine();
            if (!read) break;
            line = *read;
            if (line == "quit" || line == "exit") break;
            ok = tov::rdihost::runCommand(debugger, line) && ok;
            std::fflush(stdout);
        }
    }
    debugger.close();
    // A program that reported its exit status hands it on, as a shell expects of a runner.
    if (!ok) return 1;
    return debugger.programExit.value_or(0);
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing a command meets may end the program without a word: the one place that says why.
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rdihost: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "rdihost: unexpected failure\n");
    }
    return 1;
}
