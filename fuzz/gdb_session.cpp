// Fuzzes the GDB server's request handling: the input is the client's byte stream, the probe a
// fake whose target is always halted and whose flash takes every batch, so every request's
// arguments are parsed and answered.
#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>

#include "fuzz/support/check.h"
#include "gdb/flash_programmer.h"
#include "gdb/memory_map.h"
#include "gdb/session.h"

using namespace tov::gdb;

namespace {

constexpr int32_t kNotAccessible = -2003;

class FakeProbe : public Probe {
public:
    int32_t start() override { return 0; }
    int32_t halt() override { return 0; }
    int32_t state(uint16_t& state, int32_t& error, uint16_t& count, uint32_t* values) override {
        state = 1;
        error = 0;
        const uint16_t room = count;
        count = std::min<uint16_t>(room, 4);
        for (uint16_t i = 0; i < count; ++i) values[i] = i == 0 ? (polls_++ % 3) : 0x8000 + i;
        return 0;
    }
    int32_t registerGet(uint16_t count, const RegisterDescriptor*, uint32_t* values) override {
        for (uint16_t i = 0; i < count; ++i) values[i] = 0x100u * i;
        return 0;
    }
    int32_t registerSet(uint16_t, const RegisterDescriptor*, const int32_t*) override { return 0; }
    int32_t memoryRead(uint32_t address, uint16_t count, uint8_t* buffer) override {
        if (address >= 0xFFF00000u) return kNotAccessible;
        for (uint16_t i = 0; i < count; ++i) buffer[i] = static_cast<uint8_t>(address + i);
        return 0;
    }
    int32_t memoryWrite(uint32_t address, uint16_t, const uint8_t*) override {
        return address >= 0xFFF00000u ? kNotAccessible : 0;
    }
    int32_t step(uint32_t& pc) override {
        pc = 0x8000;
        return 0;
    }
    int32_t reset() override { return 0; }
    int32_t breakAdd(uint32_t) override { return ++points_; }
    int32_t breakDelete(int32_t) override { return 0; }
    int32_t watchAdd(uint16_t, uint32_t, uint32_t) override { return ++points_; }
    int32_t watchDelete(int32_t) override { return 0; }
    int32_t directCommand(const std::string& text, std::string& reply) override {
        reply = text.substr(0, 64);
        return 0;
    }
    std::string errorText(int32_t) override { return "Target memory not accessible"; }

private:
    uint32_t polls_ = 0;
    int32_t points_ = 0;
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
    static constexpr uint32_t kBase = 0x01000000;
    static constexpr uint32_t kSize = 0x10000;
    FlashFailure program(const FlashBatch& batch) override {
        for (const auto& [address, bytes] : batch.writes) {
            FUZZ_CHECK(address >= kBase && bytes.size() <= kBase + kSize - uint64_t{address});
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
    options.memoryMap = regionsAroundFlash(FakeFlash::kBase, FakeFlash::kSize, 0x1000);
    options.flash = &flash;
    Session session(probe, service, stop, channel, options);
    session.serve();
    return 0;
}
