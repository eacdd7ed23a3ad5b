// Run control, target state, startup, probe information and the debug clock speed.
#include <cstring>

#include "link/error_codes.h"
#include "target/target_link.h"

namespace tov::target {
namespace {

constexpr uint8_t kReset = 0x82;
constexpr uint8_t kClockSpeed = 0x83;
constexpr uint8_t kState = 0xB4;
constexpr uint8_t kStartup = 0xB5;
constexpr uint8_t kStart = 0xBA;
constexpr uint8_t kHalt = 0xBB;
constexpr uint8_t kStep = 0xBC;
constexpr uint8_t kInfo = 0xC1;

constexpr int kHaltTries = 3;
constexpr uint16_t kMaxStartupEntries = 128;
constexpr size_t kMaxInfoAnswer = 50;
constexpr size_t kInfoFixedPart = 10;

uint32_t valueWait(uint16_t value) { return value != 0 ? value + 3000u : 5000u; }

}  // namespace

int32_t TargetLink::exchange(const RequestBuilder& request, uint32_t extraWait) {
    return link_.transaction(request.view(), answer_, static_cast<int32_t>(extraWait));
}

int32_t TargetLink::statusAnswer(int32_t rc, uint8_t code, size_t length) const {
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != code || a.size() != length) return link::kInvalidResponse;
    return length >= 3 ? a.status() : link::kOk;
}

int32_t TargetLink::statusExchange(const RequestBuilder& request, uint32_t extraWait, uint8_t code,
                                   size_t length) {
    return statusAnswer(exchange(request, extraWait), code, length);
}

int32_t TargetLink::start() {
    return statusExchange(request().u8(kStart), flavour().runControlWaitMs, kStart);
}

int32_t TargetLink::halt() {
    // Only a failed transaction is sent again; an answer, whatever its status, is final.
    int32_t rc = link::kNoResponse;
    for (int i = 0; i < kHaltTries && rc < 0; ++i) {
        rc = exchange(request().u8(kHalt), flavour().runControlWaitMs);
    }
    return statusAnswer(rc, kHalt, 3);
}

int32_t TargetLink::reset(uint16_t value) {
    if (flavour().resetAlwaysZero) value = 0;
    int32_t rc = statusExchange(request().u8(kReset).u8(0).u16(value), valueWait(value), kReset, 1);
    if (rc == link::kOk) targetWasReset();
    return rc;
}

int32_t TargetLink::step(uint32_t first, uint32_t second, uint16_t third, uint32_t& result) {
    int32_t rc = exchange(request().u8(kStep).u32(first).u32(second).u16(third), third + 100u);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kStep || a.size() != 7) return link::kInvalidResponse;
    result = a.u32(3);
    return a.status();
}

int32_t TargetLink::state(uint16_t& state, int32_t& error, uint32_t& value, uint16_t& valueCount,
                          uint32_t* values) {
    int32_t rc = exchange(request().u8(kState), flavour().runControlWaitMs);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    // The length is not checked beyond the fixed fields; values the answer does not carry are
    // not invented.
    if (a.code() != kState || a.size() < 9) return link::kInvalidResponse;
    state = a.u8(1);
    error = a.s16(2);
    value = a.u32(4);
    size_t n = std::min({size_t{a.u8(8)}, size_t{valueCount}, a.rest(9) / 4});
    for (size_t i = 0; i < n; ++i) values[i] = a.u32(9 + 4 * i);
    valueCount = static_cast<uint16_t>(n);
    return link::kOk;
}

int32_t TargetLink::startup(uint16_t value, uint32_t parameter, uint16_t entryCount,
                            const StartupEntry* entries) {
    if (!flavour().extendedTargetRequests) return link::kInvalidParameter;
    if (entryCount > kMaxStartupEntries) return link::kInvalidParameter;
    RequestBuilder r = request();
    r.u8(kStartup).u16(value).u32(parameter).u16(entryCount);
    for (uint16_t i = 0; i < entryCount; ++i) {
        r.u16(entries[i].kind).u32(entries[i].address).u32(entries[i].value);
    }
    int32_t rc = statusExchange(r, valueWait(value), kStartup);
    if (rc == link::kOk) targetWasReset();
    return rc;
}

int32_t TargetLink::info(TargetInfo& info) {
    int32_t rc = exchange(request().u8(kInfo), 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kInfo || a.size() > kMaxInfoAnswer || a.size() < kInfoFixedPart) {
        return link::kInvalidResponse;
    }
    uint16_t word = a.u16(2);
    if (word < 0xC000) {
        info.family = word >> 12;
        info.version = word & 0x0FFF;
    } else {
        info.family = static_cast<uint16_t>((word >> 8) - 0xC0);
        info.version = word & 0x00FF;
    }
    info.cpuType = a.u16(4);
    info.setupTime = a.u32(6);
    size_t idLength = a.size() - kInfoFixedPart;
    std::memcpy(info.setupId, a.at(kInfoFixedPart), idLength);
    info.setupId[idLength] = '\0';
    return link::kOk;
}

int32_t TargetLink::setBdmSpeed(uint32_t speed) {
    if (!flavour().extendedTargetRequests) return link::kInvalidParameter;
    return statusExchange(request().u8(kClockSpeed).u32(speed), 100, kClockSpeed, 1);
}

}  // namespace tov::target
