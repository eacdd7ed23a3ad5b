// Target memory in pieces of at most 1024 bytes, and the single byte/word/long accessors.
#include <cstring>

#include "link/error_codes.h"
#include "target/target_link.h"

namespace tov::target {
namespace {

constexpr uint8_t kMemRead = 0xB8;
constexpr uint8_t kMemWrite = 0xB9;
constexpr uint16_t kPiece = 1024;

// Request codes of the single-item accessors by width (1, 2, 4 bytes), and their answer codes.
constexpr uint8_t kGetCode[5] = {0, 0x05, 0x06, 0, 0x07};
constexpr uint8_t kSetCode[5] = {0, 0x01, 0x02, 0, 0x03};
constexpr uint8_t kItemAnswer[5] = {0, 0x41, 0x42, 0, 0x43};

uint32_t itemValue(const AnswerView& a, int width) {
    switch (width) {
        case 1: return a.u8(1);
        case 2: return a.u16(1);
        default: return a.u32(1);
    }
}

uint32_t widthMask(int width) { return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1; }

}  // namespace

int32_t TargetLink::memoryRead(uint32_t address, uint16_t access, uint16_t count,
                               uint8_t* buffer) {
    for (uint32_t done = 0; done < count;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(count - done, kPiece));
        int32_t rc = exchange(request().u8(kMemRead).u32(address + done).u16(access).u16(piece),
                              piece + 200u);
        if (rc < 0) return rc;
        AnswerView a = answer(rc);
        if (a.code() != kMemRead || a.size() != piece + 3u) return link::kInvalidResponse;
        std::memcpy(buffer + done, a.at(3), piece);
        if (a.status() != 0) return a.status();
        done += piece;
    }
    return link::kOk;
}

int32_t TargetLink::memoryWrite(uint32_t address, uint16_t access, uint16_t count,
                                const uint8_t* data) {
    for (uint32_t done = 0; done < count;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(count - done, kPiece));
        RequestBuilder r = request();
        r.u8(kMemWrite).u32(address + done).u16(access).u16(piece).bytes(data + done, piece);
        int32_t rc = statusExchange(r, piece + 200u, kMemWrite);
        if (rc != 0) return rc;
        done += piece;
    }
    return link::kOk;
}

int32_t TargetLink::getItem(uint32_t address, int width, uint32_t& value) {
    if (!flavour().extendedTargetRequests) return link::kInvalidParameter;
    int32_t rc = exchange(request().u8(kGetCode[width]).u32(address), 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kItemAnswer[width] || a.size() != 1u + width) return link::kInvalidResponse;
    value = itemValue(a, width);
    return link::kOk;
}

int32_t TargetLink::setItem(uint32_t address, int width, uint32_t value) {
    if (!flavour().extendedTargetRequests) return link::kInvalidParameter;
    RequestBuilder r = request();
    r.u8(kSetCode[width]).u32(address);
    if (width == 1) r.u8(static_cast<uint8_t>(value));
    if (width == 2) r.u16(static_cast<uint16_t>(value));
    if (width == 4) r.u32(value);
    int32_t rc = exchange(r, 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kItemAnswer[width] || a.size() != 1u + width) return link::kInvalidResponse;
    // The probe echoes what it read back after writing.
    if ((itemValue(a, width) & widthMask(width)) != (value & widthMask(width))) {
        return link::kTargetWriteFailed;
    }
    return link::kOk;
}

}  // namespace tov::target
