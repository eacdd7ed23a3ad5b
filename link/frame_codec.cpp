// Frame encoding and the byte-level receive state machine shared by host and simulator.
#include "link/frame_codec.h"

namespace tov::link {

size_t encodeFrame(std::span<const uint8_t> payload, uint8_t* out) {
    size_t n = 0;
    uint8_t bcc = 0;
    out[n++] = kDle;
    out[n++] = kStx;
    for (uint8_t byte : payload) {
        bcc ^= byte;
        out[n++] = byte;
        if (byte == kDle) out[n++] = kDle;
    }
    out[n++] = kDle;
    out[n++] = kEtx;
    out[n++] = bcc;
    if (bcc == kDle) out[n++] = kDle;
    return n;
}

void FrameDecoder::start(std::span<uint8_t> buffer) {
    buffer_ = buffer;
    state_ = State::Hunting;
    count_ = 0;
    bcc_ = 0;
}

FrameDecoder::Status FrameDecoder::feed(uint8_t byte) {
    switch (state_) {
        case State::Hunting:
            if (byte == kDle) state_ = State::HuntingAfterDle;
            return Status::NeedMore;
        case State::HuntingAfterDle:
            // The byte after a DLE is consumed either way; only STX opens a frame.
            if (byte == kStx) {
                state_ = State::Data;
                count_ = 0;
                bcc_ = 0;
            } else {
                state_ = State::Hunting;
            }
            return Status::NeedMore;
        case State::Data:
            if (byte == kDle) {
                state_ = State::DataAfterDle;
                return Status::NeedMore;
            }
            return acceptData(byte);
        case State::DataAfterDle:
            if (byte == kEtx) {
                state_ = State::Check;
                return Status::NeedMore;
            }
            if (byte == kDle) {
                state_ = State::Data;
                return acceptData(byte);
            }
            state_ = State::Done;
            return Status::FormatError;
        case State::Check:
            if (byte == kDle) {
                state_ = State::CheckAfterDle;
                return Status::NeedMore;
            }
            return finish(byte);
        case State::CheckAfterDle:
            if (byte != kDle) {
                state_ = State::Done;
                return Status::FormatError;
            }
            return finish(kDle);
        case State::Done:
            break;
    }
    return Status::FormatError;
}

FrameDecoder::Status FrameDecoder::acceptData(uint8_t byte) {
    if (count_ >= buffer_.size()) {
        state_ = State::Done;
        return Status::Overflow;
    }
    buffer_[count_++] = byte;
    bcc_ ^= byte;
    return Status::NeedMore;
}

FrameDecoder::Status FrameDecoder::finish(uint8_t bcc) {
    state_ = State::Done;
    return bcc == bcc_ ? Status::Complete : Status::BccError;
}

}  // namespace tov::link
