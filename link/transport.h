// What the session layer needs of a transport: send a payload, receive one, know its waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tov::link {

class Transport {
public:
    virtual ~Transport() = default;
    // Sends one frame payload (header + message): 0 or a negative code.
    virtual int32_t send(std::span<const uint8_t> payload) = 0;
    // Receives one frame payload into buffer: its length, or a negative code.
    virtual int32_t receive(std::span<uint8_t> buffer, uint32_t waitMs) = 0;
    // How long to wait for the answer to a request of requestLength message bytes.
    virtual uint32_t answerWaitMs(size_t requestLength, int32_t extraTimeout) const = 0;
    // Receives one frame if one is already on its way (the event poll); 0 when none. A network
    // transport waits for it at most `maxWaitMs`, and never longer than its flavour's wait.
    virtual int32_t receivePending(std::span<uint8_t> buffer, uint32_t maxWaitMs) = 0;
    // Why the connection can no longer work at all (the port has gone away); empty while it
    // may still work. Waiting or sending again is pointless once this is set.
    virtual std::string lostReason() const { return {}; }
};

}  // namespace tov::link
