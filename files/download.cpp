// The download protocol: start request, block frames in slots, cumulative acknowledgements and
// the resends of unacknowledged blocks.
#include "files/download.h"

#include <algorithm>
#include <cstring>

#include "link/error_codes.h"
#include "link/message.h"

namespace tov::files {
namespace {

constexpr uint8_t kStart = 0x28;
constexpr uint8_t kBlock = 0x29;
constexpr int32_t kStartWaitMs = 10;
constexpr uint8_t kMaxWindow = 3;
constexpr uint16_t kMaxBlock = 1024;
constexpr size_t kBlockHeader = 12;  // code, compressed flag, sequence, address, length

}  // namespace

void Download::reset() {
    error_ = 0;
    detail_ = 0;
    refused_ = {};
    compress_ = false;
    sent_ = 0;
    acknowledged_ = 0;
    encoder_.reset();
}

int32_t Download::init(uint8_t mode, bool compress) {
    error_ = 0;
    detail_ = 0;
    refused_ = {};
    sent_ = 0;
    acknowledged_ = 0;
    const bool serial = link_.lineRate() != 0;
    compress_ = compress && serial;
    const uint8_t request[2] = {kStart, mode};
    uint8_t answer[6];
    int32_t rc = link_.transaction(request, answer, kStartWaitMs);
    if (rc < 0) return rc;
    if (rc != 6 || answer[0] != kStart) return link::kInvalidResponse;
    window_ = std::min<uint8_t>(answer[1], kMaxWindow);
    if (window_ == 0) window_ = 1;  // a window of 0 would never let a block out
    maxBlock_ = std::min<uint16_t>(link::readBigEndian16(answer + 2), kMaxBlock);
    if (maxBlock_ == 0) maxBlock_ = kMaxBlock;
    ackTimeoutMs_ = uint32_t{link::readBigEndian16(answer + 4)} + (serial ? 2000u : 100u);
    if (compress_) encoder_.reset();
    return link::kOk;
}

int32_t Download::send(uint32_t address, uint16_t length, const uint8_t* data) {
    if (error_ != 0) return error_;
    for (uint32_t done = 0; done < length;) {
        uint16_t piece = static_cast<uint16_t>(std::min<uint32_t>(length - done, maxBlock_));
        error_ = sendBlock(address + done, piece, data + done);
        if (error_ != 0) return error_;
        done += piece;
    }
    return link::kOk;
}

int32_t Download::end(uint32_t& detail) {
    if (error_ == 0) {
        // The four resends are counted per awaited block: progress starts the count again.
        int failures = 0;
        while (error_ == 0 && acknowledged_ < sent_) {
            const uint32_t before = acknowledged_;
            error_ = awaitAcknowledgement(failures);
            if (acknowledged_ != before) failures = 0;
        }
    }
    detail = detail_;
    return error_;
}

int32_t Download::sendBlock(uint32_t address, uint16_t length, const uint8_t* data) {
    link::Transport* transport = link_.transport();
    if (!transport) return link::kNotConnected;
    int failures = 0;
    while (sent_ - acknowledged_ >= window_) {
        int32_t rc = awaitAcknowledgement(failures);
        if (rc != 0) return rc;
    }
    uint8_t* frame = slots_[sent_ % kSlots];
    uint8_t* body = frame + link::kHeaderSize;
    body[0] = kBlock;
    body[1] = compress_ ? 1 : 0;
    link::writeBigEndian32(body + 2, sent_);
    link::writeBigEndian32(body + 6, address);
    link::writeBigEndian16(body + 10, length);
    size_t dataLength = length;
    if (compress_) {
        dataLength = encoder_.encode(data, length, body + kBlockHeader);
    } else {
        std::memcpy(body + kBlockHeader, data, length);
    }
    const size_t messageLength = kBlockHeader + dataLength;
    link::writeHeader(frame, link_.takeSequence(), link_.frameType(), messageLength);
    slotLength_[sent_ % kSlots] = link::kHeaderSize + messageLength;
    ++sent_;
    // A failed send is not final: the block is sent again when its acknowledgement times out.
    transport->send(std::span<const uint8_t>(frame, slotLength_[(sent_ - 1) % kSlots]));
    if (onBlock_) onBlock_(length);
    return link::kOk;
}

int32_t Download::awaitAcknowledgement(int& failures) {
    link::Transport* transport = link_.transport();
    if (!transport) return link::kNotConnected;
    // Anything that is not a complete acknowledgement (an event, a stale or short answer) is
    // dropped while waiting, but only uses up what is left of the wait: a probe that keeps
    // sending such frames cannot hold the host for ever.
    uint64_t waitStart = link_.clock().nowMs();
    for (;;) {
        const uint64_t spent = link_.clock().nowMs() - waitStart;
        const int32_t got =
            spent >= ackTimeoutMs_
                ? 0
                : transport->receive(answer_, static_cast<uint32_t>(ackTimeoutMs_ - spent));
        if (got <= 0) {
            if (const int32_t lost = link_.checkLost(); lost != 0) return lost;
            if (failures == kResends) return link::kNoResponse;
            ++failures;
            resendUnacknowledged();
            waitStart = link_.clock().nowMs();
            continue;
        }
        const uint8_t* ack = answer_ + link::kHeaderSize;
        if (got < static_cast<int32_t>(link::kHeaderSize + 6) || ack[0] != kBlock) continue;
        // The count is cumulative; a count beyond the blocks sent cannot be right and is capped.
        acknowledged_ = std::max(acknowledged_, std::min(link::readBigEndian32(ack + 2), sent_));
        if (ack[1] != 0) {
            detail_ = got >= static_cast<int32_t>(link::kHeaderSize + 10)
                          ? link::readBigEndian32(ack + 6)
                          : 0;
            // The count names the first block not accepted; it still waits in its slot.
            refused_ = {ack[1], 0, 0};
            if (acknowledged_ < sent_) {
                const uint8_t* body = slots_[acknowledged_ % kSlots] + link::kHeaderSize;
                refused_.address = link::readBigEndian32(body + 6);
                refused_.length = link::readBigEndian16(body + 10);
            }
            return link::kDownloadFailed;
        }
        return link::kOk;
    }
}

void Download::resendUnacknowledged() {
    link::Transport* transport = link_.transport();
    for (uint32_t n = acknowledged_; n < sent_; ++n) {
        transport->send(std::span<const uint8_t>(slots_[n % kSlots], slotLength_[n % kSlots]));
    }
}

}  // namespace tov::files
