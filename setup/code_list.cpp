// Item texts of the init list: building, reading and the editor's display lines.
#include "setup/code_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "setup/number_text.h"
#include "setup/text_words.h"

namespace tov::setup {

const std::array<std::string_view, kItemTypeCount> kMnemonics = {
    "NOP",   "DELAY", "WM8",   "WM16",  "WM32",  "WGPR",  "WCPSR", "WCP15",
    "WCP14", "WCP13", "WCP12", "WCP11", "WCP10", "WCP9",  "WCP8",  "WCP7",
    "WCP6",  "WCP5",  "WCP4",  "WCP3",  "WCP2",  "WCP1",  "WCP0"};

const std::array<std::string_view, kItemTypeCount> kItemLabels = {
    "NOP",         "Delay",       "Write Mem 8bit", "Write Mem 16bit", "Write Mem 32bit",
    "Write GPR",   "Write CPSR",  "Write CP15",     "Write CP14",      "Write CP13",
    "Write CP12",  "Write CP11",  "Write CP10",     "Write CP9",       "Write CP8",
    "Write CP7",   "Write CP6",   "Write CP5",      "Write CP4",       "Write CP3",
    "Write CP2",   "Write CP1",   "Write CP0"};

namespace {

constexpr size_t kMaxDisplayField = 255;

std::optional<uint32_t> typeOf(std::string_view mnemonic) {
    const auto found = std::find(kMnemonics.begin(), kMnemonics.end(), mnemonic);
    if (found == kMnemonics.end()) return std::nullopt;
    return static_cast<uint32_t>(found - kMnemonics.begin());
}

std::string cutComment(std::string_view comment) {
    return std::string(comment.substr(0, kMaxComment));
}

}  // namespace

std::vector<std::string> CCodeList::texts() const {
    std::vector<std::string> out;
    out.reserve(items_.size());
    for (const auto& item : items_) out.push_back(item->text());
    return out;
}

std::string_view mnemonicOf(uint32_t type) {
    return type < kItemTypeCount ? kMnemonics[type] : std::string_view{};
}

CCodeItem makeItem(uint32_t type, uint32_t address, uint32_t value, std::string_view comment) {
    char numbers[32];
    std::snprintf(numbers, sizeof numbers, "\t%08X\t%08X\t", address, value);
    std::string text(mnemonicOf(type));
    text += numbers;
    text += cutComment(comment);
    return CCodeItem(std::move(text));
}

ItemFields readItem(const CCodeItem& item) {
    const std::string& text = item.text();
    ItemFields fields;
    const std::vector<std::string_view> words = blankWords(text, 3);
    const std::string_view mnemonic = words.empty() ? std::string_view{} : words[0];
    fields.type = typeOf(mnemonic).value_or(kWm32);
    if (words.size() > 1) fields.address = parseHex(words[1]).value_or(0);
    if (words.size() > 2) fields.value = parseHex(words[2]).value_or(0);
    size_t at = 0;
    for (int tabs = 0; tabs < 3 && at != std::string::npos; ++tabs) {
        at = text.find('\t', at);
        if (at != std::string::npos) ++at;
    }
    if (at != std::string::npos) fields.comment = text.substr(at);
    return fields;
}

CCodeItem itemFromDisplayLine(std::string_view line) {
    std::array<std::string, 4> fields;
    size_t start = 0;
    for (size_t i = 0; i < fields.size() && start <= line.size(); ++i) {
        const size_t tab = line.find('\t', start);
        const size_t end = tab == std::string_view::npos ? line.size() : tab;
        fields[i] = std::string(line.substr(start, std::min(end - start, kMaxDisplayField)));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    for (size_t i = 0; i < 3; ++i) {
        for (char& c : fields[i]) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const uint32_t type = typeOf(fields[0]).value_or(kNop);
    return makeItem(type, parseAutoBase(fields[1]).value_or(0),
                    parseAutoBase(fields[2]).value_or(0), fields[3]);
}

std::string displayLine(const CCodeItem& item) {
    const ItemFields f = readItem(item);
    const std::string mnemonic(mnemonicOf(f.type));
    const std::string comment = cutComment(f.comment);
    char numbers[64];
    switch (f.type) {
    case kNop:
        std::snprintf(numbers, sizeof numbers, "\t\t\t");
        break;
    case kDelay:
        std::snprintf(numbers, sizeof numbers, "\t\t%u\t", f.value);
        break;
    case kWm8:
        std::snprintf(numbers, sizeof numbers, "\t0x%08X\t0x%02X\t", f.address, f.value);
        break;
    case kWm16:
        std::snprintf(numbers, sizeof numbers, "\t0x%08X\t0x%04X\t", f.address, f.value);
        break;
    case kWgpr:
        std::snprintf(numbers, sizeof numbers, "\t%u\t0x%08X\t", f.address, f.value);
        break;
    case kWcpsr:
        std::snprintf(numbers, sizeof numbers, "\t\t0x%08X\t", f.value);
        break;
    default:
        if (f.type >= kWcp15) {
            std::snprintf(numbers, sizeof numbers, "\t0x%04X\t0x%08X\t", f.address, f.value);
        } else {
            std::snprintf(numbers, sizeof numbers, "\t0x%08X\t0x%08X\t", f.address, f.value);
        }
        break;
    }
    return mnemonic + numbers + comment;
}

}  // namespace tov::setup
