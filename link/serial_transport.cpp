// Serial transport: framing on the line, the per-byte receive wait and line-rate negotiation.
#include "link/serial_transport.h"

#include "link/error_codes.h"
#include "link/frame_header.h"
#include "link/message.h"

namespace tov::link {
namespace {

// The port's own read time-out for one byte: 10 ms per requested byte plus 100 ms.
constexpr uint32_t kByteReadTimeoutMs = 110;
// Pause before reading again when the port fails at once, so a dead port is not spun on.
constexpr uint32_t kErrorBackoffMs = 10;
constexpr uint32_t kNegotiationWaitMs = 200;
constexpr uint32_t kRateSwitchPauseMs = 300;
constexpr uint32_t kEventPollWaitMs = 100;

}  // namespace

SerialTransport::SerialTransport(std::unique_ptr<SerialDevice> device, const LinkFlavour& flavour,
                                 Clock& clock)
    : device_(std::move(device)), flavour_(flavour), clock_(clock) {}

int32_t SerialTransport::send(std::span<const uint8_t> payload) {
    size_t length = encodeFrame(payload, txFrame_);
    if (!lost_.empty()) return kTransmitError;
    size_t written = device_->write(txFrame_, length, 10 * static_cast<uint32_t>(length) + 100);
    if (written != length) {
        if (!device_->clearError() && !device_->goneReason().empty()) markLost();
        return kTransmitError;
    }
    return kOk;
}

int32_t SerialTransport::readByte(uint8_t& byte, uint32_t waitMs) {
    if (!lost_.empty()) return kReceiveError;
    SerialDevice::ReadResult result = device_->readByte(byte, kByteReadTimeoutMs);
    if (result == SerialDevice::ReadResult::Byte) return kOk;
    if (result == SerialDevice::ReadResult::Gone) return markLost();
    // The wait is measured per byte. A port that keeps failing is not given up on before the
    // wait has passed (a line error may clear), but it ends the wait as a receive error.
    bool failed = result == SerialDevice::ReadResult::Error;
    const uint64_t started = clock_.nowMs();
    for (;;) {
        if (!device_->clearError()) failed = true;
        uint64_t elapsed = clock_.nowMs() - started;
        if (elapsed > waitMs) return failed ? kReceiveError : kReceiveTimeout;
        uint32_t left = static_cast<uint32_t>(waitMs - elapsed) + 1;
        result = device_->readByte(byte, left < kByteReadTimeoutMs ? left : kByteReadTimeoutMs);
        if (result == SerialDevice::ReadResult::Byte) return kOk;
        if (result == SerialDevice::ReadResult::Gone) return markLost();
        if (result == SerialDevice::ReadResult::Error) {
            failed = true;
            clock_.sleepMs(kErrorBackoffMs);
        }
    }
}

int32_t SerialTransport::markLost() {
    lost_ = device_->goneReason();
    if (lost_.empty()) lost_ = "the port hung up";
    return kReceiveError;
}

int32_t SerialTransport::receive(std::span<uint8_t> buffer, uint32_t waitMs) {
    decoder_.start(buffer);
    for (;;) {
        uint8_t byte = 0;
        int32_t rc = readByte(byte, waitMs);
        if (rc != kOk) return rc;
        switch (decoder_.feed(byte)) {
            case FrameDecoder::Status::NeedMore: break;
            case FrameDecoder::Status::Complete: return static_cast<int32_t>(decoder_.size());
            case FrameDecoder::Status::FormatError: return kReceiveFormat;
            case FrameDecoder::Status::BccError: return kReceiveBcc;
            case FrameDecoder::Status::Overflow: return kReceiveOverflow;
        }
    }
}

uint32_t SerialTransport::answerWaitMs(size_t requestLength, int32_t extraTimeout) const {
    // Time for the request and a maximal answer at 10 bit times per byte, plus 200 ms; unsigned
    // arithmetic as the probe's hosts have always done it.
    uint32_t lineTime = static_cast<uint32_t>(requestLength + 2 + 1500) * 10000u / lineRate_;
    return lineTime + static_cast<uint32_t>(extraTimeout) + 200u;
}

int32_t SerialTransport::receivePending(std::span<uint8_t> buffer, uint32_t) {
    // The serial poll only waits for a frame whose first bytes are already queued.
    if (device_->inputQueued() == 0) return 0;
    return receive(buffer, kEventPollWaitMs);
}

int32_t SerialTransport::setLineRate(uint32_t baud) {
    if (!device_->setRate(baud)) return kSetupFailed;
    lineRate_ = baud;
    return kOk;
}

int32_t SerialTransport::exchange(std::span<const uint8_t> payload, size_t expected,
                                  uint8_t* answer) {
    int32_t rc = send(payload);
    if (rc != kOk) return rc;
    uint8_t scratch[kMaxPayload];
    uint8_t* into = answer ? answer : scratch;
    rc = receive(std::span<uint8_t>(into, kMaxPayload), kNegotiationWaitMs);
    if (rc < 0) return rc;
    return static_cast<size_t>(rc) == expected ? kOk : kInvalidResponse;
}

int32_t SerialTransport::ping() { return exchange(kLinkPingPayload, 3, nullptr); }

int32_t SerialTransport::negotiate(uint32_t wanted) {
    size_t maxIndex = 4;
    if (setLineRate(kLineRates[4]) != kOk) maxIndex = 3;
    if (wanted > kLineRates[maxIndex]) wanted = kLineRates[maxIndex];

    if (setLineRate(wanted) == kOk && ping() == kOk) return kOk;

    bool found = false;
    for (size_t i = 0; i <= maxIndex && !found; ++i) {
        if (setLineRate(kLineRates[i]) != kOk) continue;
        found = ping() == kOk;
    }
    if (!found) return kNoResponse;

    uint8_t request[kRateChangePayloadSize];
    writeRateChangePayload(request, wanted);
    uint8_t answer[kMaxPayload];
    if (exchange(request, kRateChangePayloadSize, answer) != kOk) return kSetupFailed;

    clock_.sleepMs(kRateSwitchPauseMs);
    if (setLineRate(readBigEndian32(answer + 3)) != kOk) return kSetupFailed;
    int32_t rc = ping();
    if (rc != kOk && flavour_.lastPingFailure != 0) return flavour_.lastPingFailure;
    return rc;
}

}  // namespace tov::link
