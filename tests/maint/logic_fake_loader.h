// A fake probe loader for the logic programming tests: it keeps the rows and UES it is sent,
// answers the logic requests from them, logs every request, and can be told to misbehave.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "maint/loader_link.h"

namespace tov::test {

using LoaderBytes = std::vector<uint8_t>;

// Stands in for the loader's logic device port behind a LoaderLink.
class FakeLogicLoader final : public maint::LoaderLink {
public:
    struct Sent {
        LoaderBytes request;
        int32_t extraTimeout;
    };

    // The device.
    uint8_t deviceId = 19;
    std::map<uint8_t, std::string> rows;
    std::string ues;

    // Faults: a row whose first (0) or second (1) reading comes back with one fuse flipped; a UES
    // read back with its last bit flipped; a request whose answer echoes another opcode; bytes
    // cut from the end of every fuse row answer; a request that fails in the transport.
    std::optional<std::pair<uint8_t, int>> badReading;
    bool badUes = false;
    std::optional<uint8_t> wrongEchoFor;
    size_t cutRowAnswer = 0;
    std::function<bool(const LoaderBytes&)> failWhen;
    int32_t failCode = -1002;

    std::vector<Sent> sent;

    int32_t open() override { return 0; }
    void close() override {}
    void sleepMs(uint32_t) override {}

    int32_t transact(std::span<const uint8_t> request, std::span<uint8_t> answer,
                     int32_t extraTimeout) override {
        LoaderBytes bytes(request.begin(), request.end());
        sent.push_back({bytes, extraTimeout});
        if (failWhen && failWhen(bytes)) return failCode;
        LoaderBytes reply = respond(bytes);
        if (!reply.empty() && wrongEchoFor == bytes[0]) reply[0] ^= 0x20;
        std::copy(reply.begin(), reply.end(), answer.begin());
        return static_cast<int32_t>(reply.size());
    }

    // The requests with the given opcode, in order.
    std::vector<LoaderBytes> requestsOf(uint8_t opcode) const {
        std::vector<LoaderBytes> found;
        for (const auto& s : sent) {
            if (!s.request.empty() && s.request[0] == opcode) found.push_back(s.request);
        }
        return found;
    }

private:
    static std::string flipped(std::string text, size_t at) {
        if (!text.empty()) text[at] = text[at] == '0' ? '1' : '0';
        return text;
    }
    static void append(LoaderBytes& to, const std::string& text) {
        to.insert(to.end(), text.begin(), text.end());
    }

    LoaderBytes respond(const LoaderBytes& request) {
        const uint8_t opcode = request[0];
        LoaderBytes reply{opcode};
        switch (opcode) {
            case 106:  // Read logic ID
                reply.push_back(deviceId);
                break;
            case 107: {  // Read fuse row: the programmed and the erased margin reading
                const std::string row = rows[request.at(1)];
                for (int reading = 0; reading < 2; ++reading) {
                    const bool bad = badReading && badReading->first == request[1] &&
                                     badReading->second == reading;
                    append(reply, bad ? flipped(row, row.size() / 2) : row);
                }
                reply.resize(reply.size() - std::min(cutRowAnswer, reply.size() - 1));
                break;
            }
            case 108:  // Program fuse row
                rows[request.at(1)] = std::string(request.begin() + 2, request.end());
                break;
            case 109:  // Read UES
                append(reply, badUes ? flipped(ues, ues.size() - 1) : ues);
                break;
            case 110:  // Program UES
                ues = std::string(request.begin() + 1, request.end());
                break;
            case 112:  // Erase logic
                rows.clear();
                ues.clear();
                break;
            default:
                break;
        }
        return reply;
    }
};

}  // namespace tov::test
