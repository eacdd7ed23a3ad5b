// Firmware S-record and JEDEC fuse-map files for the simulated probe's update.
#include "sim/update_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "maint/family_table.h"
#include "maint/logic_geometry.h"
#include "sim/firmware_info.h"

namespace tov::sim {
namespace {

// Start and end of transmission around a JEDEC file's fields.
constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

// The setup program updates the ARM11 family only, under names of its own.
constexpr uint8_t kSetupFamily = 40;

// Firmware code kept small, so a 9600-baud update takes seconds, not minutes.
constexpr size_t kUserCodeSize = 16 * 1024;

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

std::string leadingFuses(std::string_view line) {
    size_t n = 0;
    while (n < line.size() && (line[n] == '0' || line[n] == '1')) ++n;
    return std::string(line.substr(0, n));
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
        const auto end =
            data.begin() + static_cast<std::ptrdiff_t>(std::min(at + perRecord, data.size()));
        text +=
            sRecordLine(type, address + static_cast<uint32_t>(at),
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
    out.close();
    file.written = static_cast<bool>(out);
    return file;
}

std::vector<std::string> fuseRows(size_t rows, size_t rowLength, uint32_t seed) {
    std::vector<std::string> result(rows);
    uint32_t state = seed * 2654435761U + 1;
    for (auto& row : result) {
        row.resize(rowLength);
        for (auto& fuse : row) {
            state = state * 1103515245U + 12345U;
            fuse = (state >> 16) & 1U ? '1' : '0';
        }
    }
    return result;
}

std::vector<std::string> fuseLines(const std::vector<std::string>& rows, size_t linesPerRow) {
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        const size_t each = row.size() / linesPerRow;
        for (size_t l = 0; l < linesPerRow; ++l) {
            const size_t from = l * each;
            lines.push_back(row.substr(from, l + 1 == linesPerRow ? std::string::npos : each));
        }
    }
    return lines;
}

uint16_t fuseChecksum(const std::vector<std::string>& rows) {
    std::string fuses;
    for (const auto& row : rows) fuses += row;
    uint32_t sum = 0;
    for (size_t at = 0; at < fuses.size(); at += 8) {
        unsigned byte = 0;
        for (size_t bit = 0; bit < 8 && at + bit < fuses.size(); ++bit) {
            if (fuses[at + bit] == '1') byte |= 1U << bit;
        }
        sum += byte;
    }
    return static_cast<uint16_t>(sum);
}

std::string jedecText(const std::vector<std::string>& lines, const JedecFrame& frame) {
    std::vector<std::string> runs;
    size_t fuseCount = 0;
    for (const auto& line : lines) {
        runs.push_back(leadingFuses(line));
        fuseCount += runs.back().size();
    }
    const std::string& end = frame.lineEnd;

    std::string text;
    if (frame.withHeader) {
        text += kStx + std::string("JEDEC fuse map of the probe logic") + end;
        text += "NOTE Fuse map of the simulated probe*" + end;
        text += "*QP84" + end;
        text += "*QF" + std::to_string(fuseCount) + end;
        text += "*G0" + end;
        text += "*F0" + end;
    }
    text += frame.startLine + end;
    for (const auto& line : lines) text += line + end;
    if (frame.withTrailer) {
        char checksum[8];
        std::snprintf(checksum, sizeof checksum, "%04X", fuseChecksum(runs));
        text += std::string("*C") + checksum + end;
        text += "*" + end;
        text += kEtx + std::string("0000") + end;
    }
    return text;
}

std::string writeTextFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::optional<UpdateFileNames> updateFileNames(uint8_t family, ProbeModel model) {
    if (family == kSetupFamily) {
        if (model == ProbeModel::B) return UpdateFileNames{"TQBA11FW", "ARMJEDQB"};
        if (model == ProbeModel::BC) return UpdateFileNames{"TQBA11FW", "ARMJEDQC"};
        return std::nullopt;
    }
    if (family >= maint::kFamilyCount) return std::nullopt;
    const maint::FamilyFiles& files =
        maint::familyFiles(family, static_cast<maint::ProbeModel>(model));
    if (files.firmwareBase == 65535) return std::nullopt;
    return UpdateFileNames{files.firmwareFile, files.logicFile};
}

WrittenUpdateFiles writeUpdateFiles(const UpdateFilesRequest& request) {
    WrittenUpdateFiles result;
    const auto names = updateFileNames(request.family, request.model);
    if (!names) {
        result.error = "no update files are known for family " + std::to_string(request.family) +
                       " on model " + modelName(request.model);
        return result;
    }
    std::error_code ec;
    std::filesystem::create_directories(request.dir, ec);
    if (ec || !std::filesystem::is_directory(request.dir)) {
        result.error = "cannot make directory '" + request.dir +
                       "': " + (ec ? ec.message() : std::string("not a directory"));
        return result;
    }

    const FirmwareFile firmware = writeFirmwareFile(
        request.dir, names->firmware, request.firmwareVersion, versionWord(request.family, 0),
        modelName(request.model), kUserCodeSize, request.firmwareVersion);
    if (!firmware.written) {
        result.error = "cannot write '" + firmware.path + "'";
        return result;
    }
    result.firmwarePath = firmware.path;

    const maint::LogicGeometry geometry =
        maint::logicGeometry(static_cast<maint::ProbeModel>(request.model));
    char extension[8];
    std::snprintf(extension, sizeof extension, ".%03u", request.logicVersion % 1000);
    const std::string logicPath =
        (std::filesystem::path(request.dir) / (names->logic + extension)).string();
    const std::string text = jedecText(fuseLines(
        fuseRows(geometry.rows, geometry.rowLength, request.logicVersion), geometry.linesPerRow));
    std::ofstream out(logicPath, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        result.error = "cannot write '" + logicPath + "'";
        return result;
    }
    result.logicPath = logicPath;
    return result;
}

}  // namespace tov::sim
