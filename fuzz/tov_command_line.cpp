// Fuzzes tov's whole command line: the global options, the command word and the words of each
// command (numbers, hex byte lists, register and flash set-up texts, file options), through the
// parse and the handlers tov itself runs. The input is the words, one a line.
//
// No probe is reached: every command gets a COM port whose device does not exist, so a command
// whose words are accepted stops at its failed connection, and gdbserver's words are only checked
// (it would listen before connecting). Each run happens in a private folder holding one small
// S-record file and an empty folder, so file names reach the file options without touching the
// repository; between runs the working folder is the fuzzer's again, for its corpus paths.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/check.h"
#include "tools/tov/arguments.h"
#include "tools/tov/command_line.h"
#include "tools/tov/commands.h"
#include "tools/tov/output.h"

using namespace tov::cli;

namespace {

constexpr size_t kMaxWords = 64;
constexpr const char* kPort = "COM9 115200";

struct Sandbox {
    std::string folder;

    Sandbox() {
        char name[] = "/tmp/tov-fuzz-args-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        folder = name;
        // The port every command gets names a device that is not there.
        setenv("TOV_COM9", (folder + "/no-probe").c_str(), 1);
        unsetenv("TOV_PORT");
        unsetenv("TOV_FLASH_TYPE");
        FILE* image = std::fopen((folder + "/image.srec").c_str(), "w");
        if (!image) std::abort();
        std::fputs("S1130000000102030405060708090A0B0C0D0E0F74\nS9030000FC\n", image);
        std::fclose(image);
        if (mkdir((folder + "/dir").c_str(), 0700) != 0) std::abort();
        // What the commands print is of no interest.
        if (!std::freopen("/dev/null", "w", stdout)) std::abort();
        quiet = std::fopen("/dev/null", "w");
        if (!quiet) std::abort();
    }

    FILE* quiet;  // where the commands' complaints go instead of stderr
};

// Sends what is written to stderr through the stdio stream to `quiet` while it lives; the
// sanitizers and the fuzzer report on the descriptor, which stays as it was.
class QuietStderr {
public:
    explicit QuietStderr(FILE* quiet) : saved_(stderr) { stderr = quiet; }
    ~QuietStderr() { stderr = saved_; }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    FILE* saved_;
};

// Works in `folder` while it lives, then goes back to where it was.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : back_(open(".", O_RDONLY | O_DIRECTORY)) {
        if (back_ < 0 || chdir(folder.c_str()) != 0) std::abort();
    }
    ~WorkingFolder() {
        if (fchdir(back_) != 0) std::abort();
        close(back_);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    int back_;
};

bool hasWord(const std::vector<std::string>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Sandbox sandbox;
    if (size > 4096) return 0;
    std::vector<std::string> words{"tov"};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t at = 0; at <= text.size() && words.size() <= kMaxWords;) {
        const size_t end = std::min(text.find('\n', at), text.size());
        words.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    GlobalOptions options;
    const std::string problem =
        parseGlobalOptions(static_cast<int>(words.size()), argv.data(), options);
    if (!problem.empty() || options.command.empty()) return 0;
    const Command* command = findCommand(options.command);
    if (command == nullptr || takeCommandWords(*command, options)) return 0;

    const Invocation call{options.command, kPort, options.args};
    const WorkingFolder inSandbox(sandbox.folder);
    int rc = kExitOk;
    std::optional<UsageError> refused;
    {
        const QuietStderr quiet(sandbox.quiet);
        try {
            if (command->name == "gdbserver") {
                checkGdbserverArguments(call);
            } else {
                rc = command->run(call);
            }
        } catch (const UsageError& e) {
            refused = e;
        }
    }
    if (refused) {
        // A refused command line names the command it was refused for.
        FUZZ_CHECK(refused->command() == call.command);
        FUZZ_CHECK(std::string_view(refused->what()).starts_with(call.command + ": "));
        return 0;
    }
    FUZZ_CHECK(rc == kExitOk || rc == kExitFailed || rc == kExitUsage);
    // Nothing answers: a command that needs the probe cannot have done its work, save a flash dry
    // run, which plans without one (gdbserver was only checked).
    if (command->needsPort && rc == kExitOk && command->name != "gdbserver")
        FUZZ_CHECK(hasWord(call.args, "--dry-run"));
    return 0;
}
