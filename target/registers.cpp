// Core, floating-point and vector register requests.
#include <cstring>

#include "link/error_codes.h"
#include "target/target_link.h"

namespace tov::target {
namespace {

constexpr uint8_t kRegRead = 0xB6;
constexpr uint8_t kRegWrite = 0xB7;
constexpr uint8_t kFpRead = 0xC4;
constexpr uint8_t kFpWrite = 0xC5;
constexpr uint8_t kVecRead = 0xC8;
constexpr uint8_t kVecWrite = 0xC9;

constexpr size_t kFpSize = 8;
constexpr size_t kVecSize = 16;
constexpr uint16_t kMaxFp = 128;
constexpr uint16_t kMaxVec = 64;

// Number of registers first..last, computed in 16 bits as the probe's hosts always did.
uint16_t rangeCount(uint16_t first, uint16_t last) {
    return static_cast<uint16_t>(last - first + 1);
}

}  // namespace

int32_t TargetLink::registerGet(uint16_t count, const RegisterDescriptor* registers,
                                uint32_t* values) {
    if (3 + 4 * size_t{count} > link::kMaxMessage) return link::kInvalidParameter;
    RequestBuilder r = request();
    r.u8(kRegRead).u16(count);
    for (uint16_t i = 0; i < count; ++i) r.u16(registers[i].group).u16(registers[i].number);
    int32_t rc = exchange(r, 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kRegRead || a.size() < 3) return link::kInvalidResponse;
    if (a.status() != 0) return a.status();
    if (a.size() < 5) return link::kInvalidResponse;
    size_t n = std::min({size_t{a.u16(3)}, size_t{count}, a.rest(5) / 4});
    for (size_t i = 0; i < n; ++i) values[i] = a.u32(5 + 4 * i);
    return link::kOk;
}

int32_t TargetLink::registerSet(uint16_t count, const RegisterDescriptor* registers,
                                const int32_t* values) {
    if (3 + 8 * size_t{count} > link::kMaxMessage) return link::kInvalidParameter;
    RequestBuilder r = request();
    r.u8(kRegWrite).u16(count);
    for (uint16_t i = 0; i < count; ++i) {
        r.u16(registers[i].group).u16(registers[i].number).u32(static_cast<uint32_t>(values[i]));
    }
    return statusExchange(r, 100, kRegWrite);
}

int32_t TargetLink::fpRegGet(uint16_t first, uint16_t last, void* data) {
    uint16_t n = rangeCount(first, last);
    if (n > kMaxFp) return link::kInvalidParameter;
    int32_t rc = exchange(request().u8(kFpRead).u16(first).u16(last), 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kFpRead || a.size() < 3) return link::kInvalidResponse;
    if (a.status() != 0) return a.status();
    size_t bytes = std::min(size_t{n} * kFpSize, a.rest(3));
    if (!flavour().fpRegistersAsWords) {
        std::memcpy(data, a.at(3), bytes);
        return link::kOk;
    }
    // Each register's two big-endian wire words become two host words, first word first.
    auto* words = static_cast<uint32_t*>(data);
    for (size_t i = 0; i + 4 <= bytes; i += 4) words[i / 4] = link::readBigEndian32(a.at(3 + i));
    return link::kOk;
}

int32_t TargetLink::fpRegSet(uint16_t first, uint16_t last, const void* data) {
    uint16_t n = rangeCount(first, last);
    if (n > kMaxFp) return link::kInvalidParameter;
    RequestBuilder r = request();
    r.u8(kFpWrite).u16(first).u16(last);
    if (flavour().fpRegistersAsWords) {
        const auto* words = static_cast<const uint32_t*>(data);
        for (size_t i = 0; i < size_t{n} * 2; ++i) r.u32(words[i]);
    } else {
        r.bytes(data, n * kFpSize);
    }
    return statusExchange(r, 100, kFpWrite);
}

int32_t TargetLink::vRegGet(uint16_t first, uint16_t last, uint8_t* data) {
    uint16_t n = rangeCount(first, last);
    if (!flavour().extendedTargetRequests || n > kMaxVec) return link::kInvalidParameter;
    int32_t rc = exchange(request().u8(kVecRead).u16(first).u16(last), 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kVecRead || a.size() < 3) return link::kInvalidResponse;
    if (a.status() != 0) return a.status();
    std::memcpy(data, a.at(3), std::min(size_t{n} * kVecSize, a.rest(3)));
    return link::kOk;
}

int32_t TargetLink::vRegSet(uint16_t first, uint16_t last, const uint8_t* data) {
    uint16_t n = rangeCount(first, last);
    if (!flavour().extendedTargetRequests || n > kMaxVec) return link::kInvalidParameter;
    return statusExchange(request().u8(kVecWrite).u16(first).u16(last).bytes(data, n * kVecSize),
                          100, kVecWrite);
}

}  // namespace tov::target
