// Probe maintenance commands of tov: show the probe's identity and network record, update its
// firmware and logic from a directory of files, and write its network configuration.
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "commands.h"
#include "output.h"
#include "progress.h"
#include "tovlink.h"

namespace tov::cli {

namespace {

constexpr uint32_t kFamilyCount = 36;
constexpr uint32_t kHighestMode = 3;
constexpr uint32_t kInvalidAddress = 0xFFFFFFFF;
// The one dotted text whose value cannot be told from a refused one.
constexpr std::string_view kAllOnesAddress = "255.255.255.255";
// Room for every text TOV_GetConfiguration writes, with a margin over the documented sizes.
constexpr size_t kTextRoom = 64;

// Family names as the library reports them, with their family index.
constexpr std::array<std::pair<std::string_view, uint16_t>, 12> kFamilyNames = {{
    {"CPU32", 0},
    {"MPC8xx/MPC5xx", 5},
    {"ColdFire", 6},
    {"HC12", 7},
    {"M-CORE", 8},
    {"ARM", 10},
    {"TriCore", 11},
    {"PPC6xx/PPC7xx", 17},
    {"PPC400", 20},
    {"MPC7450", 27},
    {"MIPS32", 30},
    {"XScale", 33},
}};

// The probe's texts as TOV_GetConfiguration hands them over.
struct ProbeTexts {
    std::array<char, kTextRoom> description{};
    std::array<char, kTextRoom> family{};
    std::array<char, kTextRoom> versions{};
    std::array<char, kTextRoom> mac{};
    std::array<char, kTextRoom> ip{};
    std::array<char, kTextRoom> mask{};
    std::array<char, kTextRoom> gateway{};
};

// The three numbers of the versions text "LLL:FFF:GGG": loader, firmware and logic.
struct Versions {
    std::string loader;
    std::string firmware;
    std::string logic;
};

int32_t readProbeTexts(const Invocation& call, ProbeTexts& texts) {
    return TOV_GetConfiguration(call.port.c_str(), texts.description.data(), texts.family.data(),
                                texts.versions.data(), texts.mac.data(), texts.ip.data(),
                                texts.mask.data(), texts.gateway.data());
}

// Nothing when the text has another form.
std::optional<Versions> splitVersions(std::string_view text) {
    const size_t first = text.find(':');
    const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    return Versions{std::string(text.substr(0, first)),
                    std::string(text.substr(first + 1, second - first - 1)),
                    std::string(text.substr(second + 1))};
}

std::string familyText(std::string_view family) {
    return family.empty() ? std::string("none the update knows") : std::string(family);
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view familyNameOf(uint16_t index) {
    for (const auto& [name, code] : kFamilyNames) {
        if (code == index) return name;
    }
    return {};
}

// FAMILY as an index 0..35 or a family name in any case.
uint16_t familyArgument(const Invocation& call, const std::string& text) {
    for (const auto& [name, code] : kFamilyNames) {
        if (sameIgnoringCase(name, text)) return code;
    }
    if (const std::optional<uint32_t> index = parseNumber(text, kFamilyCount - 1)) {
        return static_cast<uint16_t>(*index);
    }
    std::string names;
    for (const auto& entry : kFamilyNames) names += " " + std::string(entry.first);
    failUsage(call, "FAMILY '" + text + "' is neither a family index 0 to 35 nor one of" + names);
}

// True for a dotted text the library turns into an address (see TOV_INetAddr).
bool isAddressText(const std::string& text) {
    return TOV_INetAddr(text.c_str()) != kInvalidAddress || text == kAllOnesAddress;
}

// The address as the probe stores it, "a.b.c.d" without empty or padded components.
std::string canonicalAddress(const std::string& text) {
    const uint32_t value = TOV_INetAddr(text.c_str());
    uint8_t bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);
    char out[16];
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return out;
}

std::string addressArgument(const Invocation& call, std::string_view name,
                            const std::string& text) {
    if (!isAddressText(text)) {
        failUsage(call, std::string(name) + " '" + text +
                            "' is not a dotted address a.b.c.d with parts 0 to 255");
    }
    return text;
}

// What `update` says about one part: programmed (and from which version) or left as it was.
void printPart(const char* label, bool programmed, const std::string& before,
               const std::string& after) {
    if (programmed) {
        std::printf("%-9s programmed, version %s -> %s\n", label, before.c_str(), after.c_str());
    } else {
        std::printf("%-9s up to date, version %s\n", label, after.c_str());
    }
}

}  // namespace

int runProbe(const Invocation& call) {
    requireArgumentCount(call, 0, 0, "");
    ProbeTexts texts;
    const int32_t result = readProbeTexts(call, texts);
    if (result != 0) return reportApiError(call.command, result);

    std::printf("probe:    %s\n", texts.description.data());
    if (const std::optional<Versions> versions = splitVersions(texts.versions.data())) {
        std::printf("loader:   %s\n", versions->loader.c_str());
        std::printf("firmware: %s\n", versions->firmware.c_str());
        std::printf("logic:    %s\n", versions->logic.c_str());
    } else {
        std::printf("versions: %s\n", texts.versions.data());
    }
    std::printf("family:   %s\n", familyText(texts.family.data()).c_str());
    // A probe without a network record leaves the address texts empty.
    if (texts.mac[0] == '\0' && texts.ip[0] == '\0') {
        std::printf("network:  none on this probe\n");
        return kExitOk;
    }
    std::printf("MAC:      %s\n", texts.mac.data());
    std::printf("IP:       %s\n", texts.ip.data());
    std::printf("mask:     %s\n", texts.mask.data());
    std::printf("gateway:  %s\n", texts.gateway.data());
    return kExitOk;
}

int runUpdate(const Invocation& call) {
    constexpr std::string_view kSynopsis = "DIR FAMILY [--mode 0-3]";
    uint16_t mode = 0;
    std::vector<std::string> words;
    for (size_t i = 0; i < call.args.size(); ++i) {
        const std::string& arg = call.args[i];
        if (arg == "--mode") {
            if (i + 1 == call.args.size()) failUsage(call, "--mode needs a number 0 to 3");
            mode =
                static_cast<uint16_t>(numberArgument(call, "--mode", call.args[++i], kHighestMode));
        } else if (arg.starts_with("--")) {
            failUsage(call, "unknown option " + arg);
        } else {
            words.push_back(arg);
        }
    }
    if (words.size() != 2) failUsage(call, "expected update " + std::string(kSynopsis));
    std::error_code error;
    if (!std::filesystem::is_directory(words[0], error)) {
        failUsage(call, "DIR '" + words[0] + "' is not a directory");
    }
    // The library appends the file names to the path as it stands.
    std::string path = words[0];
    if (!path.ends_with('/')) path += '/';
    const uint16_t family = familyArgument(call, words[1]);

    ProbeTexts before;
    int32_t result = readProbeTexts(call, before);
    if (result != 0) return reportApiError(call.command, result);

    ProgressBar bar("updating firmware");
    result = TOV_UpdateFirmwareLogic(call.port.c_str(), path.c_str(), family, mode);
    bar.finish();
    if (result != 0) return reportApiError(call.command, result);

    const std::string_view name = familyNameOf(family);
    std::printf("updated %s from %s for family %u%s%s%s, mode %u\n", before.description.data(),
                path.c_str(), static_cast<unsigned>(family), name.empty() ? "" : " (",
                std::string(name).c_str(), name.empty() ? "" : ")", static_cast<unsigned>(mode));

    ProbeTexts after;
    result = readProbeTexts(call, after);
    const std::optional<Versions> old = splitVersions(before.versions.data());
    const std::optional<Versions> now = splitVersions(after.versions.data());
    if (result != 0 || !old || !now) {
        std::fprintf(stderr, "tov: %s: the versions could not be read back: %s\n",
                     call.command.c_str(),
                     result != 0 ? TOV_ErrorTextGet(result) : "unexpected versions text");
        return kExitOk;
    }
    // A forced part is programmed whatever its version; another one only when it changed.
    const bool firmwareChanged = old->firmware != now->firmware ||
                                 std::string_view(before.family.data()) != after.family.data();
    printPart("firmware:", mode == 1 || mode == 3 || firmwareChanged, old->firmware, now->firmware);
    printPart("logic:", mode == 2 || mode == 3 || old->logic != now->logic, old->logic, now->logic);
    std::printf("family:   %s\n", familyText(after.family.data()).c_str());
    return kExitOk;
}

int runNetconfig(const Invocation& call) {
    requireArgumentCount(call, 3, 3, "IP MASK GATEWAY");
    const std::string ip = addressArgument(call, "IP", call.args[0]);
    const std::string mask = addressArgument(call, "MASK", call.args[1]);
    // No gateway: the probe stores 255.255.255.255 for an empty text.
    const bool noGateway = call.args[2].empty() || call.args[2] == "-";
    const std::string gateway =
        noGateway ? std::string() : addressArgument(call, "GATEWAY", call.args[2]);

    const int32_t result =
        TOV_ConfigNetwork(call.port.c_str(), ip.c_str(), mask.c_str(), gateway.c_str());
    if (result != 0) return reportApiError(call.command, result);
    std::printf("network configuration written: IP %s, mask %s, gateway %s\n",
                canonicalAddress(ip).c_str(), canonicalAddress(mask).c_str(),
                noGateway ? "none" : canonicalAddress(gateway).c_str());
    return kExitOk;
}

}  // namespace tov::cli
