// Frames over a serial line: send, per-byte-timed receive, line-rate negotiation.
#pragma once

#include <memory>
#include <string>

#include "link/clock.h"
#include "link/flavour.h"
#include "link/frame_codec.h"
#include "link/serial_device.h"
#include "link/transport.h"

namespace tov::link {

class SerialTransport final : public Transport {
public:
    SerialTransport(std::unique_ptr<SerialDevice> device, const LinkFlavour& flavour, Clock& clock);

    int32_t send(std::span<const uint8_t> payload) override;
    int32_t receive(std::span<uint8_t> buffer, uint32_t waitMs) override;
    uint32_t answerWaitMs(size_t requestLength, int32_t extraTimeout) const override;
    int32_t receivePending(std::span<uint8_t> buffer, uint32_t maxWaitMs) override;
    std::string lostReason() const override { return lost_; }

    // Switches the port and records the rate; -1001 when the port refuses it.
    int32_t setLineRate(uint32_t baud);
    uint32_t lineRate() const { return lineRate_; }

    // One run of the line-rate negotiation towards `wanted`: 0 or an error.
    int32_t negotiate(uint32_t wanted);

private:
    // Reads one byte within waitMs (measured per byte): 0, -1002 or -1003.
    int32_t readByte(uint8_t& byte, uint32_t waitMs);
    // Sends a link-control payload and expects an answer of exactly `expected` bytes.
    int32_t exchange(std::span<const uint8_t> payload, size_t expected, uint8_t* answer);
    int32_t ping();
    // Records that the port has gone away; every later send and receive fails at once.
    int32_t markLost();

    std::unique_ptr<SerialDevice> device_;
    const LinkFlavour& flavour_;
    Clock& clock_;
    uint32_t lineRate_ = 9600;
    std::string lost_;
    FrameDecoder decoder_;
    uint8_t txFrame_[encodedFrameCapacity(kMaxPayload)];
};

}  // namespace tov::link
