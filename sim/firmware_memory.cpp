// Memory piece requests of the simulated firmware.
#include "sim/firmware_memory.h"

#include "link/frame_header.h"
#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr size_t kPieceHeader = 1 + 4 + 2 + 2;  // code, address, access, size
constexpr size_t kAnswerHeader = 1 + 2;         // code, status

}  // namespace

std::vector<uint8_t> readMemoryPiece(TargetBus& bus, std::span<const uint8_t> request) {
    std::vector<uint8_t> answer{kReadMemoryPiece};
    if (request.size() != kPieceHeader) {
        appendStatus(answer, kStatusInvalidParameter);
        return answer;
    }
    const uint32_t address = readU32(request, 1);
    const uint16_t size = readU16(request, 7);
    if (kAnswerHeader + size > link::kMaxMessage) {
        appendStatus(answer, kStatusInvalidParameter);
        return answer;
    }
    answer.resize(kAnswerHeader + size);
    bool ok = bus.read(address, std::span<uint8_t>(answer.data() + kAnswerHeader, size));
    answer[1] = 0;
    answer[2] = 0;
    if (!ok) {
        answer[1] = static_cast<uint8_t>(static_cast<uint16_t>(kStatusBadAddress) >> 8);
        answer[2] = static_cast<uint8_t>(static_cast<uint16_t>(kStatusBadAddress));
    }
    return answer;
}

std::vector<uint8_t> writeMemoryPiece(TargetBus& bus, std::span<const uint8_t> request) {
    std::vector<uint8_t> answer{kWriteMemoryPiece};
    if (request.size() < kPieceHeader || request.size() != kPieceHeader + readU16(request, 7)) {
        appendStatus(answer, kStatusInvalidParameter);
        return answer;
    }
    const uint32_t address = readU32(request, 1);
    bool ok = bus.write(address, request.subspan(kPieceHeader));
    appendStatus(answer, ok ? kStatusOk : kStatusBadAddress);
    return answer;
}

}  // namespace tov::sim
