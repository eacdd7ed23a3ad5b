// A transport that records every request message with its extra wait and answers from a script,
// for byte-exact checks of the request encoders and answer decoders.
#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "link/link_context.h"
#include "link/transport.h"
#include "tests/support/scripted_line.h"

namespace tov::test {

struct SentRequest {
    Bytes message;         // without the transaction header
    int32_t extraTimeout;  // as given to the transaction
};

class ScriptedTransport final : public link::Transport {
public:
    // Returns the answer messages for a request; an empty list leaves it unanswered.
    using Script = std::function<std::vector<Bytes>(const Bytes& message)>;

    explicit ScriptedTransport(Script script) : script_(std::move(script)) {}

    int32_t send(std::span<const uint8_t> payload) override;
    int32_t receive(std::span<uint8_t> buffer, uint32_t waitMs) override;
    uint32_t answerWaitMs(size_t, int32_t extraTimeout) const override {
        lastExtra_ = extraTimeout;
        return static_cast<uint32_t>(extraTimeout);
    }
    int32_t receivePending(std::span<uint8_t>, uint32_t) override { return 0; }

    std::vector<SentRequest>* log = nullptr;

private:
    Script script_;
    std::deque<Bytes> pending_;
    mutable int32_t lastExtra_ = 0;
};

// A library-flavoured (or RDI-flavoured) connection whose transport is a script.
struct ScriptedLink {
    explicit ScriptedLink(ScriptedTransport::Script script,
                          const link::LinkFlavour& flavour = link::libraryFlavour());
    std::vector<SentRequest> sent;
    ScriptedLine line;  // only for its clock; nothing is opened on it
    link::LinkContext link;
};

}  // namespace tov::test
