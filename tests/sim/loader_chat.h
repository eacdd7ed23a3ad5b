// Test helpers for the probe's loader: a probe asked directly on a clock the test moves, and the
// host's side of a firmware update written plainly.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "files/srecord_reader.h"
#include "sim/loader.h"
#include "sim/probe.h"
#include "tests/sim/firmware_chat.h"

namespace tov::sim {

class LoaderChat {
public:
    explicit LoaderChat(SimOptions options) : probe(options) {}
    static SimOptions options(ProbeModel model, bool loader = true) {
        SimOptions o;
        o.model = model;
        o.loader = loader;
        return o;
    }
    Bytes ask(const Bytes& request) { return probe.handleRequest(request, now); }
    // Lets a restart's silence pass.
    void wait() { now += Probe::kRestartSilence + std::chrono::milliseconds(1); }
    bool inLoader() { return probe.inLoader(now); }

    int eraseStatus(uint32_t address) { return ask(Req(kEraseSector).u32(address)).at(1); }
    // Programs bytes with the count the model's flash takes (bytes, or words on the TOV-X).
    int program(uint32_t address, const Bytes& data) {
        const bool words = probe.ownFlash().layout().wordProgramming;
        const size_t count = words ? data.size() / 2 : data.size();
        Bytes answer = ask(Req(kProgramFlash).u32(address).u16(uint16_t(count)).raw(data));
        return answer.size() == 6 ? answer[1] : -1;
    }
    Bytes read(uint32_t address, uint16_t length) {
        Bytes answer = ask(Req(kReadFlash).u32(address).u16(length));
        if (answer.size() != length + 7u) return {};
        return Bytes(answer.begin() + 7, answer.end());
    }

    // The firmware update as the host runs it: erase the four sectors, program every data
    // record (padded with 0xFF to four bytes except on the TOV-X), then the start marker.
    // Returns the first non-zero status, or 0.
    int updateFirmware(const std::string& path) {
        const ProbeFlashLayout& layout = probe.ownFlash().layout();
        for (uint32_t sector : layout.firmwareSectors) {
            if (int s = eraseStatus(sector)) return s;
        }
        std::ifstream in(path);
        std::string line;
        files::SRecord record;
        while (std::getline(in, line)) {
            if (files::parseSRecordLine(line, files::kLoadLineRules, record) !=
                    files::LineResult::kRecord ||
                record.length == 0) {
                continue;
            }
            Bytes data(record.data, record.data + record.length);
            if (!layout.wordProgramming) {
                while (data.size() % 4) data.push_back(0xFF);
            }
            if (int s = program(record.address, data)) return s;
        }
        return program(layout.markerAddress, Bytes(kStartMarker.begin(), kStartMarker.end()));
    }

    Probe probe;
    Probe::TimePoint now = std::chrono::steady_clock::now();
};

}  // namespace tov::sim
