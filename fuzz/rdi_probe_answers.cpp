// Fuzzes the probe's side of libtovrdi: the RDI procedures run against a probe whose answers,
// events and silences come from the input, through the RDI flavour's own serial framing and
// requests. RDI_Execute meets semihosting stops whose registers and target memory the input
// gives, with the program's files confined to a root beside which a folder must stay untouched
// (the root holds links leading out to it). Caller buffers are exact-size heap blocks; every
// call must end within the line's bounds; a call that succeeds on a single probe request must
// not have taken an answer under another code.
#include <unistd.h>

#include <bit>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/support/check.h"
#include "fuzz/support/fuzzed_probe.h"
#include "include/tovrdi.h"
#include "link/flavour.h"
#include "link/serial_transport.h"
#include "rdi/config_table.h"
#include "rdi/procedures.h"
#include "rdi/register_map.h"
#include "tests/semihost/root_matrix.h"

using tov::fuzz::FuzzedLine;
using tov::fuzz::FuzzInput;
using tov::fuzz::VirtualClock;
namespace rdi = tov::rdi;

namespace {

constexpr int kMaxCalls = 48;
constexpr uint32_t kCpuMaskBits = 0x7FFFF;
constexpr uint32_t kNoSlotBit = 1u << 15;
// The module description as the header lays it out for this build (the handle at byte 20 on a
// 32-bit build, at byte 24 on a 64-bit one).
constexpr size_t kModuleDescription = sizeof(RDI_ModuleDesc);
constexpr size_t kCoprocessorRecordRoom = 256;

struct World {
    VirtualClock clock;
    FuzzInput input{nullptr, 0};
    FuzzedLine line{input, clock};
    std::filesystem::path base;
    std::optional<tov::test::RootLayout> layout;
    std::string outsideBefore;
    bool executed = false;  // whether the program ran, and may have touched files
    ConfigTable config = {};
    RDI_HostosInterface host = {};

