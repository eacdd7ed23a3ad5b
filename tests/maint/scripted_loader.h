// A scripted probe loader behind a LoaderLink: answers each loader request by opcode from a small
// model of the probe (versions, flash, logic device), logs every request with its extra wait and
// counts opens and closes, for byte-exact tests of the maintenance procedures.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "maint/loader_link.h"

namespace tov::test {

using Wire = std::vector<uint8_t>;

// The version answer of a probe: 7, 15, 17 or 23 bytes, or any other length for the odd cases.
inline Wire versionAnswer(size_t length, uint16_t loader, uint16_t firmware, uint16_t logic,
                          const std::string& serial = "12345678") {
    Wire a{100,
           static_cast<uint8_t>(loader >> 8),
           static_cast<uint8_t>(loader),
           static_cast<uint8_t>(firmware >> 8),
           static_cast<uint8_t>(firmware),
           static_cast<uint8_t>(logic >> 8),
           static_cast<uint8_t>(logic)};
    for (size_t i = 0; a.size() < length; ++i) a.push_back(i < serial.size() ? serial[i] : '0');
    a.resize(length);
    return a;
}

// Stands in for a probe in its loader.
class ScriptedLoader final : public maint::LoaderLink {
public:
    struct Sent {
        Wire request;
        int32_t extraTimeout;
    };

    Wire versions = versionAnswer(15, 0x0102, 0xA005, 4005);
    std::deque<int32_t> openResults;  // results of the next opens; 0 once used up
    bool switchOnEnter = false;       // answer Enter loader with 0x72 (once)
    uint8_t deviceId = 19;
    uint8_t eraseStatus = 0;
    uint8_t programStatus = 0;
    bool corruptReadBack = false;  // Read flash answers with the first byte inverted
    std::map<uint32_t, uint8_t> flash;
    std::map<uint8_t, std::string> fuseRows;
    std::string ues;

    std::vector<Sent> sent;
    std::vector<uint32_t> sleeps;
    int opens = 0;
    int closes = 0;
    bool isOpen = false;

    int32_t open() override {
        ++opens;
        int32_t rc = 0;
        if (!openResults.empty()) {
            rc = openResults.front();
            openResults.pop_front();
        }
        isOpen = rc == 0;
        return rc;
    }
    void close() override {
        ++closes;
        isOpen = false;
    }
    void sleepMs(uint32_t ms) override { sleeps.push_back(ms); }

    int32_t transact(std::span<const uint8_t> request, std::span<uint8_t> answer,
                     int32_t extraTimeout) override {
        if (!isOpen) return -1203;
        Wire bytes(request.begin(), request.end());
        sent.push_back({bytes, extraTimeout});
        const Wire reply = respond(bytes);
        std::copy(reply.begin(), reply.end(), answer.begin());
        return static_cast<int32_t>(reply.size());
    }

    // The requests with `opcode`, in order.
    std::vector<Wire> requestsOf(uint8_t opcode) const {
        std::vector<Wire> found;
        for (const auto& s : sent) {
            if (s.request[0] == opcode) found.push_back(s.request);
        }
        return found;
    }
    // The opcodes sent, in order.
    std::vector<uint8_t> opcodes() const {
        std::vector<uint8_t> codes;
        for (const auto& s : sent) codes.push_back(s.request[0]);
        return codes;
    }

private:
    static uint32_t u32(const Wire& w, size_t at) {
        return uint32_t{w[at]} << 24 | uint32_t{w[at + 1]} << 16 | uint32_t{w[at + 2]} << 8 |
               w[at + 3];
    }

    Wire respond(const Wire& request) {
        const uint8_t opcode = request[0];
        Wire reply{opcode};
        switch (opcode) {
            case 100:
                return versions;
            case 101: {  // Read flash: opcode, six bytes not examined, data
                const uint32_t address = u32(request, 1);
                const size_t length = size_t{request[5]} << 8 | request[6];
                reply.resize(7, 0);
                for (size_t i = 0; i < length; ++i) {
                    const auto at = flash.find(address + static_cast<uint32_t>(i));
                    reply.push_back(at == flash.end() ? 0xFF : at->second);
                }
                if (corruptReadBack && length > 0) reply[7] ^= 0xFF;
                return reply;
            }
            case 103:
                reply.push_back(eraseStatus);
                return reply;
            case 104: {
                const uint32_t address = u32(request, 1);
                for (size_t i = 7; i < request.size(); ++i) {
                    flash[address + static_cast<uint32_t>(i - 7)] = request[i];
                }
                reply.insert(reply.end(), {programStatus, 0, 0, 0, 0});
                return reply;
            }
            case 106:
                reply.push_back(deviceId);
                return reply;
            case 107: {
                const std::string row = fuseRows[request[1]];
                for (int reading = 0; reading < 2; ++reading) {
                    reply.insert(reply.end(), row.begin(), row.end());
                }
                return reply;
            }
            case 108:
                fuseRows[request[1]] = std::string(request.begin() + 2, request.end());
                return reply;
            case 109:
                reply.insert(reply.end(), ues.begin(), ues.end());
                return reply;
            case 110:
                ues = std::string(request.begin() + 1, request.end());
                return reply;
            case 112:
                fuseRows.clear();
                ues.clear();
                return reply;
            case 114:
                if (switchOnEnter) {
                    switchOnEnter = false;
                    return reply;
                }
                return {0x64};
            default:
                return reply;
        }
    }
};

}  // namespace tov::test
