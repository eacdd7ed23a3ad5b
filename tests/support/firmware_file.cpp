// Writing firmware S-record files for tests.
#include "tests/support/firmware_file.h"

#include <algorithm>

#include <cstdio>
#include <fstream>

namespace tov::test {
namespace {

unsigned addressBytes(unsigned type) {
    switch (type) {
        case 2:
        case 8:
            return 3;
        case 3:
        case 7:
            return 4;
        default:
            return 2;
    }
}

}  // namespace

FirmwareTarget firmwareTarget(std::string_view model) {
    if (model == "A" || model == "X") return {0x000A0000, 0x00100000};
    return {0x01040000, 0x01100000};
}

std::string sRecordLine(unsigned type, uint32_t address, const std::vector<uint8_t>& data) {
    const unsigned width = addressBytes(type);
    const unsigned count = width + static_cast<unsigned>(data.size()) + 1;
    char text[8];
    std::string line = "S" + std::to_string(type);
    std::snprintf(text, sizeof text, "%02X", count);
    line += text;
    unsigned sum = count;
    for (unsigned i = width; i-- > 0;) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        std::snprintf(text, sizeof text, "%02X", byte);
        line += text;
        sum += byte;
    }
    for (uint8_t byte : data) {
        std::snprintf(text, sizeof text, "%02X", byte);
        line += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X", ~sum & 0xFF);
    return line + text;
}

std::string sRecordText(unsigned type, uint32_t address, const std::vector<uint8_t>& data,
                        size_t perRecord) {
    std::string text;
    for (size_t at = 0; at < data.size(); at += perRecord) {
        const auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min(at + perRecord, data.size()));
        text += sRecordLine(type, address + static_cast<uint32_t>(at),
                            std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(at), end)) +
                "\n";
    }
    return text;
}

FirmwareFile writeFirmwareFile(const std::string& dir, const std::string& baseName,
                               unsigned fileVersion, uint16_t firmwareBase, std::string_view model,
                               size_t codeSize, uint32_t seed) {
    const FirmwareTarget target = firmwareTarget(model);
    char extension[8];
    std::snprintf(extension, sizeof extension, ".%03u", fileVersion % 1000);
    FirmwareFile file;
    file.path = dir + "/" + baseName + extension;
    file.versionWord = static_cast<uint16_t>(firmwareBase + fileVersion);
    file.start = target.markerAddress + 4;

    file.image = {static_cast<uint8_t>(file.versionWord >> 8),
                  static_cast<uint8_t>(file.versionWord), 0xFF, 0xFF};
    codeSize -= codeSize % 4;
    for (size_t i = 0; i < codeSize; ++i) {
        seed = seed * 1103515245u + 12345u;
        file.image.push_back(static_cast<uint8_t>(seed >> 16));
    }
    const uint32_t last = file.start + static_cast<uint32_t>(file.image.size()) - 1;
    const unsigned dataType = last > 0xFFFFFF ? 3 : 2;

    std::ofstream out(file.path, std::ios::trunc);
    const std::string title = baseName + extension;
    out << sRecordLine(0, 0, std::vector<uint8_t>(title.begin(), title.end())) << '\n';
    for (size_t at = 0; at < file.image.size(); at += 32) {
        const size_t n = std::min<size_t>(32, file.image.size() - at);
        const auto first = file.image.begin() + static_cast<std::ptrdiff_t>(at);
        out << sRecordLine(dataType, file.start + static_cast<uint32_t>(at),
                           std::vector<uint8_t>(first, first + static_cast<std::ptrdiff_t>(n)))
            << '\n';
    }
    out << sRecordLine(dataType == 3 ? 7 : 8, target.markerAddress + 8, {}) << '\n';
    return file;
}

}  // namespace tov::test
