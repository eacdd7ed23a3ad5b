// Error lines of the tov tool.
#include "output.h"

#include <cstdio>
#include <string>

#include "commands.h"
#include "tovlink.h"

namespace tov::cli {

int reportApiError(std::string_view command, int32_t code) {
    // Read before anything else calls the library: the next call may forget it.
    const std::string detail = TOV_LastErrorDetail();
    std::fprintf(stderr, "tov: %.*s: %s", static_cast<int>(command.size()), command.data(),
                 TOV_ErrorTextGet(code));
    if (!detail.empty()) std::fprintf(stderr, " (%s)", detail.c_str());
    std::fputc('\n', stderr);
    return kExitFailed;
}

int reportFailure(std::string_view message) {
    std::fprintf(stderr, "tov: %.*s\n", static_cast<int>(message.size()), message.data());
    return kExitFailed;
}

int reportUsageError(std::string_view message, std::string_view command) {
    std::fprintf(stderr, "tov: %.*s\n", static_cast<int>(message.size()), message.data());
    if (command.empty()) {
        std::fputs("tov: see 'tov --help' for the commands and options\n", stderr);
    } else {
        std::fprintf(stderr, "tov: see 'tov help %.*s' for its arguments\n",
                     static_cast<int>(command.size()), command.data());
    }
    return kExitUsage;
}

}  // namespace tov::cli
