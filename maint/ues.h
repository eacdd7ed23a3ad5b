// The user electronic signature (UES) of the logic device: its text, which carries the logic
// version, and the '0'/'1' bit text the loader programs and reads back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "maint/loader_link.h"

namespace tov::maint {

// The UES text of a version number (logic base + logic file version) on `model`.
std::string uesText(ProbeModel model, uint16_t versionNumber);

// The bit text of a UES text on `model`: 8 bits per character, most significant first, with
// eight '0' for each position beyond the text (TOV-A, TOV-B); or the 4-bit form of each
// character's hexadecimal value, 0000 for a character that is no hexadecimal digit (TOV-X).
std::string uesBits(ProbeModel model, std::string_view text);

}  // namespace tov::maint
