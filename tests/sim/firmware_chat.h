// Test helpers for the simulated firmware: request building and answer reading without a link.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "sim/probe.h"

namespace tov::sim {

using Bytes = std::vector<uint8_t>;

// Builds a request from big-endian fields.
class Req {
public:
    explicit Req(uint8_t code) : bytes_{code} {}
    Req& u8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    Req& u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
    Req& u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
    Req& text(const std::string& t) {
        bytes_.insert(bytes_.end(), t.begin(), t.end());
        return *this;
    }
    Req& raw(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    operator Bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

inline uint16_t be16(const Bytes& a, size_t at) {
    return uint16_t((a.at(at) << 8) | a.at(at + 1));
}
inline uint32_t be32(const Bytes& a, size_t at) {
    return (uint32_t{be16(a, at)} << 16) | be16(a, at + 2);
}
inline int16_t statusOf(const Bytes& a) {
    return static_cast<int16_t>(be16(a, 1));
}

// Logged flash blocks in failure messages: "write 0x100040+129 lead 0x82".
inline void PrintTo(const ProgrammedBlock& b, std::ostream* out) {
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%X+%u lead 0x%02X",
                  b.source == ProgrammedBlock::Source::WriteBlock ? "write" : "download", b.address,
                  b.length, b.lead);
    *out << text;
}

// The three-byte answer of a status-only request.
inline Bytes statusBytes(uint8_t code, int16_t status) {
    return {code, uint8_t(uint16_t(status) >> 8), uint8_t(status)};
}

// A probe in its firmware, asked directly.
class FirmwareChat {
public:
    explicit FirmwareChat(SimOptions options = {}) : probe(options) {}
    Bytes ask(const Bytes& request) {
        return probe.handleRequest(request, std::chrono::steady_clock::now());
    }
    // The state answer's state byte and its values.
    uint8_t state() { return ask(Req(0xB4)).at(1); }
    std::vector<uint32_t> stateValues() {
        Bytes a = ask(Req(0xB4));
        std::vector<uint32_t> v;
        for (size_t i = 0; i < a.at(8); ++i) v.push_back(be32(a, 9 + 4 * i));
        return v;
    }
    int16_t command(const std::string& text) { return statusOf(ask(Req(0xC3).text(text).u8(0))); }

    Probe probe;
};

}  // namespace tov::sim
