// The GDB server's probe requests through the exported TOV_* functions.
#include <vector>

#include "gdb/api_probe.h"
#include "include/tovlink.h"

namespace tov::gdb {
namespace {

constexpr uint32_t kBreakKind = 1;
constexpr uint32_t kWatchThird = 1;
constexpr uint32_t kWatchFourth = 0;
constexpr uint16_t kReplyRoom = 1500;

}  // namespace

int32_t ApiProbe::step(uint32_t& pc) { return TOV_TargetStep(0, 0, 1, &pc); }

int32_t ApiProbe::reset() { return TOV_TargetReset(); }

int32_t ApiProbe::breakAdd(uint32_t address) { return TOV_BreakAdd(address, kBreakKind); }

int32_t ApiProbe::breakDelete(int32_t id) { return TOV_BreakDelete(id); }

int32_t ApiProbe::watchAdd(uint16_t mode, uint32_t address, uint32_t size) {
    return TOV_WatchAdd(mode, address, size, kWatchThird, kWatchFourth);
}

int32_t ApiProbe::watchDelete(int32_t id) { return TOV_WatchDelete(id); }

int32_t ApiProbe::directCommand(const std::string& text, std::string& reply) {
    std::vector<char> buffer(kReplyRoom, '\0');
    const int32_t status = TOV_DirectCommand(text.c_str(), kReplyRoom, buffer.data());
    reply = buffer.data();
    return status;
}

int32_t ApiProbe::fpRegGet(uint16_t first, uint16_t last, uint8_t* data) {
    return TOV_FPRegGet(first, last, data);
}

int32_t ApiProbe::fpRegSet(uint16_t first, uint16_t last, const uint8_t* data) {
    return TOV_FPRegSet(first, last, data);
}

std::string ApiProbe::errorText(int32_t code) {
    const char* text = TOV_ErrorTextGet(code);
    return text != nullptr ? text : "error " + std::to_string(code);
}

}  // namespace tov::gdb
