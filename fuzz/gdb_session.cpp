// Fuzzes the GDB server's request handling: the input is the client's byte stream, the probe a
// fake whose target is always halted and whose flash takes every batch, so every request's
// arguments are parsed and answered. Long writes go through the fake's bulk download, which
// checks that nothing else reaches the probe while one is open and that its blocks follow on.
#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>

#include "fuzz/support/check.h"
#include "gdb/flash_programmer.h"
#include "gdb/memory_map.h"
#include "gdb/session.h"
#include "gdb/write_run.h"

using namespace tov::gdb;

namespace {

constexpr int32_t kNotAccessible = -2003;

constexpr uint32_t kFlashBase = 0x01000000;
constexpr uint32_t kFlashSize = 0x10000;
// Blocks the fake's download refuses only when it is ended, as a probe reports them.
constexpr uint32_t kRefusedAtEnd = 0xFFE00000u;

class FakeProbe : public Probe {
public:
    ~FakeProbe() override { FUZZ_CHECK(!downloading_); }
    int32_t start() override { return idle(); }
    int32_t halt() override { return idle(); }
    int32_t state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) override {
        idle();
        state = 1;
        error = 0;
        const uint16_t room = count;
        count = std::min<uint16_t>(room, 4);
        for (uint16_t i = 0; i < count; ++i) values[i] = i == 0 ? (polls_++ % 3) : 0x8000 + i;
        return 0;
    }
    int32_t registerGet(uint16_t count, const RegisterDescriptor*, uint32_t* values) override {
        idle();
        for (uint16_t i = 0; i < count; ++i) values[i] = 0x100u * i;
        return 0;
    }
    int32_t registerSet(uint16_t, const RegisterDescriptor*, const int32_t*) override {
        return idle();
    }
    int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) override {
        idle();
        if (address >= 0xFFF00000u) return kNotAccessible;
        for (uint16_t i = 0; i < count; ++i) buffer[i] = static_cast<uint8_t>(address + i);
        return 0;
    }
    int32_t memoryWrite(uint32_t address, uint16_t, const uint8_t*) override {
        idle();
        return address >= 0xFFF00000u ? kNotAccessible : 0;
    }
    int32_t step(uint32_t& pc) override {
        idle();
        pc = 0x8000;
        return 0;
    }
    int32_t reset() override { return idle(); }
    int32_t breakAdd(uint32_t) override { return idle() + ++points_; }
    int32_t breakDelete(int32_t) override { return idle(); }
    int32_t watchAdd(uint16_t, uint32_t, uint32_t) override { return idle() + ++points_; }
    int32_t watchDelete(int32_t) override { return idle(); }
    int32_t directCommand(const std::string& text, std::string& reply) override {
        idle();
        reply = text.substr(0, 64);
        return 0;
    }
    std::string errorText(int32_t) override { return "Target memory not accessible"; }

    int32_t downloadBegin() override {
        idle();
        downloading_ = true;
        started_ = false;
        refused_ = 0;
        return 0;
    }
    int32_t downloadSend(uint32_t address, uint16_t size, const uint8_t*) override {
        FUZZ_CHECK(downloading_);
        FUZZ_CHECK(size > 0 && size <= WriteRun::kBlock);
        FUZZ_CHECK(address % WriteRun::kBlock + size <= WriteRun::kBlock);
        FUZZ_CHECK(!started_ || address == next_);
        FUZZ_CHECK(address + uint64_t{size} <= kFlashBase ||
                   address >= kFlashBase + uint64_t{kFlashSize});
        started_ = true;
        next_ = address + size;
        if (address >= 0xFFF00000u) return kNotAccessible;
        if (address >= kRefusedAtEnd && refused_ == 0) refused_ = address;
        return 0;
    }
    int32_t downloadEnd(uint32_t& detail) override {
        FUZZ_CHECK(downloading_);
        downloading_ = false;
        detail = refused_;
        return refused_ != 0 ? kNotAccessible : 0;
    }

private:
    // Every request but the download's own: none may come while a download is open.
    int32_t idle() const {
        FUZZ_CHECK(!downloading_);
        return 0;
    }

    uint32_t polls_ = 0;
    int32_t points_ = 0;
    bool downloading_ = false;
    bool started_ = false;
    uint32_t next_ = 0;
    uint32_t refused_ = 0;
};

// The client: the input arrives in pieces, then the client goes away.
class FakeChannel : public Channel {
public:
    explicit FakeChannel(std::string_view input) : input_(input) {}
    bool send(std::string_view bytes) override {
        sent_ += bytes.size();
        return true;
    }
    bool receive(std::string& bytes, int) override {
        if (input_.empty()) return false;
        const size_t n = std::min<size_t>(input_.size(), 61);
        bytes.append(input_.substr(0, n));
        input_.remove_prefix(n);
        return true;
    }

private:
    std::string_view input_;
    size_t sent_ = 0;
};

// Flash that takes every batch; each write must lie in the flash region the map gives.
class FakeFlash : public FlashProgrammer {
public:
    FlashFailure program(const FlashBatch& batch) override {
        for (const auto& [address, bytes] : batch.writes) {
            FUZZ_CHECK(address >= kFlashBase &&
                       bytes.size() <= kFlashBase + kFlashSize - uint64_t{address});
        }
        return FlashFailure::None;
    }
};

class NoConsole : public tov::semihost::Console {
public:
    void writeChar(uint8_t) override {}
    size_t writeBlock(std::span<const uint8_t> data) override { return data.size(); }
    size_t readLine(std::span<uint8_t>) override { return 0; }
    int readChar() override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FakeProbe probe;
    NoConsole console;
    std::atomic<bool> stop{false};
    tov::semihost::Service service(console, stop);
    service.setSystemAllowed(false);
    FakeChannel channel({reinterpret_cast<const char*>(data), size});
    SessionOptions options;
    options.packetSize = 0x1000;
    FakeFlash flash;
    options.memoryMap = regionsAroundFlash(kFlashBase, kFlashSize, 0x1000);
    options.flash = &flash;
    Session session(probe, service, stop, channel, options);
    session.serve();
    return 0;
}
