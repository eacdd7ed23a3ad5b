// Breakpoint and watchpoint requests.
#include "link/error_codes.h"
#include "target/target_link.h"

namespace tov::target {
namespace {

constexpr uint8_t kBreakAdd = 0xBD;
constexpr uint8_t kBreakDelete = 0xBE;
constexpr uint8_t kWatchAdd = 0xBF;
constexpr uint8_t kWatchDelete = 0xC0;
constexpr uint8_t kBreakRead = 0xC2;

}  // namespace

int32_t TargetLink::pointAdd(const RequestBuilder& r) {
    const uint8_t code = request_[0];
    int32_t rc = exchange(r, 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != code || a.size() != 5) return link::kInvalidResponse;
    if (a.status() != 0) return a.status();
    return a.u16(3);
}

int32_t TargetLink::pointDelete(uint8_t code, int32_t identifier) {
    // A negative identifier (no point) goes out as 0xFFFF.
    uint16_t wire = identifier < 0 ? 0xFFFF : static_cast<uint16_t>(identifier);
    return statusExchange(request().u8(code).u16(wire), 100, code);
}

int32_t TargetLink::breakAdd(uint32_t address, uint32_t kind) {
    return pointAdd(request().u8(kBreakAdd).u32(address).u32(kind));
}

int32_t TargetLink::breakRead(uint16_t identifier, uint32_t& value) {
    int32_t rc = exchange(request().u8(kBreakRead).u16(identifier), 100);
    if (rc < 0) return rc;
    AnswerView a = answer(rc);
    if (a.code() != kBreakRead || a.size() != 7) return link::kInvalidResponse;
    value = a.u32(3);
    return a.status();
}

int32_t TargetLink::breakDelete(int32_t identifier) { return pointDelete(kBreakDelete, identifier); }

int32_t TargetLink::watchAdd(uint16_t mode, uint32_t address, uint32_t bound, uint32_t third,
                             uint32_t fourth) {
    return pointAdd(request().u8(kWatchAdd).u16(mode).u32(address).u32(bound).u32(third).u32(fourth));
}

int32_t TargetLink::watchDelete(int32_t identifier) { return pointDelete(kWatchDelete, identifier); }

}  // namespace tov::target
