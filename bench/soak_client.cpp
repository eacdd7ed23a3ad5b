// The client side of the fault soak: downloads an image through the library, reads target memory
// back and compares it with the image. Prints one line: the outcome codes, the time and whether
// the target memory is bit-exact; exits 3 when a call reported success over wrong data.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "include/tovlink.h"

namespace {

constexpr uint32_t kPiece = 0x8000;
constexpr int kReadAttempts = 5;

// Reads one piece back, trying again while the link reports a failure (the faults are
// transient); a dead connection is opened again.
int32_t readPiece(const std::string& port, uint32_t address, uint16_t count, uint8_t* out) {
    int32_t rc = 0;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        rc = TOV_MemoryRead(address, 0, count, out);
        if (rc == 0) return 0;
        if (rc == -1201 || rc == -1203) TOV_Connect(port.c_str());
    }
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: soak_client PORTTEXT IMAGE ADDRESS raw|compressed\n");
        return 2;
    }
    const std::string port = argv[1];
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
    const uint32_t base = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0));
    const bool compress = std::string(argv[4]) == "compressed";
    if (image.empty()) {
        std::fprintf(stderr, "soak_client: cannot read %s\n", argv[2]);
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    int32_t rc = TOV_Connect(port.c_str());
    if (rc == 0) rc = TOV_InitDownload(0, compress ? 1 : 0);
    for (size_t at = 0; rc == 0 && at < image.size(); at += kPiece) {
        const size_t n = std::min<size_t>(kPiece, image.size() - at);
        rc = TOV_Download(base + static_cast<uint32_t>(at), static_cast<uint16_t>(n),
                          image.data() + at);
    }
    uint32_t detail = 0;
    const int32_t end = TOV_EndDownload(&detail);
    if (rc == 0) rc = end;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // The read-back runs whatever the download said, so that a failed download that left right
    // data and a successful one that left wrong data are both seen.
    if (rc == -1201 || rc == -1203) TOV_Connect(port.c_str());
    int32_t readRc = 0;
    size_t wrong = 0;
    std::vector<uint8_t> back(kPiece);
    for (size_t at = 0; at < image.size(); at += kPiece) {
        const uint16_t n = static_cast<uint16_t>(std::min<size_t>(kPiece, image.size() - at));
        const int32_t got = readPiece(port, base + static_cast<uint32_t>(at), n, back.data());
        if (got != 0) {
            readRc = got;
            break;
        }
        for (size_t i = 0; i < n; ++i) wrong += back[i] != image[at + i];
    }
    const double readSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() -
        seconds;
    TOV_Disconnect();
    const char* exact = readRc != 0 ? "unknown" : wrong == 0 ? "yes" : "no";
    std::printf("download=%d readback=%d download_s=%.2f readback_s=%.2f exact=%s wrong_bytes=%zu\n",
                rc, readRc, seconds, readSeconds, exact, wrong);
    // Success over wrong data is the one outcome that must never happen.
    return rc == 0 && readRc == 0 && wrong != 0 ? 3 : 0;
}
