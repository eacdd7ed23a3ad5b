// The transaction: header, sends, the answer wait, resends, sequence matching and events.
#include "link/link_context.h"

#include <cstring>

#include "link/error_codes.h"
#include "link/error_detail.h"
#include "link/serial_transport.h"

namespace tov::link {
namespace {

constexpr int kNegotiationRuns = 3;
constexpr int kTries = 3;

}  // namespace

LinkContext::LinkContext(const LinkFlavour& flavour, SerialDeviceFactory& devices, Clock& clock)
    : flavour_(flavour), devices_(devices), clock_(clock) {}

LinkContext::~LinkContext() = default;

void LinkContext::close() {
    transport_.reset();
    serial_ = nullptr;
}

void LinkContext::resetSession() {
    stickyError_ = 0;
    lostDetail_.clear();
    portName_.clear();
    sequence_ = 0;
    pendingEvents_ = 0;
    frameType_ = kFrameTypeCommand;
}

uint32_t LinkContext::lineRate() const {
    return serial_ ? serial_->lineRate() : 0;
}

int32_t LinkContext::openSerial(const std::string& path, uint32_t wantedRate) {
    if (flavour_.closeBeforeOpen) close();
    std::unique_ptr<SerialDevice> device = devices_.open(path);
    if (!device) {
        close();
        return kSetupFailed;
    }
    auto serial = std::make_unique<SerialTransport>(std::move(device), flavour_, clock_);
    int32_t rc = kNoResponse;
    for (int run = 0; run < kNegotiationRuns && serial->lostReason().empty(); ++run) {
        rc = serial->negotiate(wantedRate);
        if (rc == kOk) break;
    }
    if (rc != kOk) {
        close();
        const std::string lost = serial->lostReason();
        setErrorDetail(path + (lost.empty() ? ": the probe did not answer on this port"
                                            : " has gone away (" + lost + ")"));
        return rc;
    }
    serial_ = serial.get();
    transport_ = std::move(serial);
    resetSession();
    portName_ = path;
    return kOk;
}

void LinkContext::adopt(std::unique_ptr<Transport> transport) {
    serial_ = nullptr;
    transport_ = std::move(transport);
    resetSession();
}

int32_t LinkContext::transaction(std::span<const uint8_t> request, std::span<uint8_t> answer,
                                 int32_t extraTimeout) {
    clearErrorDetail();
    // Without a transport there is nothing to send on, in either flavour.
    if (!transport_) return kNotConnected;
    if (stickyError_ != 0) {
        if (!lostDetail_.empty()) setErrorDetail(lostDetail_);
        return stickyError_;
    }
    if (request.size() > kMaxMessage) return kInvalidParameter;

    writeHeader(txBuffer_, sequence_, frameType_, request.size());
    const uint8_t sentSequence = static_cast<uint8_t>(txBuffer_[0] >> 6);
    ++sequence_;
    if (!request.empty()) std::memcpy(txBuffer_ + kHeaderSize, request.data(), request.size());
    const std::span<const uint8_t> frame(txBuffer_, kHeaderSize + request.size());
    const uint32_t wait = transport_->answerWaitMs(request.size(), extraTimeout);
    ++stats_.transactions;

    // A frame that is not the answer (an event, a stale or short answer) makes the host wait
    // again without sending; this holds after the last send too, so an event that comes just
    // before the answer to the third send does not fail the transaction. The answer is due
    // within the wait after its send all the same: such frames only use up what is left of it,
    // so a probe that keeps sending them cannot hold the host for ever.
    int tries = 0;
    bool resend = true;
    size_t answerLength = 0;
    uint64_t sentAt = 0;
    while (answerLength == 0) {
        if (resend) {
            if (tries == kTries) break;
            ++tries;
            ++stats_.sends;
            if (tries > 1) ++stats_.resends;
            if (transport_->send(frame) != kOk) {
                if (const int32_t lost = checkLost(); lost != 0) return lost;
                continue;
            }
            sentAt = clock_.nowMs();
        }
        const uint64_t spent = clock_.nowMs() - sentAt;
        if (spent >= wait) {
            resend = true;
            continue;
        }
        int32_t got = transport_->receive(rxBuffer_, static_cast<uint32_t>(wait - spent));
        const std::span<const uint8_t> received(rxBuffer_, got > 0 ? static_cast<size_t>(got) : 0);
        if (isEventFrame(received)) {
            pendingEvents_ |= rxBuffer_[2];
            ++stats_.eventFrames;
            resend = false;
        } else if (got <= 0) {
            if (const int32_t lost = checkLost(); lost != 0) return lost;
            resend = true;
        } else if (got < 3) {
            resend = false;
        } else if ((rxBuffer_[0] >> 6) != sentSequence) {
            ++stats_.staleAnswers;
            resend = false;
        } else {
            answerLength = readHeader(rxBuffer_).length;
            if (static_cast<size_t>(got) - kHeaderSize != answerLength) {
                answerLength = 0;
                resend = true;
            } else if (answerLength <= answer.size()) {
                std::memcpy(answer.data(), rxBuffer_ + kHeaderSize, answerLength);
            }
        }
    }
    if (answerLength > answer.size()) return kAnswerTooBig;
    if (answerLength > 0) return static_cast<int32_t>(answerLength);
    if (frameType_ == kFrameTypeCommand) stickyError_ = kNoResponse;
    return kNoResponse;
}

int32_t LinkContext::checkLost() {
    if (!transport_) return 0;
    const std::string reason = transport_->lostReason();
    if (reason.empty()) return 0;
    lostDetail_ = (portName_.empty() ? std::string("the port") : portName_) + " has gone away (" +
                  reason + ")";
    stickyError_ = kReceiveError;
    setErrorDetail(lostDetail_);
    return kReceiveError;
}

uint8_t LinkContext::takePendingEvents(uint32_t maxWaitMs) {
    if (!transport_) return 0;
    uint8_t result = pendingEvents_;
    int32_t got = transport_->receivePending(rxBuffer_, maxWaitMs);
    if (got > 0 && isEventFrame(std::span<const uint8_t>(rxBuffer_, static_cast<size_t>(got)))) {
        result |= rxBuffer_[2];
    }
    pendingEvents_ = 0;
    return result;
}

}  // namespace tov::link
