// A scripted probe for the file functions: it answers Set write mode, Write block, the download
// start and blocks, the on-chip flash requests, and memory reads from a byte map, and keeps what it was sent.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "files/files_session.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {

inline uint32_t be32(const Bytes& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

inline Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One download block as the probe saw it.
struct SeenBlock {
    uint32_t address;
    Bytes data;
};

struct FilesProbe {
    uint8_t writeModeStatus = 0;
    uint8_t writeBlockStatus = 0;
    // Sequence number of the block whose acknowledgement fails (with failDetail), or none.
    int64_t failBlock = -1;
    uint32_t failDetail = 0;
    // Memory reads from this address on answer with the target's bad-address status.
    uint32_t memoryFailFrom = 0xFFFFFFFF;
    bool answerPrepare = true;    // the on-chip flash prepare request gets an answer
    uint8_t eraseResult = 0;      // result byte of the probe's erase
    std::map<uint32_t, uint8_t> memory;  // bytes not in the map read as 0xEE
    std::vector<SeenBlock> blocks;

    ScriptedLink link{[this](const Bytes& m) { return answer(m); }};
    target::TargetLink target{link.link};
    files::FilesSession session{link.link, target};

    // Requests other than download blocks, in order.
    std::vector<Bytes> requests() const {
        std::vector<Bytes> out;
        for (const SentRequest& r : link.sent) {
            if (r.message[0] != 0x29) out.push_back(r.message);
        }
        return out;
    }
    size_t countOf(uint8_t code) const {
        size_t n = 0;
        for (const SentRequest& r : link.sent) n += r.message[0] == code;
        return n;
    }

private:
    std::vector<Bytes> answer(const Bytes& m) {
        switch (m[0]) {
            case 0x8D:
                return {{0x8D, writeModeStatus}};
            case 0x8C:
                return answerPrepare ? std::vector<Bytes>{{0x8C, 0}} : std::vector<Bytes>{};
            case 0x90:
                return {{0x90, 0}};
            case 0x91:
                return {{0x91, eraseResult, 0, 0, 0, 0}};
            case 0x85:
                return {{0x85, writeBlockStatus, 0x12, 0x34, 0x56, 0x78}};
            case 0x28:
                return {{0x28, 3, 0x04, 0x00, 0x00, 0x64}};
            case 0x29: {
                const uint32_t sequence = be32(m, 2);
                blocks.push_back({be32(m, 6), Bytes(m.begin() + 12, m.end())});
                const bool fail = failBlock == static_cast<int64_t>(sequence);
                const uint32_t count = fail ? sequence : sequence + 1;
                const uint32_t detail = fail ? failDetail : 0;
                return {{0x29, static_cast<uint8_t>(fail ? 3 : 0),
                         static_cast<uint8_t>(count >> 24), static_cast<uint8_t>(count >> 16),
                         static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count),
                         static_cast<uint8_t>(detail >> 24), static_cast<uint8_t>(detail >> 16),
                         static_cast<uint8_t>(detail >> 8), static_cast<uint8_t>(detail)}};
            }
            case 0xB8: {
                const uint32_t address = be32(m, 1);
                const uint16_t count = static_cast<uint16_t>((m[7] << 8) | m[8]);
                const bool fail = address >= memoryFailFrom;
                Bytes a{0xB8, static_cast<uint8_t>(fail ? 0xF7 : 0),
                        static_cast<uint8_t>(fail ? 0xC5 : 0)};
                for (uint32_t i = 0; i < count; ++i) {
                    auto it = memory.find(address + i);
                    a.push_back(it == memory.end() ? 0xEE : it->second);
                }
                return {a};
            }
            default:
                return {};
        }
    }
};

// An S-record line made independently of the library's writer; `checksumError` is added to the
// correct checksum.
inline std::string srecordLine(int type, uint32_t address, const Bytes& data,
                               bool lowerCase = false, int checksumError = 0) {
    const int addressLength = type + 1;
    const int count = addressLength + static_cast<int>(data.size()) + 1;
    std::string line = "S" + std::to_string(type);
    unsigned sum = static_cast<unsigned>(count);
    char hex[3];
    auto put = [&](unsigned value) {
        std::snprintf(hex, sizeof hex, lowerCase ? "%02x" : "%02X", value & 0xFF);
        line += hex;
    };
    put(static_cast<unsigned>(count));
    for (int i = addressLength - 1; i >= 0; --i) {
        sum += (address >> (8 * i)) & 0xFF;
        put(address >> (8 * i));
    }
    for (uint8_t b : data) {
        sum += b;
        put(b);
    }
    put(~sum + static_cast<unsigned>(checksumError));
    return line + "\n";
}

inline Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8));
    return b;
}

// A directory of its own under the test temp directory, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = ::testing::TempDir() + "tov_files_XXXXXX";
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }

private:
    std::string path_;
};

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tov::test
