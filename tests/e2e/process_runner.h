// Runs a program the way a shell would and collects what it wrote and how it ended.
#pragma once

#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace tov::e2e {

// How one finished program run ended.
struct ProcessResult {
    int exitCode = -1;  // -1 when it was ended by a signal
    int signal = 0;     // the signal that ended it, else 0
    std::string out;
    std::string err;
};

// Environment changes for a run: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// A program started with pipes on stdout and stderr.
class Process {
public:
    // `input` names a file for standard input; empty: the test's own.
    Process(const std::string& program, const std::vector<std::string>& args,
            const EnvironmentChanges& environment = {}, const std::string& input = {});
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    void sendSignal(int signo);
    // Reads standard output until it matches `pattern` (or 20 s pass); all read so far.
    // finish() still returns the whole output.
    std::string readOutUntil(const std::regex& pattern);
    // Reads both pipes to their end and waits for the exit; kills the program after 90 s.
    ProcessResult finish();

private:
    int pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outSoFar_;
};

// Runs to the end and returns the result.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const EnvironmentChanges& environment = {},
                         const std::string& input = {});

// The lines of a text, without their line ends.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace tov::e2e
