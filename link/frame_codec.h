// Serial framing: DLE STX payload DLE ETX BCC with DLE doubling, and the receive state machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tov::link {

inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;

// Largest payload a frame carries: 2 header bytes + 1498 message bytes.
inline constexpr size_t kMaxPayload = 1500;
// Worst case of an encoded payload of n bytes: every payload byte and the BCC doubled.
constexpr size_t encodedFrameCapacity(size_t payloadLength) { return 2 + 2 * payloadLength + 2 + 2; }

// Encodes payload into out (at least encodedFrameCapacity(payload.size()) bytes); returns the
// number of bytes to put on the line.
size_t encodeFrame(std::span<const uint8_t> payload, uint8_t* out);

// Byte-fed receive state machine. The host drives it one read byte at a time under a per-byte
// wait; the simulator feeds it whatever arrived on its pseudo-terminal. Both see the same rules.
class FrameDecoder {
public:
    enum class Status {
        NeedMore,      // keep feeding
        Complete,      // a checked frame of size() bytes is in the buffer
        FormatError,   // DLE followed by something other than DLE or ETX (-1004)
        BccError,      // check byte mismatch (-1005)
        Overflow,      // more data bytes than the buffer holds (-1006)
    };

    // Starts hunting for a new frame, storing at most buffer.size() payload bytes.
    void start(std::span<uint8_t> buffer);
    Status feed(uint8_t byte);

    bool hunting() const { return state_ == State::Hunting || state_ == State::HuntingAfterDle; }
    size_t size() const { return count_; }

private:
    enum class State { Hunting, HuntingAfterDle, Data, DataAfterDle, Check, CheckAfterDle, Done };

    Status acceptData(uint8_t byte);
    Status finish(uint8_t bcc);

    std::span<uint8_t> buffer_;
    State state_ = State::Done;
    size_t count_ = 0;
    uint8_t bcc_ = 0;
};

}  // namespace tov::link
