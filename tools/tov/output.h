// How tov reports trouble: one "tov: ..." line on stderr and the exit code that goes with it.
#pragma once

#include <cstdint>
#include <string_view>

namespace tov::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// "tov: COMMAND: TEXT" with the library's text for `code`; returns kExitFailed.
int reportApiError(std::string_view command, int32_t code);

// "tov: MESSAGE"; returns kExitFailed.
int reportFailure(std::string_view message);

// "tov: MESSAGE" followed by the usage text; returns kExitUsage.
int reportUsageError(std::string_view message);

}  // namespace tov::cli
