// How tov reports trouble: one "tov: ..." line on stderr and the exit code that goes with it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tov::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// "tov: COMMAND: TEXT" with the library's text for `code` and, in brackets, its explanation of
// the failure when it has one; returns kExitFailed.
int reportApiError(std::string_view command, int32_t code);

// "tov: MESSAGE"; returns kExitFailed.
int reportFailure(std::string_view message);

// "tov: MESSAGE" and a line pointing at the help (of `command` when one is named); returns
// kExitUsage.
int reportUsageError(std::string_view message, std::string_view command = {});

}  // namespace tov::cli
