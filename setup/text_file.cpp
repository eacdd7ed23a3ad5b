// Export and import of the setup text file.
#include "setup/text_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "setup/doc_archive.h"
#include "setup/number_text.h"
#include "setup/text_words.h"
#include "setup/value_tables.h"

namespace tov::setup {
namespace {

// Keys, mnemonics and table words longer than this match nothing.
constexpr size_t kMaxWord = 31;

enum class Section { kNone, kMode, kInit };

std::string format(const char* pattern, auto... args) {
    const int n = std::snprintf(nullptr, 0, pattern, args...);
    std::string out(static_cast<size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, args...);
    return out;
}

template <size_t N>
std::string textOf(const std::array<std::string_view, N>& table, uint32_t index) {
    return std::string(tableText(table, index).value_or(""));
}

template <size_t N>
uint32_t indexOf(const std::array<std::string_view, N>& table,
                 const std::vector<std::string_view>& words) {
    if (words.size() < 2 || words[1].size() > kMaxWord) return 0;
    return tableIndex(table, words[1]).value_or(0);
}

uint32_t numberAt(const std::vector<std::string_view>& words, size_t index, uint32_t fallback) {
    if (index >= words.size()) return fallback;
    return parseAutoBase(words[index]).value_or(fallback);
}

std::string initLine(const CCodeItem& item) {
    const ItemFields f = readItem(item);
    const std::string m(mnemonicOf(f.type));
    const char* c = f.comment.c_str();
    switch (f.type) {
    case kNop:
        return format("%-8s                      ;%s\r\n", m.c_str(), c);
    case kDelay:
        return format("%-8s           %-10u ;%s\r\n", m.c_str(), f.value, c);
    case kWm8:
        return format("%-8s0x%08X 0x%02X       ;%s\r\n", m.c_str(), f.address, f.value, c);
    case kWm16:
        return format("%-8s0x%08X 0x%04X     ;%s\r\n", m.c_str(), f.address, f.value, c);
    case kWgpr:
        return format("%-8s%-10u 0x%08X ;%s\r\n", m.c_str(), f.address, f.value, c);
    case kWcpsr:
        return format("%-8s           0x%08X ;%s\r\n", m.c_str(), f.value, c);
    default:
        if (f.type >= kWcp15) {
            return format("%-8s0x%04X     0x%08X ;%s\r\n", m.c_str(), f.address, f.value, c);
        }
        return format("%-8s0x%08X 0x%08X ;%s\r\n", m.c_str(), f.address, f.value, c);
    }
}

void readModeLine(std::string_view line, WorkingMode& mode) {
    const std::vector<std::string_view> words = blankWords(line, 3);
    if (words.empty() || words[0].size() > kMaxWord) return;
    const std::string_view key = words[0];
    const WorkingMode defaults = importDefaults();
    if (key == "ID") {
        mode.setupId = std::string(trimLeft(line.size() > 2 ? line.substr(2) : std::string_view{}));
    } else if (key == "CPUTYPE") {
        mode.cpuType = indexOf(kCpuTypes, words);
    } else if (key == "STARTUP") {
        mode.startupMode = indexOf(kStartupModes, words);
    } else if (key == "BREAKMODE") {
        mode.breakMode = indexOf(kBreakModes, words);
    } else if (key == "JTAGCLOCK") {
        mode.jtagClock = numberAt(words, 1, defaults.jtagClock);
    } else if (key == "RUNTIME") {
        mode.runTime = numberAt(words, 1, defaults.runTime);
    } else if (key == "WORKSPACE") {
        mode.workspace = words.size() > 1 ? parseHex(words[1]).value_or(defaults.workspace)
                                          : defaults.workspace;
    } else if (key == "TRAPMASK") {
        mode.trapMask = numberAt(words, 1, defaults.trapMask);
    } else if (key == "ENDIAN") {
        mode.bigEndian = words.size() > 1 && words[1] == "BIG" ? 1 : 0;
    } else if (key == "SCANPRED") {
        mode.scanPredCount = numberAt(words, 1, 0);
        mode.scanPredIrLength = numberAt(words, 2, 0);
    } else if (key == "SCANSUCC") {
        mode.scanSuccCount = numberAt(words, 1, 0);
        mode.scanSuccIrLength = numberAt(words, 2, 0);
    }
}

void readInitLine(std::string_view line, CCodeList& list) {
    const size_t semicolon = line.find(';');
    const std::string_view comment =
        semicolon == std::string_view::npos ? std::string_view{} : line.substr(semicolon + 1);
    const std::vector<std::string_view> words = blankWords(line.substr(0, semicolon), 3);
    if (words.empty() || words[0].size() > kMaxWord) return;
    const auto found = std::find(kMnemonics.begin(), kMnemonics.end(), words[0]);
    if (found == kMnemonics.end()) return;
    const auto type = static_cast<uint32_t>(found - kMnemonics.begin());
    uint32_t address = 0;
    uint32_t value = 0;
    if (type == kDelay || type == kWcpsr) {
        value = numberAt(words, 1, 0);
    } else if (type != kNop) {
        address = numberAt(words, 1, 0);
        value = numberAt(words, 2, 0);
    }
    list.append(makeItem(type, address, value, comment));
}

}  // namespace

WorkingMode importDefaults() {
    WorkingMode mode;
    mode.jtagClock = 0;
    return mode;
}

std::string exportText(const WorkingMode& mode, const CCodeList& list) {
    std::string out = "[MODE]\r\n";
    out += "ID         " + mode.setupId + "\r\n";
    out += "CPUTYPE    " + textOf(kCpuTypes, mode.cpuType) + "\r\n";
    out += format("JTAGCLOCK  %i\r\n", static_cast<int>(mode.jtagClock));
    out += format("TRAPMASK   0x%02X\r\n", mode.trapMask);
    out += "STARTUP    " + textOf(kStartupModes, mode.startupMode) + "\r\n";
    out += format("RUNTIME    %i\r\n", static_cast<int>(mode.runTime));
    out += "BREAKMODE  " + textOf(kBreakModes, mode.breakMode) + "\r\n";
    out += format("WORKSPACE  0x%08X\r\n", mode.workspace);
    out += mode.bigEndian ? "ENDIAN     BIG\r\n" : "ENDIAN     LITTLE\r\n";
    out += format("SCANPRED   %i %i\r\n", static_cast<int>(mode.scanPredCount),
                  static_cast<int>(mode.scanPredIrLength));
    out += format("SCANSUCC   %i %i\r\n", static_cast<int>(mode.scanSuccCount),
                  static_cast<int>(mode.scanSuccIrLength));
    out += "\r\n[INIT]\r\n";
    for (size_t i = 0; i < list.size(); ++i) out += initLine(list.at(i));
    return out;
}

ImportOutcome importText(std::string_view text, WorkingMode& mode, CCodeList& list) {
    ImportOutcome outcome;
    Section section = Section::kNone;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line == "[MODE]") {
            section = Section::kMode;
            mode = importDefaults();
        } else if (line == "[INIT]") {
            section = Section::kInit;
            list.removeAll();
            outcome.listReplaced = true;
        } else if (section == Section::kMode) {
            readModeLine(line, mode);
        } else if (section == Section::kInit) {
            readInitLine(line, list);
        }
    }
    return outcome;
}

std::string cannotOpenText(const std::string& path) {
    return "File " + path + " could not be opened !";
}
std::string cannotWriteText(const std::string& path) {
    return "File " + path + " could not be written to !";
}
std::string cannotReadText(const std::string& path) {
    return "File " + path + " could not be read !";
}

std::string exportTextFile(const std::string& path, const WorkingMode& mode,
                           const CCodeList& list) {
    const std::string text = exportText(mode, list);
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    switch (writeFileReplacing(path, bytes)) {
    case FileWrite::kOk:
        return {};
    case FileWrite::kCannotCreate:
        return cannotOpenText(path);
    case FileWrite::kWriteError:
        break;
    }
    return cannotWriteText(path);
}

std::string importTextFile(const std::string& path, WorkingMode& mode, CCodeList& list,
                           ImportOutcome& outcome) {
    std::vector<uint8_t> bytes;
    const FileRead read = readWholeFile(path, bytes);
    if (read == FileRead::kCannotOpen) return cannotOpenText(path);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // What was read before a read error still counts.
    outcome = importText(text, mode, list);
    return read == FileRead::kReadError ? cannotReadText(path) : std::string{};
}

}  // namespace tov::setup
