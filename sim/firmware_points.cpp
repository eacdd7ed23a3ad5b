// Break- and watchpoint requests of the simulated firmware.
#include "sim/firmware_points.h"

#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr uint16_t kModeSized = 0x40;
constexpr uint16_t kModeMasked = 0x80;
constexpr uint16_t kModeReads = 0x02;
constexpr uint16_t kModeWrites = 0x04;

std::vector<uint8_t> added(uint8_t code, std::optional<uint16_t> id) {
    std::vector<uint8_t> answer = statusAnswer(code, id ? kStatusOk : kStatusNoResources);
    appendU16(answer, id.value_or(0));
    return answer;
}

std::vector<uint8_t> refused(uint8_t code) {
    std::vector<uint8_t> answer = statusAnswer(code, kStatusInvalidParameter);
    appendU16(answer, 0);
    return answer;
}

bool validWatch(const PointTable::Watchpoint& w) {
    const bool sized = w.mode & kModeSized;
    const bool masked = w.mode & kModeMasked;
    if (sized == masked || !(w.mode & (kModeReads | kModeWrites))) return false;
    return masked || w.bound == 0 || w.bound == 1 || w.bound == 2 || w.bound == 4;
}

}  // namespace

std::vector<uint8_t> breakAdd(PointTable& points, std::span<const uint8_t> request) {
    if (request.size() != 9 || readU32(request, 5) > kMaxBreakKind) return refused(kBreakAdd);
    return added(kBreakAdd, points.addBreakpoint(readU32(request, 1), readU32(request, 5)));
}

std::vector<uint8_t> breakRead(PointTable& points, std::span<const uint8_t> request) {
    const PointTable::Breakpoint* point =
        request.size() == 3 ? points.breakpoint(readU16(request, 1)) : nullptr;
    std::vector<uint8_t> answer =
        statusAnswer(kBreakRead, point ? kStatusOk : kStatusInvalidParameter);
    appendU32(answer, point ? point->hits : 0);
    return answer;
}

std::vector<uint8_t> watchAdd(PointTable& points, std::span<const uint8_t> request) {
    if (request.size() != 19) return refused(kWatchAdd);
    PointTable::Watchpoint w{readU16(request, 1), readU32(request, 3), readU32(request, 7),
                             readU32(request, 11), readU32(request, 15)};
    if (!validWatch(w)) return refused(kWatchAdd);
    return added(kWatchAdd, points.addWatchpoint(w));
}

std::vector<uint8_t> breakDelete(PointTable& points, std::span<const uint8_t> request) {
    bool ok = request.size() == 3 && points.deleteBreakpoint(readU16(request, 1));
    return statusAnswer(kBreakDelete, ok ? kStatusOk : kStatusInvalidParameter);
}

std::vector<uint8_t> watchDelete(PointTable& points, std::span<const uint8_t> request) {
    bool ok = request.size() == 3 && points.deleteWatchpoint(readU16(request, 1));
    return statusAnswer(kWatchDelete, ok ? kStatusOk : kStatusInvalidParameter);
}

}  // namespace tov::sim
