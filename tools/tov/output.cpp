// Error lines of the tov tool.
#include "output.h"

#include <cstdio>

#include "commands.h"
#include "tovlink.h"

namespace tov::cli {

int reportApiError(std::string_view command, int32_t code) {
    std::fprintf(stderr, "tov: %.*s: %s\n", static_cast<int>(command.size()), command.data(),
                 TOV_ErrorTextGet(code));
    return kExitFailed;
}

int reportFailure(std::string_view message) {
    std::fprintf(stderr, "tov: %.*s\n", static_cast<int>(message.size()), message.data());
    return kExitFailed;
}

int reportUsageError(std::string_view message) {
    std::fprintf(stderr, "tov: %.*s\n\n", static_cast<int>(message.size()), message.data());
    printUsage(stderr);
    return kExitUsage;
}

}  // namespace tov::cli
