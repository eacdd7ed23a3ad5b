// The flash set-up of the flash commands: the --type text (or $TOV_FLASH_TYPE) that every flash
// command carries, because the library forgets a set-up at each connection and each tov command
// is a process of its own. The texts themselves are read and described below the tools.
#pragma once

#include <string_view>

#include "files/flash_settings.h"

namespace tov::cli {

inline constexpr std::string_view kFlashTypeVariable = "TOV_FLASH_TYPE";

using FlashSetup = files::FlashSettings;
using files::flashChipBytes;
using files::FlashKind;
using files::flashSetupText;
using files::flashTypeErases;

inline std::optional<FlashSetup> parseFlashSetup(std::string_view text) {
    return files::parseFlashSettings(text);
}
inline std::string describeFlashSetup(const FlashSetup& setup) {
    return files::describeFlashSettings(setup);
}

}  // namespace tov::cli
