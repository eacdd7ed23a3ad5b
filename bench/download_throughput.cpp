// Times a bulk download of a program image through the library, into target memory or into the
// simulator's erased flash bank at 0x20000000, and reports the data rate as a share of what the
// serial line can carry (10 bit times per byte): the client side of the end-to-end download
// benchmarks.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "include/tovlink.h"

namespace {

std::vector<uint8_t> programImage(size_t size) {
    for (const char* path : {"/usr/bin/cmake", "/proc/self/exe"}) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        if (data.size() >= size) {
            data.resize(size);
            return data;
        }
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: download_throughput PORTTEXT BYTES raw|compressed [ram|flash]\n");
        return 2;
    }
    const bool flash = argc == 5 && std::string(argv[4]) == "flash";
    const std::string port = argv[1];
    const size_t size = std::strtoul(argv[2], nullptr, 0);
    const bool compress = std::string(argv[3]) == "compressed";
    const std::vector<uint8_t> image = programImage(size);
    if (image.empty()) {
        std::fprintf(stderr, "download_throughput: no program image of %zu bytes\n", size);
        return 1;
    }
    int32_t rc = TOV_Connect(port.c_str());
    if (rc != 0) {
        std::fprintf(stderr, "download_throughput: %s\n", TOV_ErrorTextGet(rc));
        return 1;
    }
    const uint32_t rate = TOV_LineRateGet();
    uint32_t base = 0x100000;
    if (flash) {
        // 512-KiB chips of command set A, four on a 32-bit bus; an empty block write puts the
        // probe into the flash's write mode, so that the download programs instead of writing.
        base = 0x20000000;
        uint32_t result = 0;
        rc = TOV_FlashSetType(2, 0x80000, 0, 32, 0x100000);
        if (rc == 0) rc = TOV_FlashWriteBlock(base, 0, image.data(), &result);
    }
    const auto started = std::chrono::steady_clock::now();
    if (rc == 0) rc = TOV_InitDownload(0, compress ? 1 : 0);
    for (size_t at = 0; rc == 0 && at < image.size(); at += 0x8000) {
        const size_t n = std::min<size_t>(0x8000, image.size() - at);
        rc = TOV_Download(base + static_cast<uint32_t>(at), static_cast<uint16_t>(n),
                          image.data() + at);
    }
    uint32_t detail = 0;
    const int32_t end = TOV_EndDownload(&detail);
    if (rc == 0) rc = end;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    TOV_Disconnect();
    if (rc != 0) {
        std::fprintf(stderr, "download_throughput: %s\n", TOV_ErrorTextGet(rc));
        return 1;
    }
    const double bytesPerSecond = static_cast<double>(image.size()) / seconds;
    const double lineLimit = rate / 10.0;
    std::printf("%-10s %zu bytes in %.2f s: %.0f bytes/s, %.1f %% of the line's %.0f bytes/s\n",
                argv[3], image.size(), seconds, bytesPerSecond, 100.0 * bytesPerSecond / lineLimit,
                lineLimit);
    return 0;
}
