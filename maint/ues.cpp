// UES texts and bit texts of the logic device.
#include "maint/ues.h"

#include <cctype>
#include <cstdio>

#include "maint/logic_geometry.h"

namespace tov::maint {
namespace {

int hexValue(char c) {
    const int upper = std::toupper(static_cast<unsigned char>(c));
    if (upper >= '0' && upper <= '9') return upper - '0';
    if (upper >= 'A' && upper <= 'F') return upper - 'A' + 10;
    return 0;
}

void appendBits(std::string& bits, unsigned value, int count) {
    for (int bit = count - 1; bit >= 0; --bit) bits.push_back((value >> bit) & 1U ? '1' : '0');
}

}  // namespace

std::string uesText(ProbeModel model, uint16_t versionNumber) {
    char text[32];
    const int n = versionNumber;
    switch (model) {
        case ProbeModel::X:
            std::snprintf(text, sizeof text, "TQX01E%04i", n);
            break;
        case ProbeModel::A:
            // The thousands go into one character counted from '0', so 11012 reads ";012".
            std::snprintf(text, sizeof text, "TQA01E%c%03i", static_cast<char>('0' + n / 1000),
                          n % 1000);
            break;
        case ProbeModel::B:
        case ProbeModel::BC:
            std::snprintf(text, sizeof text, "TQV01E%04i", n);
            break;
    }
    return text;
}

std::string uesBits(ProbeModel model, std::string_view text) {
    const LogicGeometry g = logicGeometry(model);
    std::string bits;
    bits.reserve(g.uesCharacters * g.bitsPerCharacter);
    for (size_t i = 0; i < g.uesCharacters; ++i) {
        const bool present = i < text.size();
        if (g.bitsPerCharacter == 4) {
            appendBits(bits, present ? static_cast<unsigned>(hexValue(text[i])) : 0U, 4);
        } else {
            appendBits(bits, present ? static_cast<unsigned char>(text[i]) : 0U, 8);
        }
    }
    return bits;
}

}  // namespace tov::maint
