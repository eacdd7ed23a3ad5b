// The loader's request handlers over the probe's flash and logic device.
#include "sim/loader.h"

#include <string_view>

#include "sim/wire.h"

namespace tov::sim {
namespace {

std::vector<uint8_t> withStatus(uint8_t code, bool done) {
    return {code, static_cast<uint8_t>(done ? 0 : 1)};
}

std::string_view textAfter(std::span<const uint8_t> request, size_t at) {
    return {reinterpret_cast<const char*>(request.data()) + at, request.size() - at};
}

}  // namespace

std::vector<uint8_t> readVersions(const LoaderContext& c, std::span<const uint8_t> request) {
    if (request.size() != 1) return {kUnknownRequestAnswer};
    std::vector<uint8_t> answer{kReadVersions};
    appendU16(answer, c.identity.loaderVersion);
    appendU16(answer, c.flash.firmwareVersionWord());
    appendU16(answer, c.logic.versionWord());
    answer.insert(answer.end(), c.identity.serial.begin(), c.identity.serial.end());
    if (c.model == ProbeModel::A) {
        for (char b : {'R', 'E', 'V', '2', '\0', '\0', '\0', '\0'})
            answer.push_back(static_cast<uint8_t>(b));
    }
    return answer;
}

std::vector<uint8_t> readFlash(const ProbeFlash& flash, std::span<const uint8_t> request) {
    if (request.size() != 7) return {kUnknownRequestAnswer};
    const uint32_t address = readU32(request, 1);
    const uint16_t length = readU16(request, 5);
    if (length > kMaxFlashRead) return {kUnknownRequestAnswer};
    auto data = flash.read(address, length);
    if (!data) return {kUnknownRequestAnswer};
    std::vector<uint8_t> answer{kReadFlash};
    appendU32(answer, address);
    appendU16(answer, length);
    answer.insert(answer.end(), data->begin(), data->end());
    return answer;
}

std::vector<uint8_t> eraseSector(ProbeFlash& flash, std::span<const uint8_t> request) {
    if (request.size() != 5) {
        return {kEraseSector, static_cast<uint8_t>(FlashStatus::Malformed)};
    }
    return {kEraseSector, static_cast<uint8_t>(flash.eraseSector(readU32(request, 1)))};
}

std::vector<uint8_t> programFlash(ProbeFlash& flash, std::span<const uint8_t> request) {
    FlashStatus status = FlashStatus::Malformed;
    uint32_t address = 0;
    if (request.size() >= 7) {
        address = readU32(request, 1);
        const size_t count = readU16(request, 5);
        const size_t bytes = flash.layout().wordProgramming ? 2 * count : count;
        const auto data = request.subspan(7);
        if (data.size() == bytes) {
            status = flash.program(address, data);
            if (status == FlashStatus::Done) address += static_cast<uint32_t>(bytes);
        }
    }
    std::vector<uint8_t> answer{kProgramFlash, static_cast<uint8_t>(status)};
    appendU32(answer, address);
    return answer;
}

std::vector<uint8_t> logicRequest(const LoaderContext& c, std::span<const uint8_t> request) {
    const uint8_t code = request[0];
    if (code == kLogicMode) {
        if (request.size() != 2 || request[1] > 1) return {kUnknownRequestAnswer};
        c.logicMode = request[1] == 1;
        return {kLogicMode};
    }
    if (!c.logicMode) return {kUnknownRequestAnswer};
    switch (code) {
        case kReadLogicId:
            if (request.size() != 1) break;
            return {kReadLogicId, c.logic.deviceId()};
        case kReadFuseRow: {
            if (request.size() != 2) break;
            auto readings = c.logic.readRow(request[1]);
            if (!readings) break;
            std::vector<uint8_t> answer{kReadFuseRow};
            answer.insert(answer.end(), readings->begin(), readings->end());
            return answer;
        }
        case kProgramFuseRow:
            if (request.size() < 2) break;
            return withStatus(kProgramFuseRow,
                              c.logic.programRow(request[1], textAfter(request, 2)));
        case kReadUes: {
            if (request.size() != 1) break;
            const std::string bits = c.logic.readUes();
            std::vector<uint8_t> answer{kReadUes};
            answer.insert(answer.end(), bits.begin(), bits.end());
            return answer;
        }
        case kProgramUes:
            return withStatus(kProgramUes, c.logic.programUes(textAfter(request, 1)));
        case kEraseLogic:
            if (request.size() != 1) break;
            c.logic.erase();
            return withStatus(kEraseLogic, true);
        default:
            break;
    }
    return {kUnknownRequestAnswer};
}

bool changesStorage(uint8_t code) {
    return code == kEraseSector || code == kProgramFlash || code == kProgramFuseRow ||
           code == kProgramUes || code == kEraseLogic;
}

}  // namespace tov::sim
