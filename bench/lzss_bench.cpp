// Throughput of the download compressor on a real program image, random data and zeros, in
// blocks of 1024 bytes with the history kept across blocks as in a download.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "files/lzss_encoder.h"

namespace {

constexpr size_t kImageSize = 1 << 20;
constexpr size_t kBlock = 1024;

// The first MiB of a real executable of the system: machine code, tables and strings.
std::vector<uint8_t> programImage() {
    for (const char* path : {"/usr/bin/cmake", "/usr/bin/gdb", "/proc/self/exe"}) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        if (data.size() >= kImageSize) {
            data.resize(kImageSize);
            return data;
        }
    }
    return {};
}

std::vector<uint8_t> randomData() {
    std::vector<uint8_t> data(kImageSize);
    std::mt19937 rng(1);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    return data;
}

void compress(benchmark::State& state, const std::vector<uint8_t>& data) {
    if (data.empty()) {
        state.SkipWithError("no program image of 1 MiB found");
        return;
    }
    tov::files::LzssEncoder encoder;
    std::vector<uint8_t> out(tov::files::LzssEncoder::maxEncodedSize(kBlock));
    size_t compressed = 0;
    for (auto _ : state) {
        encoder.reset();
        compressed = 0;
        for (size_t at = 0; at < data.size(); at += kBlock) {
            compressed += encoder.encode(data.data() + at, kBlock, out.data());
        }
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(data.size());
}

void BM_LzssProgramImage(benchmark::State& state) {
    static const std::vector<uint8_t> image = programImage();
    compress(state, image);
}

void BM_LzssRandom(benchmark::State& state) {
    static const std::vector<uint8_t> data = randomData();
    compress(state, data);
}

void BM_LzssZeros(benchmark::State& state) {
    static const std::vector<uint8_t> zeros(kImageSize, 0);
    compress(state, zeros);
}

BENCHMARK(BM_LzssProgramImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssZeros)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
