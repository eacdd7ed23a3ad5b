// Decoding of the loader's version answer and the conversions of its version words.
#include "maint/probe_identity.h"

#include <cstdio>

#include "link/error_codes.h"
#include "link/message.h"
#include "maint/loader_requests.h"

namespace tov::maint {

int32_t decodeVersionAnswer(std::span<const uint8_t> answer, ProbeIdentity& identity) {
    if (answer.empty() || answer[0] != kReadVersions) return link::kInvalidResponse;
    ProbeIdentity decoded;
    size_t serialLength = 0;
    switch (answer.size()) {
        case 7:
            decoded.model = ProbeModel::X;
            break;
        case 15:
            decoded.model = ProbeModel::B;
            serialLength = 8;
            break;
        case 17:
            // The two further serial characters of the TOV-B; a 'C' last marks the Rev.C board.
            decoded.model = answer[16] == 'C' ? ProbeModel::BC : ProbeModel::B;
            serialLength = 10;
            break;
        case 23:
            decoded.model = ProbeModel::A;
            serialLength = 8;
            break;
        default:
            return link::kUnknownProbe;
    }
    decoded.loaderVersion = link::readBigEndian16(answer.data() + 1);
    decoded.firmwareWord = link::readBigEndian16(answer.data() + 3);
    decoded.logicWord = link::readBigEndian16(answer.data() + 5);
    decoded.serial.assign(reinterpret_cast<const char*>(answer.data()) + 7, serialLength);
    identity = std::move(decoded);
    return link::kOk;
}

std::string shortSerial(const ProbeIdentity& identity) {
    return identity.serial.substr(0, 8);
}

unsigned familyIndexOf(uint16_t firmwareWord) {
    return firmwareWord < 0xC000 ? firmwareWord >> 12 : (firmwareWord - 0xC000u) >> 8;
}

uint16_t setupFirmwareVersion(uint16_t firmwareWord) {
    uint16_t v = firmwareWord;
    if (v >= 0xC000) v = static_cast<uint16_t>(v + 0x4000);
    v = static_cast<uint16_t>(v - 0x2800);
    return v > 255 ? 0 : v;
}

uint16_t setupLogicVersion(uint16_t logicWord) {
    const auto v = static_cast<uint16_t>(logicWord - 8000);
    return v > 999 ? 0 : v;
}

std::string versionDisplayText(unsigned version) {
    if (version < 1 || version > 255) return "unknown";
    char text[8];
    std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
    return text;
}

}  // namespace tov::maint
