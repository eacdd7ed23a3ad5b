// tov: every capability of the probe API from a shell. Reads the global options, finds the
// command in the dispatch table, and runs it against a probe or a simulator started for the run.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "command_line.h"
#include "commands.h"
#include "output.h"
#include "sim_launcher.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr std::string_view kDefaultRate = "115200";

std::vector<std::string> splitBlanks(const std::string& text) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (true) {
        pos = text.find_first_not_of(' ', pos);
        if (pos == std::string::npos) return words;
        const size_t end = text.find(' ', pos);
        words.push_back(text.substr(pos, end - pos));
        pos = end;
    }
}

// The port text for a simulator on `tty`: the rate word of a --port text is kept, and a
// network text is used as it is so that a simulator started with --udp can be reached.
std::string simPortText(const std::string& tty, const std::optional<std::string>& port) {
    const std::vector<std::string> words = port ? splitBlanks(*port) : std::vector<std::string>{};
    if (words.empty()) return tty + " " + std::string(kDefaultRate);
    if (words[0] == "NETWORK") return *port;
    return tty + " " + (words.size() > 1 ? words[1] : std::string(kDefaultRate));
}

int run(int argc, char** argv) {
    GlobalOptions options;
    const std::string problem = parseGlobalOptions(argc, argv, options);
    if (!problem.empty()) return reportUsageError(problem);
    if (options.version) {
        std::printf("tov %d.%d.%d (libtovlink %s)\n", TOVLINK_VERSION_MAJOR, TOVLINK_VERSION_MINOR,
                    TOVLINK_VERSION_PATCH, TOV_VersionGet());
        return kExitOk;
    }
    if (options.command.empty()) return reportUsageError("no command given");
    const Command* command = findCommand(options.command);
    if (command == nullptr) return reportUsageError("unknown command " + options.command);
    if (takeCommandWords(*command, options)) return kExitOk;

    if (!options.port) {
        const char* fromEnvironment = std::getenv("TOV_PORT");
        if (fromEnvironment != nullptr && *fromEnvironment != '\0') options.port = fromEnvironment;
    }
    if (command->needsPort && !options.port && !options.sim) {
        return reportUsageError("no probe port: give --port TEXT, set TOV_PORT, or use --sim",
                                options.command);
    }

    Invocation call{options.command, options.port.value_or(""), options.args};
    SimLauncher simulator;
    // Help needs no probe, so no simulator is started for it.
    if (options.sim && command->name != "help") {
        std::string error;
        if (!simulator.start(options.simOptions, error)) return reportFailure(error);
        call.port = simPortText(simulator.ttyPath(), options.port);
    }
    std::fflush(stdout);
    return command->run(call);
}

}  // namespace
}  // namespace tov::cli

int main(int argc, char** argv) {
    try {
        return tov::cli::run(argc, argv);
    } catch (const tov::cli::UsageError& e) {
        return tov::cli::reportUsageError(e.what(), e.command());
    } catch (const std::exception& e) {
        return tov::cli::reportFailure(e.what());
    } catch (...) {
        return tov::cli::reportFailure("unexpected failure");
    }
}