    World() {
        // The layout is made again after every run of a program: in memory where it can be.
        const std::filesystem::path shm = "/dev/shm";
        base = (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
               ("tov-fuzz-rdi-" + std::to_string(getpid()));
        layout.emplace(base);
        outsideBefore = layout->outside();
        setenv("TOV_COM1", "/dev/null", 1);
        if (!rdi::configUpdate(&config, "SERIALPORT", "1") ||
            !rdi::configUpdate(&config, "SEMIHOSTINGROOT", layout->root().c_str()) ||
            !rdi::configUpdate(&config, "SEMIHOSTINGSYSTEM", "0"))
            std::abort();
        host.dbgprint = [](RDI_Hif_DbgArg*, const char* format, va_list args) {
            char text[512];
            std::vsnprintf(text, sizeof text, format, args);
        };
        host.writec = [](RDI_Hif_HostArg*, int) {};
        host.write = [](RDI_Hif_HostArg*, const char*, int length) { return length; };
        // The program's console input comes from the fuzz input too.
        host.readc = [](RDI_Hif_HostArg* arg) -> int {
            FuzzInput& in = static_cast<World*>(arg)->input;
            return in.empty() ? -1 : in.u8();
        };
        host.gets = [](RDI_Hif_HostArg* arg, char* buffer, int length) -> char* {
            FuzzInput& in = static_cast<World*>(arg)->input;
            if (in.empty() || length <= 0) return nullptr;
            const std::string line = in.text(static_cast<size_t>(length - 1));
            std::copy(line.begin(), line.end(), buffer);
            buffer[line.size()] = '\0';
            return buffer;
        };
        host.hostosarg = this;
        rdi::useLine(line, clock);
    }
};

World& world() {
    static World instance;
    return instance;
}

// The settings a run may have changed, back to those of a fresh session.
void freshSettings(rdi::RdiSession& s) {
    s.bigEndian = false;
    s.byteSex = 2;
    s.semihostingState = 1;
    s.semihostingVector = 8;
    s.callLog = 1;
    s.cp15 = {};
    s.addressSetting = 0x20;
    s.rdiVersion = 150;
    s.stopRequest = false;
    s.module().info = {};
    s.module().downloadActive = false;
    s.semihosting().setCommandLine("");
    s.semihosting().setTopOfMemory(tov::semihost::Service::kDefaultTopOfMemory);
}

int info(unsigned type, ARMword value, ARMword* arg2 = nullptr) {
    auto word = std::make_unique<ARMword>(value);
    return rdi::info(&rdi::session().module(), type, word.get(), arg2);
}

// One call of the driver; `strict` marks the calls whose success rests on every answer.
int callOne(FuzzInput& in, bool& strict) {
    RDI_ModuleHandle module = &rdi::session().module();
    strict = false;
    const uint32_t address = in.u32();
    switch (in.u8() % 20) {
        case 0:
            return rdi::open(module, in.u8() & 0x1D, nullptr, nullptr, nullptr);
        case 1: {
            const unsigned length = in.flag() ? in.u16() % 0x11000 : in.u8();
            auto buffer = std::make_unique<uint8_t[]>(length);
            auto count = std::make_unique<unsigned>(length);
            strict = true;
            return rdi::read(module, address, buffer.get(), count.get(), in.u8() % 5);
        }
        case 2: {
            const unsigned length = in.flag() ? in.u16() % 0x11000 : in.u8();
            std::vector<uint8_t> data(length, 0x5A);
            auto count = std::make_unique<unsigned>(length);
            strict = !rdi::session().module().downloadActive;
            return rdi::write(module, data.data(), address, count.get(), in.u8() % 5);
        }
        case 3: {
            const uint32_t mask = in.u32() & kCpuMaskBits;
            const unsigned mode = in.flag() ? 255 : in.u8() % 32;
            auto state = std::make_unique<ARMword[]>(std::popcount(mask & ~kNoSlotBit));
            strict = true;
            const int rc = rdi::cpuRead(module, mode, mask, state.get());
            return rc != 0 || in.flag() ? rc : rdi::cpuWrite(module, mode, mask, state.get());
        }
        case 4: {
            const unsigned coprocessor = in.flag() ? 15 : in.u8() % 16;
            const uint32_t mask = in.u32();
            const rdi::RegisterList list = rdi::coprocessorRegisters(
                coprocessor, mask, rdi::session().module().info.cpuType, rdi::session().cp15);
            auto state = std::make_unique<ARMword[]>(list.count);
            strict = true;
            const int rc = rdi::cpRead(module, coprocessor, mask, state.get());
            return rc != 0 || in.flag() ? rc : rdi::cpWrite(module, coprocessor, mask, state.get());
        }
        case 5: {
            auto handle = std::make_unique<RDI_PointHandle>();
            const int rc = rdi::setBreak(module, address, in.u8() % 0x20, 0, 0, handle.get());
            return rc != 0 || in.flag() ? rc : rdi::clearBreak(module, *handle);
        }
        case 6: {
            auto handle = std::make_unique<RDI_PointHandle>();
            const unsigned type = in.u8() % 8, dataType = in.u8() % 64;
            const uint32_t bound = in.u32();
            const int rc = rdi::setWatch(module, address, type, dataType, bound, 0, handle.get());
            return rc != 0 || in.flag() ? rc : rdi::clearWatch(module, *handle);
        }
        case 7:
            return rdi::clearBreak(module, in.u32());
        case 8:
            return rdi::clearWatch(module, in.u32());
        case 9:
        case 10:
        case 11: {
            auto returned = std::make_unique<RDI_ModuleHandle>();
            auto point = std::make_unique<RDI_PointHandle>();
            world().executed = true;
            return rdi::execute(nullptr, returned.get(), in.u8() == 0xFF, point.get());
        }
        case 12: {
            auto returned = std::make_unique<RDI_ModuleHandle>();
            auto point = std::make_unique<RDI_PointHandle>();
            strict = true;
            return rdi::step(nullptr, returned.get(), 0, in.u8(), point.get());
        }
        case 13: {
            static constexpr unsigned kProbeCodes[] = {
                RDIInfo_CanTargetExecute, RDIInfo_ForceSystemReset, RDIVector_Catch,
                RDISemiHosting_SetState, RDISemiHosting_SetVector};
            const unsigned code = kProbeCodes[in.u8() % 5];
            return info(code, in.u32());
        }
        case 14: {
            static constexpr unsigned kSettings[] = {RDIInfo_Target,
                                                     RDIInfo_Points,
                                                     RDIInfo_Step,
                                                     RDIInfo_SemiHosting,
                                                     RDIInfo_SetTopMem,
                                                     RDISignal_Stop,
                                                     RDISemiHosting_GetState,
                                                     RDISemiHosting_GetVector,
                                                     RDIInfo_DownloadBlockSize,
                                                     RDIInfo_GetAddressSetting,
                                                     RDIInfo_SetAddressSetting,
                                                     RDIInfo_GetCacheSelected,
                                                     RDIInfo_SetCacheSelected,
                                                     RDIInfo_GetMemoryArea,
                                                     RDIInfo_SetMemoryArea,
                                                     RDIInfo_GetByteSex,
                                                     RDIInfo_SetByteSex,
                                                     RDIInfo_GetLog,
                                                     RDIInfo_Nothing,
                                                     0x12345u};
            const unsigned code = kSettings[in.u8() % std::size(kSettings)];
            return info(code, in.u32());
        }
        case 15: {
            auto record = std::make_unique<ARMword[]>(kModuleDescription / sizeof(ARMword));
            return info(RDIInfo_Modules, 1, record.get());
        }
        case 16: {
            auto record = std::make_unique<ARMword[]>(kCoprocessorRecordRoom / sizeof(ARMword));
            return info(RDIInfo_RequestCoProDesc, in.u8() % 16, record.get());
        }
        case 17: {
            const std::string line = in.text(300);
            auto text = std::make_unique<char[]>(line.size() + 1);
            std::copy(line.begin(), line.end(), text.get());
            text[line.size()] = '\0';
            return rdi::info(module, RDISet_Cmdline, reinterpret_cast<ARMword*>(text.get()),
                             nullptr);
        }
        case 18: {
            // A download: begin, some writes merged into the buffer, end.
            int rc = info(RDIInfo_BeginDownload, 0);
            for (unsigned n = in.u8() % 4; n > 0 && rc == 0; --n) {
                const unsigned length = in.u16() % 3000;
                std::vector<uint8_t> data(length, 0xA5);
                auto count = std::make_unique<unsigned>(length);
                rc = rdi::write(module, data.data(), address + in.u16(), count.get(), 0);
            }
            const int end = info(RDIInfo_EndDownload, 0);
            return rc != 0 ? rc : end;
        }
        default:
            return rdi::close(module);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World& w = world();
    rdi::RdiSession& s = rdi::session();
    w.input = FuzzInput(data, size);
    freshSettings(s);
    // The program's stop request now and then arrives while it runs.
    s.setYieldCallback(
        [](WinRDI_YieldArg* arg) {
            FuzzInput& in = static_cast<World*>(arg)->input;
            if (in.u8() == 0xFE) rdi::session().stopRequest = true;
        },
        reinterpret_cast<WinRDI_YieldArg*>(&w));

    w.line.counts() = {};
    w.line.counts().startedMs = w.clock.nowMs();
    auto agent = std::make_unique<RDI_AgentHandle>();
    const uint8_t how = w.input.u8();
    int opened;
    if (how & 0x80) {
        opened = rdi::openAgent(agent.get(), how & 0x1C, &w.config, &w.host, nullptr);
    } else {
        // Most runs start on an open line without the connection's handshake, with the target
        // a module open would have described, so that the input goes to the procedures.
        FuzzInput rest = w.input;
        w.input = FuzzInput(nullptr, 0);
        rdi::openAgent(agent.get(), RDIOpen_NoStartup, &w.config, &w.host, nullptr);
        w.input = rest;
        s.connection().link().adopt(std::make_unique<tov::link::SerialTransport>(
            w.line.device(), tov::link::rdiFlavour(), w.clock));
        static constexpr uint16_t kFamilies[] = {10, 33, 40, 2};
        s.module().info.family = kFamilies[how & 3];
        s.module().info.cpuType = w.input.u16();
        opened = RDIError_NoError;
    }
    FUZZ_CHECK(s.semihosting().fileRootProblem().empty());
    if (opened == RDIError_NoError || opened >= RDIError_LittleEndian || w.input.flag()) {
        for (int call = 0; call < kMaxCalls && !w.input.empty(); ++call) {
            w.line.counts() = {};
            w.line.counts().startedMs = w.clock.nowMs();
            bool strict = false;
            const int rc = callOne(w.input, strict);
            const tov::fuzz::LineCounts& seen = w.line.counts();
            // An answer under another code is the wrong answer: no call may succeed on one.
            if (rc == RDIError_NoError && strict) FUZZ_CHECK(seen.wrongCodeRequests.empty());
        }
    }
    rdi::closeAgent(*agent);
    s.setYieldCallback(nullptr, nullptr);

    // No file operation of the program reached beside the root; the root goes back to its
    // first state for the next run.
    if (w.executed) {
        FUZZ_CHECK(w.layout->outside() == w.outsideBefore);
        w.layout.emplace(w.base);
        w.executed = false;
    }
    return 0;
}
