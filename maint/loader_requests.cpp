// Encoding, sending and answer checks of the loader requests.
#include "maint/loader_requests.h"

#include <algorithm>
#include <array>

#include "link/error_codes.h"
#include "link/message.h"

namespace tov::maint {
namespace {

using link::RequestBuilder;

// Extra waits of the requests (ms); Enter loader's is the caller's.
constexpr int32_t kWaitReadVersions = 1000;
constexpr int32_t kWaitReadFlash = 1000;
constexpr int32_t kWaitEraseSector = 10000;
constexpr int32_t kWaitProgramFlash = 1000;
constexpr int32_t kWaitLogic = 100;
constexpr int32_t kWaitProgramFuses = 300;
constexpr int32_t kWaitEraseLogic = 600;
constexpr int32_t kWaitStartOrClose = 200;

using Answer = std::array<uint8_t, kLoaderAnswerCapacity>;

// A request whose answer is not examined: 0 or the transport's negative code.
int32_t sendUnexamined(LoaderLink& link, std::span<const uint8_t> request, int32_t wait) {
    Answer answer;
    const int32_t n = link.transact(request, answer, wait);
    return n < 0 ? n : link::kOk;
}

int32_t sendOpcode(LoaderLink& link, uint8_t opcode, int32_t wait) {
    const uint8_t request[1] = {opcode};
    return sendUnexamined(link, request, wait);
}

// A request whose answer must echo the opcode: the answer length or a negative code.
int32_t sendEchoed(LoaderLink& link, std::span<const uint8_t> request, std::span<uint8_t> answer,
                   int32_t wait) {
    const int32_t n = link.transact(request, answer, wait);
    if (n < 0) return n;
    if (n < 1 || answer[0] != request[0]) return link::kInvalidResponse;
    return n;
}

// Erase sector and Program flash answer with the opcode and a status byte.
int32_t statusAnswer(LoaderLink& link, std::span<const uint8_t> request, size_t length,
                     int32_t wait, int32_t statusError) {
    Answer answer;
    const int32_t n = sendEchoed(link, request, answer, wait);
    if (n < 0) return n;
    if (static_cast<size_t>(n) != length) return link::kInvalidResponse;
    return answer[1] == 0 ? link::kOk : statusError;
}

}  // namespace

int32_t enterLoader(LoaderLink& link, const LoaderCaller& caller, bool& switched) {
    switched = false;
    const uint8_t request[1] = {kEnterLoader};
    Answer answer;
    const int32_t n = link.transact(request, answer, caller.enterLoaderTimeout);
    if (n < 0) return n;
    switched = n >= 1 && answer[0] == kEnterLoader;
    return link::kOk;
}

int32_t readVersions(LoaderLink& link, ProbeIdentity& identity) {
    const uint8_t request[1] = {kReadVersions};
    Answer answer;
    const int32_t n = link.transact(request, answer, kWaitReadVersions);
    if (n < 0) return n;
    return decodeVersionAnswer(std::span(answer).first(static_cast<size_t>(n)), identity);
}

int32_t readFlash(LoaderLink& link, uint32_t address, std::span<uint8_t> data) {
    if (data.size() > kMaxReadFlash) return link::kInvalidParameter;
    std::array<uint8_t, 7> request;
    RequestBuilder(request).u8(kReadFlash).u32(address).u16(static_cast<uint16_t>(data.size()));
    Answer answer;
    const int32_t n = sendEchoed(link, request, answer, kWaitReadFlash);
    if (n < 0) return n;
    if (static_cast<size_t>(n) != data.size() + 7) return link::kInvalidResponse;
    std::copy_n(answer.begin() + 7, data.size(), data.begin());
    return link::kOk;
}

int32_t eraseSector(LoaderLink& link, uint32_t address) {
    std::array<uint8_t, 5> request;
    RequestBuilder(request).u8(kEraseSector).u32(address);
    return statusAnswer(link, request, 2, kWaitEraseSector, link::kEraseFailed);
}

int32_t programFlash(LoaderLink& link, uint32_t address, uint16_t count,
                     std::span<const uint8_t> data) {
    if (data.size() > kMaxProgramFlash) return link::kInvalidParameter;
    std::array<uint8_t, 7 + kMaxProgramFlash> request;
    RequestBuilder builder(request);
    builder.u8(kProgramFlash).u32(address).u16(count).bytes(data.data(), data.size());
    return statusAnswer(link, builder.view(), 6, kWaitProgramFlash, link::kProgramFailed);
}

int32_t logicMode(LoaderLink& link, bool enter) {
    const uint8_t request[2] = {kLogicMode, static_cast<uint8_t>(enter ? 1 : 0)};
    return sendUnexamined(link, request, kWaitLogic);
}

int32_t readLogicId(LoaderLink& link, uint8_t& deviceId) {
    const uint8_t request[1] = {kReadLogicId};
    Answer answer;
    const int32_t n = sendEchoed(link, request, answer, kWaitLogic);
    if (n < 0) return n;
    if (n < 2) return link::kInvalidResponse;
    deviceId = answer[1];
    return link::kOk;
}

int32_t readFuseRow(LoaderLink& link, uint8_t row, std::span<uint8_t> answer) {
    const uint8_t request[2] = {kReadFuseRow, row};
    return sendEchoed(link, request, answer, kWaitLogic);
}

int32_t programFuseRow(LoaderLink& link, uint8_t row, std::string_view fuses) {
    if (fuses.size() > 1496) return link::kInvalidParameter;
    std::array<uint8_t, 1498> request;
    RequestBuilder builder(request);
    builder.u8(kProgramFuseRow).u8(row).bytes(fuses.data(), fuses.size());
    return sendUnexamined(link, builder.view(), kWaitProgramFuses);
}

int32_t readUes(LoaderLink& link, std::span<uint8_t> answer) {
    const uint8_t request[1] = {kReadUes};
    return sendEchoed(link, request, answer, kWaitLogic);
}

int32_t programUes(LoaderLink& link, std::string_view bits) {
    if (bits.size() > 1497) return link::kInvalidParameter;
    std::array<uint8_t, 1498> request;
    RequestBuilder builder(request);
    builder.u8(kProgramUes).bytes(bits.data(), bits.size());
    return sendUnexamined(link, builder.view(), kWaitProgramFuses);
}

int32_t eraseLogic(LoaderLink& link) {
    return sendOpcode(link, kEraseLogic, kWaitEraseLogic);
}

int32_t startFirmware(LoaderLink& link) {
    return sendOpcode(link, kStartFirmware, kWaitStartOrClose);
}

int32_t closingRequest(LoaderLink& link) {
    return sendOpcode(link, kClosingRequest, kWaitStartOrClose);
}

}  // namespace tov::maint
