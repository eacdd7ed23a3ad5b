// A scripted probe for the flash tests: it decodes the single-item and 8-byte memory requests
// into bus accesses, answers reads from a small chip model, and accepts write-mode, write-block,
// download and erase requests. Every read can let virtual time pass.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "files/files_session.h"
#include "target/target_link.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {

// One access on the target bus as the probe carried it out.
struct BusAccess {
    char kind;  // 'W' or 'R'
    uint32_t address;
    int width;  // bytes
    uint64_t value;
    bool operator==(const BusAccess&) const = default;
};

inline void PrintTo(const BusAccess& a, std::ostream* out) {
    *out << a.kind << '(' << std::hex << "0x" << a.address << ", " << std::dec << a.width << ", 0x"
         << std::hex << a.value << std::dec << ')';
}

inline uint32_t be32(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

inline Bytes be32Bytes(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// Fake probe plus the session under test.
class FlashWireProbe {
public:
    // The value the target gives for a read of `width` bytes at `address`; all ones by default.
    std::function<uint64_t(uint32_t address, int width)> chip = [](uint32_t, int width) {
        return width == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
    };
    // Answer to the erase request and the erase-result request.
    std::function<std::vector<Bytes>(const Bytes& request)> probeErase = [](const Bytes& m) {
        return std::vector<Bytes>{m[0] == 0x90 ? Bytes{0x90, 0} : Bytes{0x91, 0, 0, 0, 0, 0}};
    };
    uint8_t setModeStatus = 0;
    uint8_t writeBlockStatus = 0;
    uint8_t downloadStatus = 0;
    uint32_t msPerRead = 0;  // virtual time that passes with every bus read
    int badReadAfter = -1;   // reads answered before one gets a malformed answer (-1: never)
    int badEchoAt = -1;      // the write (counted from 0) whose echo differs from its value

    std::vector<BusAccess> accesses;
    std::vector<Bytes> blocks;  // download blocks
    ScriptedLink link{[this](const Bytes& m) { return answer(m); }};
    target::TargetLink target{link.link};
    files::FilesSession session{link.link, target};

    // The messages sent with request code `code`.
    std::vector<Bytes> sentWith(uint8_t code) const {
        std::vector<Bytes> out;
        for (const SentRequest& r : link.sent) {
            if (r.message[0] == code) out.push_back(r.message);
        }
        return out;
    }
    size_t reads() const {
        size_t n = 0;
        for (const BusAccess& a : accesses) n += a.kind == 'R';
        return n;
    }

private:
    static uint64_t itemValue(const Bytes& m, size_t at, int width) {
        uint64_t v = 0;
        for (int i = 0; i < width; ++i) v = (v << 8) | m[at + i];
        return v;
    }
    static Bytes itemBytes(uint64_t v, int width) {
        Bytes out;
        for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return out;
    }
    std::vector<Bytes> read(uint32_t address, int width, Bytes head) {
        if (badReadAfter-- == 0) return {{head[0]}};
        link.line.clock.advance(msPerRead);
        uint64_t v = chip(address, width);
        accesses.push_back({'R', address, width, v});
        Bytes out = std::move(head);
        Bytes value = itemBytes(v, width);
        out.insert(out.end(), value.begin(), value.end());
        return {out};
    }

    std::vector<Bytes> answer(const Bytes& m) {
        static constexpr int kWidth[8] = {0, 1, 2, 4, 0, 1, 2, 4};
        const uint8_t code = m[0];
        if (code >= 0x01 && code <= 0x03) {  // set byte / word / long, echoed
            const int width = kWidth[code];
            accesses.push_back({'W', be32(m, 1), width, itemValue(m, 5, width)});
            Bytes out{static_cast<uint8_t>(0x40 + code)};
            out.insert(out.end(), m.begin() + 5, m.end());
            if (badEchoAt-- == 0) out.back() ^= 1;
            return {out};
        }
        if (code >= 0x05 && code <= 0x07) {
            return read(be32(m, 1), kWidth[code], {static_cast<uint8_t>(0x3C + code)});
        }
        if (code == 0xB9) {  // memory write: address, access, count, data
            accesses.push_back({'W', be32(m, 1), (m[7] << 8) | m[8], itemValue(m, 9, 8)});
            return {{0xB9, 0, 0}};
        }
        if (code == 0xB8) return read(be32(m, 1), (m[7] << 8) | m[8], {0xB8, 0, 0});
        if (code == 0x8D) return {{0x8D, setModeStatus}};
        if (code == 0x8C) return {{0x8C, 0}};
        if (code == 0x85) return {{0x85, writeBlockStatus, 0, 0, 0x12, 0x34}};
        if (code == 0x28) return {{0x28, 3, 0x04, 0x00, 0x00, 0x64}};
        if (code == 0x29) {
            blocks.push_back(m);
            Bytes ack{0x29, downloadStatus};
            Bytes count = be32Bytes(be32(m, 2) + 1);
            ack.insert(ack.end(), count.begin(), count.end());
            Bytes detail = be32Bytes(downloadStatus ? 0xD00D : 0);
            ack.insert(ack.end(), detail.begin(), detail.end());
            return {ack};
        }
        if (code == 0x90 || code == 0x91) return probeErase(m);
        return {};
    }
};

}  // namespace tov::test
