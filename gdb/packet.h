// The GDB remote protocol's packet layer: framing with '$' ... '#cc', the checksum, binary
// escapes, run-length decoding, acknowledgements and the interrupt byte, as plain code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tov::gdb {

// What the byte stream from the client brought.
struct Incoming {
    enum class Kind { Packet, Interrupt, Ack, Nak, BadChecksum };
    Kind kind;
    std::string payload;  // Packet: the decoded payload (escapes and run lengths undone)
};

// Splits the client's byte stream into packets and control bytes. Bytes between packets that
// mean nothing are dropped; a packet longer than the limit is dropped whole and answered like a
// bad checksum, so junk can never make the reader grow without bound.
class PacketReader {
public:
    explicit PacketReader(size_t maxPayload) : maxPayload_(maxPayload) {}

    // Takes bytes and appends what they complete to `out`.
    void feed(std::span<const uint8_t> bytes, std::vector<Incoming>& out);
    void feed(std::string_view bytes, std::vector<Incoming>& out) {
        feed(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), out);
    }

private:
    enum class State { Idle, Body, Escape, Check1, Check2 };
    void finish(std::vector<Incoming>& out);

    size_t maxPayload_;
    State state_ = State::Idle;
    std::string raw_;  // the body as sent, for the checksum and the run-length step
    bool tooLong_ = false;
    uint8_t sum_ = 0;
    uint8_t given_ = 0;
};

// Undoes '}' escapes and '*' run lengths of a received body; false for a malformed body.
bool decodeBody(std::string_view raw, std::string& out);

// "$payload#cc" with '#', '$', '}' and '*' escaped.
std::string framePacket(std::string_view payload);

// "O" packet text (hex of the bytes) for the client's console.
std::string consoleOutput(std::span<const uint8_t> bytes);

std::string toHex(std::span<const uint8_t> bytes);
std::string toHex(std::string_view text);
// False for an odd length or a non-hex digit.
bool fromHex(std::string_view hex, std::vector<uint8_t>& out);
// A hex number of at most 8 digits filling the whole text; false otherwise.
bool parseHex32(std::string_view text, uint32_t& value);
// "ADDR,LEN", both hex numbers as parseHex32 takes them; false otherwise.
bool addressAndLength(std::string_view text, uint32_t& address, uint32_t& length);
// A 32-bit value as 8 hex digits in target (little-endian) byte order.
std::string wordHex(uint32_t value);

}  // namespace tov::gdb
