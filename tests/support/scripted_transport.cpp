// The scripted transport: answers carry the request's sequence bits like a probe's would.
#include "tests/support/scripted_transport.h"

#include <algorithm>
#include <cstring>

#include "link/error_codes.h"

namespace tov::test {

int32_t ScriptedTransport::send(std::span<const uint8_t> payload) {
    Bytes message(payload.begin() + 2, payload.end());
    if (log) log->push_back({message, lastExtra_});
    for (const Bytes& answer : script_(message)) {
        pending_.push_back(answerPayload(static_cast<uint8_t>(payload[0] >> 6), answer));
    }
    return link::kOk;
}

int32_t ScriptedTransport::receive(std::span<uint8_t> buffer, uint32_t) {
    if (pending_.empty()) return link::kReceiveTimeout;
    Bytes next = pending_.front();
    pending_.pop_front();
    size_t n = std::min(next.size(), buffer.size());
    std::memcpy(buffer.data(), next.data(), n);
    return static_cast<int32_t>(n);
}

ScriptedLink::ScriptedLink(ScriptedTransport::Script script, const link::LinkFlavour& flavour)
    : link(flavour, line, line.clock) {
    auto transport = std::make_unique<ScriptedTransport>(std::move(script));
    transport->log = &sent;
    link.adopt(std::move(transport));
}

}  // namespace tov::test
