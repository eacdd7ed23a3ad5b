// The external flash set-up of the flash commands: the --type text (or $TOV_FLASH_TYPE) that
// every flash command carries, because the library forgets a set-up at each connection and each
// tov command is a process of its own, and its description in words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tov::cli {

inline constexpr std::string_view kFlashTypeVariable = "TOV_FLASH_TYPE";

// The four values TOV_FlashSetType takes (its reserved argument aside).
struct FlashSetup {
    uint16_t type = 0;
    uint32_t chipSize = 0;
    uint16_t busBits = 0;
    uint32_t workspace = 0;
};

// "TYPE,CHIPSIZE,BUSBITS,WORKSPACE", each decimal or 0x hex; nullopt for any other text.
std::optional<FlashSetup> parseFlashSetup(std::string_view text);

// The --type text for a set-up: "2,0x80000,32,0x20000000".
std::string flashSetupText(const FlashSetup& setup);

// What a person reads about a set-up: bus and chip width, chips per bus, bank mask and size,
// workspace and erase method, one item per line.
std::string describeFlashSetup(const FlashSetup& setup);

}  // namespace tov::cli
