// The GDB remote protocol's packet framing, escapes and hex helpers.
#include "gdb/packet.h"

namespace tov::gdb {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void PacketReader::feed(std::span<const uint8_t> bytes, std::vector<Incoming>& out) {
    for (const uint8_t byte : bytes) {
        const char c = static_cast<char>(byte);
        switch (state_) {
        case State::Idle:
            if (c == '$') {
                raw_.clear();
                tooLong_ = false;
                sum_ = 0;
                state_ = State::Body;
            } else if (byte == 0x03) {
                out.push_back({Incoming::Kind::Interrupt, {}});
            } else if (c == '+') {
                out.push_back({Incoming::Kind::Ack, {}});
            } else if (c == '-') {
                out.push_back({Incoming::Kind::Nak, {}});
            }
            break;
        case State::Body:
        case State::Escape:
            if (c == '#' && state_ == State::Body) {
                state_ = State::Check1;
                break;
            }
            if (c == '$' && state_ == State::Body) {
                // A new start inside a packet: the old one was cut off.
                out.push_back({Incoming::Kind::BadChecksum, {}});
                raw_.clear();
                tooLong_ = false;
                sum_ = 0;
                break;
            }
            sum_ = static_cast<uint8_t>(sum_ + byte);
            state_ = (c == '}' && state_ == State::Body) ? State::Escape : State::Body;
            if (raw_.size() < maxPayload_) {
                raw_.push_back(c);
            } else {
                tooLong_ = true;
            }
            break;
        case State::Check1:
            given_ = static_cast<uint8_t>(hexValue(c) << 4);
            state_ = hexValue(c) < 0 ? State::Idle : State::Check2;
            if (state_ == State::Idle) out.push_back({Incoming::Kind::BadChecksum, {}});
            break;
        case State::Check2:
            state_ = State::Idle;
            if (hexValue(c) < 0) {
                out.push_back({Incoming::Kind::BadChecksum, {}});
                break;
            }
            given_ = static_cast<uint8_t>(given_ | hexValue(c));
            finish(out);
            break;
        }
    }
}

void PacketReader::finish(std::vector<Incoming>& out) {
    Incoming packet{Incoming::Kind::Packet, {}};
    if (tooLong_ || given_ != sum_ || !decodeBody(raw_, packet.payload) ||
        packet.payload.size() > maxPayload_) {
        out.push_back({Incoming::Kind::BadChecksum, {}});
    } else {
        out.push_back(std::move(packet));
    }
    raw_.clear();
}

bool decodeBody(std::string_view raw, std::string& out) {
    out.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '}') {
            if (++i == raw.size()) return false;
            out.push_back(static_cast<char>(raw[i] ^ 0x20));
        } else if (c == '*') {
            // The count is the next byte minus 29 repeats of the byte before.
            if (out.empty() || ++i == raw.size()) return false;
            const int repeats = static_cast<uint8_t>(raw[i]) - 29;
            if (repeats < 3 || repeats > 97) return false;
            out.append(static_cast<size_t>(repeats), out.back());
        } else {
            out.push_back(c);
        }
    }
    return true;
}

std::string framePacket(std::string_view payload) {
    std::string frame = "$";
    uint8_t sum = 0;
    for (const char c : payload) {
        if (c == '#' || c == '$' || c == '}' || c == '*') {
            frame.push_back('}');
            sum = static_cast<uint8_t>(sum + '}');
            const char escaped = static_cast<char>(c ^ 0x20);
            frame.push_back(escaped);
            sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(escaped));
        } else {
            frame.push_back(c);
            sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        }
    }
    frame.push_back('#');
    frame.push_back(kHexDigits[sum >> 4]);
    frame.push_back(kHexDigits[sum & 0xF]);
    return frame;
}

std::string consoleOutput(std::span<const uint8_t> bytes) { return "O" + toHex(bytes); }

std::string toHex(std::span<const uint8_t> bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        hex.push_back(kHexDigits[b >> 4]);
        hex.push_back(kHexDigits[b & 0xF]);
    }
    return hex;
}

std::string toHex(std::string_view text) {
    return toHex(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool fromHex(std::string_view hex, std::vector<uint8_t>& out) {
    if (hex.size() % 2 != 0) return false;
    out.clear();
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

bool parseHex32(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (const char c : text) {
        const int digit = hexValue(c);
        if (digit < 0) return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

std::string wordHex(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return toHex(bytes);
}

bool addressAndLength(std::string_view text, uint32_t& address, uint32_t& length) {
    const size_t comma = text.find(',');
    return comma != std::string_view::npos && parseHex32(text.substr(0, comma), address) &&
           parseHex32(text.substr(comma + 1), length);
}

}  // namespace tov::gdb
