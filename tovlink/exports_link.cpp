// Exported link and session functions: thin calls into the core; only a code crosses here.
#include <cstring>
#include <span>

#include "include/tovlink.h"
#include "link/error_codes.h"
#include "link/error_detail.h"
#include "link/session.h"
#include "link/udp_transport.h"
#include "tovlink/export_guard.h"
#include "tovlink/link_state.h"

using tov::lib::guarded;
using tov::lib::linkState;
using tov::link::guardedCall;
namespace tl = tov::link;

namespace {

// Shared by every unknown code; its content changes with the next unknown code.
char unknownErrorText[64];

// What the text functions give when they cannot give their text.
constexpr const char* kNoText = "";

}  // namespace

extern "C" {

uint32_t TOV_INetAddr(const char* address) {
    return guardedCall(tl::kNoAddress, [&] { return tl::parseDottedAddress(address); });
}

int32_t TOV_Open(const char* parameters) {
    return guarded([&] { return tl::openFromText(linkState(), parameters); });
}

void TOV_SetNetFrameType(void) {
    guardedCall([] { linkState().setNetFrameType(); });
}

int32_t TOV_Close(void) {
    return guarded([] {
        linkState().close();
        return 0;
    });
}

int32_t TOV_Transaction(int32_t requestLength, const uint8_t* request, int32_t answerCapacity,
                        uint8_t* answer, int32_t extraTimeout) {
    return guarded([&]() -> int32_t {
        tl::LinkContext& state = linkState();
        if (!state.isOpen()) return tl::kNotConnected;
        // Negative lengths compare as huge unsigned values and are refused like too long ones.
        if (static_cast<uint32_t>(requestLength) > tl::kMaxMessage) return tl::kInvalidParameter;
        if (requestLength > 0 && !request) return tl::kInvalidParameter;
        size_t capacity = answerCapacity > 0 && answer ? static_cast<size_t>(answerCapacity) : 0;
        return state.transaction(
            std::span<const uint8_t>(request, static_cast<size_t>(requestLength)),
            std::span<uint8_t>(answer, capacity), extraTimeout);
    });
}

uint8_t TOV_GetPendingEvents(void) {
    return guardedCall(uint8_t{0}, [] { return linkState().takePendingEvents(); });
}

int32_t TOV_Connect(const char* parameters) {
    return guarded([&] {
        tov::lib::filesSession().reset();
        return tl::connectFromText(linkState(), parameters);
    });
}

int32_t TOV_Disconnect(void) {
    return guarded([] { return TOV_Close(); });
}

const char* TOV_ErrorTextGet(int32_t code) {
    return guardedCall(kNoText, [&] {
        return tov::lib::connection().errorText(code, unknownErrorText, sizeof unknownErrorText);
    });
}

uint32_t TOV_LineRateGet(void) {
    return guardedCall(uint32_t{0}, [] { return linkState().lineRate(); });
}

const char* TOV_LastErrorDetail(void) {
    return guardedCall(kNoText, [] { return tl::errorDetail(); });
}

const char* TOV_VersionGet(void) {
    return guardedCall(kNoText, [] { return TOV_VERSION_TEXT; });
}

}  // extern "C"
