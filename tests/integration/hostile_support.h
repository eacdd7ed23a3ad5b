// What the hostile-probe test needs around each call: caller buffers with guarded tails, a
// clock per call, and an S-record file to load, verify and program.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "files/srecord_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TOV_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TOV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TOV_POISON(p, n) ((void)(p), (void)(n))
#define TOV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace tov::test {

// A caller buffer of `size` bytes followed by a tail no call may touch: canary bytes in every
// build, and poisoned memory that AddressSanitizer reports at the first write in its build.
class GuardedBuffer {
public:
    static constexpr size_t kTail = 64;
    static constexpr uint8_t kCanary = 0xA5;

    explicit GuardedBuffer(size_t size) : size_(size), bytes_(size + kTail, kCanary) {
        TOV_POISON(bytes_.data() + size_, kTail);
    }
    ~GuardedBuffer() { TOV_UNPOISON(bytes_.data() + size_, kTail); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return bytes_.data(); }
    template <typename T>
    T* as() {
        return reinterpret_cast<T*>(bytes_.data());
    }
    size_t size() const { return size_; }
    std::vector<uint8_t> contents() const {
        return {bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size_)};
    }
    bool tailIntact() {
        TOV_UNPOISON(bytes_.data() + size_, kTail);
        bool intact = true;
        for (size_t i = size_; i < bytes_.size(); ++i) intact = intact && bytes_[i] == kCanary;
        TOV_POISON(bytes_.data() + size_, kTail);
        return intact;
    }

private:
    size_t size_;
    std::vector<uint8_t> bytes_;
};

// One request family as the test calls it: a name, the call, and how long it may take at most
// (every send's wait spent on all its resends, with room for a loaded machine).
struct HostileCall {
    std::string name;
    std::function<int32_t()> run;
    uint32_t budgetMs = 10000;
    bool reopensItself = false;  // opens and closes the link on its own
    bool oneRequest = false;     // sends exactly one request: a wrong-code answer must fail it
};

struct CallTally {
    unsigned succeeded = 0;
    unsigned failed = 0;
};

// Runs one call, checks that it came back within its budget, and counts its outcome (`failed`
// says which codes are failures: negative ones of the probe API, non-zero RDI codes).
inline int32_t timedCall(const HostileCall& call, bool (*failed)(int32_t), CallTally& tally) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t rc = call.run();
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    EXPECT_LE(spent, call.budgetMs) << call.name << " took " << spent << " ms";
    (failed(rc) ? tally.failed : tally.succeeded) += 1;
    return rc;
}

// Writes `data` at `address` as S3 records of 32 bytes.
inline bool writeSRecordFile(const std::string& path, uint32_t address,
                             const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    char line[files::kMaxRecordText];
    for (size_t at = 0; at < data.size(); at += 32) {
        const size_t n = std::min<size_t>(32, data.size() - at);
        const size_t length =
            files::formatSRecord(3, static_cast<uint32_t>(address + at), data.data() + at, n, line);
        std::fwrite(line, 1, length, f);
    }
    std::fputs("S70500000000FA\n", f);
    return std::fclose(f) == 0;
}

}  // namespace tov::test
