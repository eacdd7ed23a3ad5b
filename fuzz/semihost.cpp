// Fuzzes the semihosting parameter decoding: a sequence of calls whose registers and target
// memory come from the input, served by the real service on a fake target. File operations are
// confined to a scratch directory and host commands are refused, so the fuzzer cannot reach
// outside it.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "fuzz/support/check.h"
#include "semihost/service.h"

using namespace tov::semihost;

namespace {

// A window of target memory filled from the input; everything outside it fails to read and
// write, as unmapped memory does, which also bounds how much one call can move.
class FakeTarget : public TargetAccess {
public:
    static constexpr uint32_t kBase = 0x1000;
    static constexpr int kAccessFailed = -1102;

    explicit FakeTarget(std::span<const uint8_t> memory) : memory_(memory.begin(), memory.end()) {}

    void setArguments(uint32_t r0, uint32_t r1) {
        r0_ = r0;
        r1_ = r1;
    }
    int readMemory(uint32_t address, std::span<uint8_t> out) override {
        if (!inside(address, out.size())) return kAccessFailed;
        std::copy_n(memory_.begin() + (address - kBase), out.size(), out.begin());
        return 0;
    }
    int writeMemory(uint32_t address, std::span<const uint8_t> data) override {
        if (!inside(address, data.size())) return kAccessFailed;
        std::copy(data.begin(), data.end(), memory_.begin() + (address - kBase));
        return 0;
    }
    int readArguments(uint32_t& r0, uint32_t& r1) override {
        r0 = r0_;
        r1 = r1_;
        return 0;
    }
    int writeResult(uint32_t) override { return 0; }

private:
    bool inside(uint32_t address, size_t size) const {
        return address >= kBase && address - kBase <= memory_.size() &&
               size <= memory_.size() - (address - kBase);
    }
    std::vector<uint8_t> memory_;
    uint32_t r0_ = 0;
    uint32_t r1_ = 0;
};

// The console: output is dropped, input is a fixed line.
class FakeConsole : public Console {
public:
    void writeChar(uint8_t) override {}
    size_t writeBlock(std::span<const uint8_t> data) override { return data.size(); }
    size_t readLine(std::span<uint8_t> out) override {
        static constexpr char kLine[] = "typed line\n";
        const size_t n = std::min(out.size(), sizeof kLine - 1);
        std::copy_n(kLine, n, out.begin());
        return n;
    }
    int readChar() override { return 'x'; }
};

// The directory the program's files live in, removed again when the fuzzer ends.
class ScratchDirectory {
public:
    ScratchDirectory() {
        char pattern[] = "/tmp/tov-fuzz-semihost-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& scratchRoot() {
    static const ScratchDirectory directory;
    return directory.path();
}

constexpr uint32_t kOperations[] = {
    kOpen,  kClose,  kWriteChar, kWriteString, kWrite,          kRead,         kReadChar,
    kIsError, kIsTerminal, kSeek, kFileLength, kTemporaryName, kRemove,   kRename,
    kClock, kTime,   kErrno,     kCommandLine, kHeapInfo,       kReportException, kExitExtended,
    kElapsed, kTickFrequency};

}  // namespace

// Input: a count of calls, then per call an operation byte and a parameter offset byte, then
// the target memory window.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t calls = std::min<size_t>(data[0] % 8, (size - 1) / 2);
    const size_t header = 1 + 2 * calls;
    FakeTarget target({data + header, size - header});
    FakeConsole console;
    std::atomic<bool> stop{false};
    Service service(console, stop);
    service.setFileRoot(scratchRoot());
    service.setSystemAllowed(false);
    service.setBigEndian(data[0] & 0x80);
    service.setCommandLine("program arguments");
    for (size_t i = 0; i < calls; ++i) {
        const uint8_t op = data[1 + 2 * i];
        const uint32_t operation = op < 0xE0 ? kOperations[op % std::size(kOperations)] : op;
        target.setArguments(operation, FakeTarget::kBase + data[2 + 2 * i]);
        const Result result = service.serve(target);
        if (result.status == Status::AccessFailed) FUZZ_CHECK(result.error == FakeTarget::kAccessFailed);
    }
    service.closeFiles();
    return 0;
}
