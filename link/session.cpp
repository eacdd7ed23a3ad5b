// Parameter texts, port names and the connect step.
#include "link/session.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "link/error_codes.h"
#include "link/error_detail.h"
#include "link/udp_transport.h"

namespace tov::link {
namespace {

constexpr size_t kParameterLimit = 80;
constexpr uint32_t kDefaultRate = 115200;
constexpr uint8_t kStartFirmware = 0x71;
constexpr int32_t kStartFirmwareWaitMs = 100;
constexpr uint32_t kRestartPauseMs = 2000;

std::vector<std::string> splitWords(const char* text) {
    std::vector<std::string> words;
    if (!text) return words;
    std::string_view view(text, strnlen(text, kParameterLimit));
    size_t i = 0;
    while (i < view.size() && words.size() < 3) {
        while (i < view.size() && view[i] == ' ') ++i;
        size_t start = i;
        while (i < view.size() && view[i] != ' ') ++i;
        if (i > start) words.emplace_back(view.substr(start, i - start));
    }
    return words;
}

// A positive decimal number, or 0 for anything else.
uint32_t parseRate(const std::string& word) {
    if (word.empty() || word.size() > 9) return 0;
    uint32_t value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

}  // namespace

std::string serialDevicePath(const std::string& portName) {
    std::string name = portName;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    if (!name.empty() && name[0] == '/') return name;
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
        uint32_t number = parseRate(name.substr(3));
        if (number == 0) return {};
        if (const char* mapped = std::getenv(("TOV_" + name.substr(0, 3) + std::to_string(number)).c_str())) {
            return mapped;
        }
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    return {};
}

int32_t openFromText(LinkContext& link, const char* parameters) {
    clearErrorDetail();
    link.close();
    const std::string_view forms =
        "; expected COMn [RATE], DEVICEPATH [RATE] or NETWORK HOST [1|2]";
    // Only the first 80 characters count; a longer text is often why a word looks wrong.
    const size_t length = parameters ? strnlen(parameters, 4096) : 0;
    const auto refuse = [&](std::string why) {
        if (length > kParameterLimit) {
            why += "; only the first " + std::to_string(kParameterLimit) + " of the text's " +
                   (length >= 4096 ? "4096 or more" : std::to_string(length)) +
                   " characters are read";
        }
        setErrorDetail(std::move(why));
        return kInvalidParameter;
    };
    std::vector<std::string> words = splitWords(parameters);
    if (words.empty()) return refuse("the parameter text is empty" + std::string(forms));
    const std::string& first = words[0];
    if (first.compare(0, 3, "COM") == 0 || first[0] == '\\' || first[0] == '/') {
        uint32_t rate = kDefaultRate;
        if (words.size() > 1) {
            rate = parseRate(words[1]);
            if (rate == 0) {
                return refuse(first + ": the line rate \"" + words[1] +
                              "\" is not a positive decimal number");
            }
        }
        std::string path = serialDevicePath(first);
        if (path.empty()) {
            setErrorDetail(first + ": not a port name (COMn or a device path)");
            return kSetupFailed;
        }
        return link.openSerial(path, rate);
    }
    if (first != "NETWORK") {
        return refuse("\"" + first + "\" is neither a port name nor NETWORK" + std::string(forms));
    }
    if (words.size() < 2) return refuse("NETWORK needs a host name or address: NETWORK HOST [1|2]");
    char selector = words.size() > 2 ? words[2][0] : '1';
    if (selector != '1' && selector != '2') {
        return refuse("NETWORK " + words[1] + ": the port selector \"" + words[2] +
                      "\" is not 1 or 2");
    }
    return openNetwork(link, words[1], selector == '1' ? 2001 : 2002);
}

namespace {

// Opens with `open`, then starts the firmware; a probe answering from its loader restarts and
// is opened again after a pause.
template <typename Open>
int32_t connectWith(LinkContext& link, Open open) {
    int32_t rc = open();
    if (rc != kOk) return rc;
    const uint8_t request[1] = {kStartFirmware};
    uint8_t answer[kMaxMessage + kHeaderSize];
    rc = link.transaction(request, answer, kStartFirmwareWaitMs);
    if (rc < 0) {
        link.close();
        return rc;
    }
    if (answer[0] == kStartFirmware) {
        link.close();
        link.clock().sleepMs(kRestartPauseMs);
        return open();
    }
    return kOk;
}

}  // namespace

int32_t connectFromText(LinkContext& link, const char* parameters) {
    return connectWith(link, [&] { return openFromText(link, parameters); });
}

int32_t connectByName(LinkContext& link, const char* name, uint32_t number) {
    return connectWith(link, [&] { return openByName(link, name, number); });
}

int32_t openByName(LinkContext& link, const char* name, uint32_t number) {
    clearErrorDetail();
    if (!name || !*name) return kInvalidParameter;
    if (std::strncmp(name, "COM", 3) == 0) {
        std::string path = serialDevicePath(name);
        if (path.empty()) return kSetupFailed;
        return link.openSerial(path, number);
    }
    if (number == 0 || number > 65535) return kInvalidParameter;
    return openNetwork(link, name, static_cast<uint16_t>(number));
}

int32_t openNetwork(LinkContext& link, const std::string& host, uint16_t port) {
    if (link.flavour().closeBeforeOpen) link.close();
    auto udp = std::make_unique<UdpTransport>(link.flavour());
    int32_t rc = udp->open(host, port);
    if (rc == kOk) rc = udp->check();
    if (rc != kOk) {
        link.close();
        return rc;
    }
    link.adopt(std::move(udp));
    return kOk;
}

}  // namespace tov::link
