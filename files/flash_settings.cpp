// Reading, writing and describing flash set-up texts.
#include "files/flash_settings.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <vector>

namespace tov::files {

namespace {

// How a flash type erases, and the width of one of its chips, for the description.
struct FlashTypeRow {
    uint16_t type;
    uint8_t chipBytes;
    std::string_view erase;
};

constexpr std::array kFlashTypes = {
    FlashTypeRow{2, 1, "command set A, unlock 0x5555/0x2AAA"},
    FlashTypeRow{31, 1, "command set A, unlock 0x5555/0x2AAA"},
    FlashTypeRow{5, 1, "command set B"},
    FlashTypeRow{29, 1, "command set B"},
    FlashTypeRow{6, 2, "command set B"},
    FlashTypeRow{30, 2, "command set B"},
    FlashTypeRow{11, 1, "command set A, unlock 0xAAAA/0x5555"},
    FlashTypeRow{32, 1, "command set A, unlock 0xAAAA/0x5555"},
    FlashTypeRow{12, 2, "command set A, unlock 0x5555/0x2AAA"},
    FlashTypeRow{33, 2, "command set A, unlock 0x5555/0x2AAA"},
    FlashTypeRow{22, 1, "command set A, plain poll, block erase, unlock 0x5555/0x2AAA"},
    FlashTypeRow{23, 1, "command set A, plain poll, block erase, unlock 0xAAAA/0x5555"},
    FlashTypeRow{24, 2, "command set A, plain poll, block erase, unlock 0x5555/0x2AAA"},
    FlashTypeRow{34, 4, "none (erase commands are refused)"},
    FlashTypeRow{35, 2, "command set A, unlock 0xAAAA/0x5555"},
    FlashTypeRow{36, 4, "command set A, unlock 0x5555/0x2AAA"},
    FlashTypeRow{37, 2, "command set A, alternating poll, unlock 0xAAAA/0x5555"},
    FlashTypeRow{38, 4, "command set A, alternating poll, unlock 0x5555/0x2AAA"},
    FlashTypeRow{39, 4, "by the probe"},
    FlashTypeRow{40, 4, "by the probe"},
    FlashTypeRow{41, 2, "by the probe"},
};

const FlashTypeRow* findType(uint16_t type) {
    for (const FlashTypeRow& row : kFlashTypes) {
        if (row.type == type) return &row;
    }
    return nullptr;
}

std::vector<std::string_view> splitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const size_t comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return parts;
        text.remove_prefix(comma + 1);
    }
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string hexShort(uint32_t value) {
    if (value == 0) return "0";
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// The numbers of an on-chip set-up text, each no larger than its limit; nullopt when the count
// differs or a number is bad.
std::optional<std::vector<uint32_t>> numbers(const std::vector<std::string_view>& parts,
                                             std::initializer_list<uint32_t> limits) {
    if (parts.size() != limits.size()) return std::nullopt;
    std::vector<uint32_t> values;
    size_t i = 0;
    for (uint32_t limit : limits) {
        const std::optional<uint32_t> value = parseNumber(parts[i++], limit);
        if (!value) return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

std::optional<FlashSettings> parseOnChipSetup(std::string_view kind,
                                              std::vector<std::string_view> parts) {
    constexpr uint32_t k16 = 0xFFFF;
    constexpr uint32_t k32 = 0xFFFFFFFF;
    FlashSettings setup;
    if (kind == "hc12") {
        if (parts.size() == 6 && parts.back() == "paged") {
            setup.paged = true;
            parts.pop_back();
        }
        const auto v = numbers(parts, {k16, 0x7FFF, k16, k32, k32});
        if (!v) return std::nullopt;
        setup.kind = FlashKind::kPaged;
        setup.variant = static_cast<uint16_t>((*v)[0]);
        setup.type = static_cast<uint16_t>((*v)[1]);
        setup.busBits = static_cast<uint16_t>((*v)[2]);
        setup.chipSize = (*v)[3];
        setup.workspace = (*v)[4];
    } else if (kind == "555") {
        const auto v = numbers(parts, {k16, k32, k32});
        if (!v) return std::nullopt;
        setup.kind = FlashKind::kRows;
        setup.type = static_cast<uint16_t>((*v)[0]);
        setup.parameter = (*v)[1];
        setup.workspace = (*v)[2];
    } else if (kind == "uc3f") {
        const auto v = numbers(parts, {k16, k32});
        if (!v) return std::nullopt;
        setup.kind = FlashKind::kUc3f;
        setup.type = static_cast<uint16_t>((*v)[0]);
        setup.workspace = (*v)[1];
    } else if (kind == "sgfm") {
        const auto v = numbers(parts, {k32, k32});
        if (!v) return std::nullopt;
        setup.kind = FlashKind::kSgfm;
        setup.type = 21;
        setup.parameter = (*v)[0];
        setup.workspace = (*v)[1];
    } else {
        return std::nullopt;
    }
    return setup;
}

std::string describeOnChipSetup(const FlashSettings& setup) {
    std::string text;
    switch (setup.kind) {
        case FlashKind::kPaged:
            text = "on-chip flash of a paged 16-bit target, programmed by the probe\n";
            text += "variant:     " + std::to_string(setup.variant) +
                    (setup.variant >= 16 && setup.variant <= 20 ? " (extended page map)\n"
                                                                : " (plain page map)\n");
            text += "flash type:  " + std::to_string(setup.type) + "\n";
            text += "bus width:   " + std::to_string(setup.busBits) + " bits\n";
            text += "flash size:  " + hexShort(setup.chipSize) + " bytes\n";
            text += std::string("file loads:  ") +
                    (setup.paged ? "paged CPU addresses translated to flash addresses\n"
                                 : "addresses used as they are\n");
            break;
        case FlashKind::kRows:
            text = "row-organised on-chip flash (type " + std::to_string(setup.type) +
                   "), programmed and erased by the probe\n";
            text += "parameter:   " + hex32(setup.parameter) + "\n";
            break;
        case FlashKind::kUc3f:
            text = "on-chip flash of type " + std::to_string(setup.type) +
                   ", programmed and erased by the probe\n";
            break;
        case FlashKind::kSgfm:
            text =
                "on-chip flash of a 32-bit controller (type 21), programmed and erased by the "
                "probe\n";
            text += "parameter:   " + hex32(setup.parameter) + "\n";
            break;
        case FlashKind::kExternal:
            break;
    }
    text += "workspace:   " + hex32(setup.workspace) + "\n";
    return text;
}

}  // namespace

std::optional<uint32_t> parseNumber(std::string_view text, uint32_t max) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<FlashSettings> parseFlashSettings(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos)
        return parseOnChipSetup(text.substr(0, colon), splitCommas(text.substr(colon + 1)));
    const std::vector<std::string_view> parts = splitCommas(text);
    if (parts.size() != 4) return std::nullopt;
    const std::optional<uint32_t> type = parseNumber(parts[0], 0xFFFF);
    const std::optional<uint32_t> chipSize = parseNumber(parts[1], 0xFFFFFFFF);
    const std::optional<uint32_t> busBits = parseNumber(parts[2], 0xFFFF);
    const std::optional<uint32_t> workspace = parseNumber(parts[3], 0xFFFFFFFF);
    if (!type || !chipSize || !busBits || !workspace) return std::nullopt;
    return FlashSettings{static_cast<uint16_t>(*type), *chipSize, static_cast<uint16_t>(*busBits),
                         *workspace};
}

std::string flashSetupText(const FlashSettings& setup) {
    switch (setup.kind) {
        case FlashKind::kPaged:
            return "hc12:" + std::to_string(setup.variant) + "," + std::to_string(setup.type) +
                   "," + std::to_string(setup.busBits) + "," + hexShort(setup.chipSize) + "," +
                   hexShort(setup.workspace) + (setup.paged ? ",paged" : "");
        case FlashKind::kRows:
            return "555:" + std::to_string(setup.type) + "," + hexShort(setup.parameter) + "," +
                   hexShort(setup.workspace);
        case FlashKind::kUc3f:
            return "uc3f:" + std::to_string(setup.type) + "," + hexShort(setup.workspace);
        case FlashKind::kSgfm:
            return "sgfm:" + hexShort(setup.parameter) + "," + hexShort(setup.workspace);
        case FlashKind::kExternal:
            break;
    }
    return std::to_string(setup.type) + "," + hexShort(setup.chipSize) + "," +
           std::to_string(setup.busBits) + "," + hexShort(setup.workspace);
}

uint32_t flashChipBytes(uint16_t type) {
    const FlashTypeRow* row = findType(type);
    return row == nullptr ? 0 : row->chipBytes;
}

bool flashTypeErases(uint16_t type) {
    const FlashTypeRow* row = findType(type);
    return row == nullptr || !row->erase.starts_with("none");
}

std::string describeFlashSettings(const FlashSettings& setup) {
    if (setup.kind != FlashKind::kExternal) return describeOnChipSetup(setup);
    const unsigned busBytes = setup.busBits / 8u;
    std::string text = "flash type:  " + std::to_string(setup.type) + "\n";
    text += "bus width:   " + std::to_string(setup.busBits) + " bits (" + std::to_string(busBytes) +
            (busBytes == 1 ? " byte" : " bytes") + " per access)\n";
    const FlashTypeRow* row = findType(setup.type);
    if (row == nullptr) {
        text += "chip width:  unknown\n";
        return text;
    }
    text += "chip width:  " + std::to_string(row->chipBytes * 8u) + " bits\n";
    if (busBytes >= row->chipBytes) {
        text += "chips:       " + std::to_string(busBytes / row->chipBytes) + " side by side\n";
    } else {
        text += "chips:       none fit: a chip is wider than the bus\n";
    }
    // The same arithmetic as the library's: a bank spans one chip size on every chip of the bus,
    // and the mask keeps the address bits above the bank.
    const uint64_t bankSize = uint64_t{setup.chipSize} * busBytes / row->chipBytes;
    const uint32_t mask = static_cast<uint32_t>(0 - bankSize);
    text += "chip size:   " + hexShort(setup.chipSize) + " bytes\n";
    char bank[24];
    std::snprintf(bank, sizeof bank, "0x%llX", static_cast<unsigned long long>(bankSize));
    text += "bank size:   " + std::string(bank) + " bytes\n";
    text += "bank mask:   " + hex32(mask) + "\n";
    text += "workspace:   " + hex32(setup.workspace) + "\n";
    text += "erase:       " + std::string(row->erase) + "\n";
    return text;
}

}  // namespace tov::files
