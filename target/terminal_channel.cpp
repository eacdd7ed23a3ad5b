// Terminal characters, channel streams and direct commands.
#include <cstring>

#include "link/error_codes.h"
#include "target/target_link.h"

namespace tov::target {
namespace {

constexpr uint8_t kTerminalRead = 0x20;
constexpr uint8_t kTerminalText = 0x45;
constexpr uint8_t kTerminalWrite = 0x0D;
constexpr uint8_t kTerminalAck = 0x40;
constexpr uint8_t kChannelRead = 0xC6;
constexpr uint8_t kChannelWrite = 0xC7;
constexpr uint8_t kDirectCommand = 0xC3;

constexpr uint16_t kPiece = 1024;
constexpr size_t kMaxCommand = 1023;

}  // namespace

int32_t TargetLink::terminalRead(char* text) {
    int32_t rc = exchange(request().u8(kTerminalRead), 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kTerminalText) return link::kInvalidResponse;
    std::memcpy(text, a.at(1), a.rest(1));
    text[a.rest(1)] = '\0';
    return link::kOk;
}

int32_t TargetLink::terminalWrite(uint8_t character) {
    return statusExchange(request().u8(kTerminalWrite).u8(character), 100, kTerminalAck, 1);
}

int32_t TargetLink::channelRead(uint16_t channel, uint16_t count, uint8_t* buffer) {
    uint32_t total = 0;
    for (uint32_t remaining = count; remaining > 0;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(remaining, kPiece));
        remaining -= piece;
        int32_t rc = exchange(request().u8(kChannelRead).u16(channel).u16(piece), 1000);
        if (rc < 0) return rc;
        AnswerView a = answer(rc);
        if (a.code() != kChannelRead || a.size() < 3) return link::kInvalidResponse;
        if (a.status() != 0) return a.status();
        size_t length = a.size() >= 5 ? std::min({size_t{a.u16(3)}, size_t{piece}, a.rest(5)}) : 0;
        std::memcpy(buffer + total, a.at(5), length);
        total += static_cast<uint32_t>(length);
        if (length < piece) break;  // the probe had no more
    }
    return static_cast<int32_t>(total & 0xFFFF);
}

int32_t TargetLink::channelWrite(uint16_t channel, uint16_t count, const uint8_t* data) {
    uint32_t total = 0;
    for (uint32_t remaining = count; remaining > 0;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(remaining, kPiece));
        remaining -= piece;
        RequestBuilder r = request();
        r.u8(kChannelWrite).u16(channel).u16(piece).bytes(data + total, piece);
        int32_t rc = exchange(r, 1000);
        if (rc < 0) return rc;
        AnswerView a = answer(rc);
        if (a.code() != kChannelWrite || a.size() < 3) return link::kInvalidResponse;
        if (a.status() != 0) return a.status();
        uint16_t accepted = a.size() >= 5 ? std::min(a.u16(3), piece) : 0;
        total += accepted;
        if (accepted < piece) break;
    }
    return static_cast<int32_t>(total & 0xFFFF);
}

int32_t TargetLink::directCommand(const char* command, uint16_t capacity, char* reply) {
    size_t length = strnlen(command, kMaxCommand + 1);
    if (length > kMaxCommand) return link::kInvalidParameter;
    int32_t rc = exchange(request().u8(kDirectCommand).bytes(command, length).u8(0), 5000);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kDirectCommand || a.size() < 3) return link::kInvalidResponse;
    if (capacity > 0) {
        // The reply may carry its own terminator; the text ends at the first zero byte.
        size_t text = strnlen(reinterpret_cast<const char*>(a.at(3)), a.rest(3));
        size_t copied = std::min(text, size_t{capacity} - 1);
        std::memcpy(reply, a.at(3), copied);
        reply[copied] = '\0';
    }
    return a.status();
}

}  // namespace tov::target
