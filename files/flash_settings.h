// Flash set-ups as texts: the one line that names an external flash or an on-chip flash with its
// values (what tov's --type and the image flash call take), and its description in words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tov::files {

// Which set-up call of the library a set-up goes to: external chips, or one of the on-chip
// flashes the probe programs and erases by itself.
enum class FlashKind : uint8_t { kExternal, kPaged, kRows, kUc3f, kSgfm };

// The values of one set-up call. External chips: TOV_FlashSetType's four (its reserved argument
// aside). Paged on-chip flash: variant, type, bus width, flash size (in chipSize), workspace and
// the translation of paged file addresses. Row-organised flash: type, parameter, workspace.
// Type 25/26 flash: type and workspace. Type 21 on-chip flash: parameter and workspace.
struct FlashSettings {
    uint16_t type = 0;
    uint32_t chipSize = 0;
    uint16_t busBits = 0;
    uint32_t workspace = 0;
    FlashKind kind = FlashKind::kExternal;
    uint16_t variant = 0;
    uint32_t parameter = 0;
    bool paged = false;
};

// A number in decimal or with 0x in hex, no larger than `max`; nullopt for anything else.
std::optional<uint32_t> parseNumber(std::string_view text, uint32_t max);

// "TYPE,CHIPSIZE,BUSBITS,WORKSPACE" for external chips, or for on-chip flash
// "hc12:VARIANT,TYPE,BUSBITS,FLASHSIZE,WORKSPACE[,paged]", "555:TYPE,PARAMETER,WORKSPACE",
// "uc3f:TYPE,WORKSPACE" or "sgfm:PARAMETER,WORKSPACE"; numbers decimal or 0x hex. nullopt for
// any other text.
std::optional<FlashSettings> parseFlashSettings(std::string_view text);

// The --type text for a set-up: "2,0x80000,32,0x20000000", "555:16,0,0x3F9800", ...
std::string flashSetupText(const FlashSettings& setup);

// Data bytes of one chip of an external flash type, or 0 for a type tov does not know.
uint32_t flashChipBytes(uint16_t type);
// False for an external flash type whose erase the library refuses (it is programmed as it is).
bool flashTypeErases(uint16_t type);

// What a person reads about a set-up: bus and chip width, chips per bus, bank mask and size,
// workspace and erase method, one item per line.
std::string describeFlashSettings(const FlashSettings& setup);

}  // namespace tov::files
