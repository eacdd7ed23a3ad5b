// Every request family of both libraries against a probe that answers with garbage, cut and
// wrong-code answers and oversized ones, over the pseudo-terminal and UDP with a few seeds: each
// call returns a code within its time, no caller buffer is written past its end, and a call that
// reports success returned the probe's true memory.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "include/tovlink.h"
#include "rdi/config_table.h"
#include "rdi/procedures.h"
#include "tests/integration/hostile_support.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

enum class Library { Link, Rdi };
enum class Transport { Pty, Udp };

struct HostileCase {
    Library library;
    Transport transport;
    uint64_t seed;
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << (c.library == Library::Link ? "tovlink" : "tovrdi") << " over "
         << (c.transport == Transport::Pty ? "pty" : "udp") << ", seed " << c.seed;
}

std::string caseName(const ::testing::TestParamInfo<HostileCase>& info) {
    return std::string(info.param.library == Library::Link ? "tovlink" : "tovrdi") +
           (info.param.transport == Transport::Pty ? "_pty" : "_udp") + "_seed" +
           std::to_string(info.param.seed);
}

constexpr double kHostileRate = 0.4;
constexpr int kRounds = 2;
constexpr int kOpenAttempts = 25;
constexpr uint32_t kRam = 0x00010000;
constexpr uint32_t kRamFile = 0x00011000;
constexpr uint32_t kFlash = 0x20000000;
constexpr uint32_t kWorkspace = 0x00001000;
constexpr uint32_t kLongCall = 60000;  // the maintenance calls restart the probe

class HostileProbe : public ::testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override {
        const HostileCase& c = GetParam();
        sim::SimOptions options = simAt(115200);
        options.faults.hostile = kHostileRate;
        options.faults.seed = c.seed;
        if (c.transport == Transport::Udp) {
            address_ = "127.0.0." + std::to_string(180 + c.seed % 40 +
                                                   (c.library == Library::Rdi ? 40 : 0));
            options.udpAddress = address_;
        }
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        dir_ = std::filesystem::temp_directory_path() /
               ("tovhostile-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        data_.resize(512);
        for (size_t i = 0; i < data_.size(); ++i) data_[i] = static_cast<uint8_t>(i * 7 + 3);
        ASSERT_TRUE(writeSRecordFile(file("ram.srec"), kRamFile, data_));
        ASSERT_TRUE(writeSRecordFile(file("flash.srec"), kFlash + 0x10000, data_));
    }
    void TearDown() override {
        probe_.reset();
        std::filesystem::remove_all(dir_);
    }

    std::string file(const char* name) const { return (dir_ / name).string(); }
    bool udp() const { return GetParam().transport == Transport::Udp; }
    std::string linkPort() const {
        return udp() ? "NETWORK " + address_ + " 1" : probe_->port();
    }
    sim::Simulator& sim() { return probe_->sim(); }

    // A read that reports success must have returned what the probe holds.
    void expectTrueMemory(const char* what, int32_t rc, uint32_t address,
                          const GuardedBuffer& buffer) {
        if (rc >= 0) {
            EXPECT_EQ(buffer.contents(), sim().peekMemory(address, buffer.size()))
                << what << " reported success with wrong data";
        }
    }

    void runAll(const std::vector<HostileCall>& calls, const std::function<bool()>& reopen,
                bool (*failed)(int32_t), const std::function<bool(int32_t)>& linkLost) {
        bool open = false;
        for (int round = 0; round < kRounds; ++round) {
            for (const HostileCall& call : calls) {
                if (!open && !call.reopensItself) {
                    open = reopen();
                    ASSERT_TRUE(open) << "no open in " << kOpenAttempts << " attempts";
                }
                const uint64_t wrongCodes = sim().stats().wrongCodeAnswers;
                const int32_t rc = timedCall(call, failed, tally_);
                if (call.oneRequest && !failed(rc)) {
                    EXPECT_EQ(sim().stats().wrongCodeAnswers, wrongCodes)
                        << call.name << " took an answer of the wrong code for success";
                }
                if (call.reopensItself || linkLost(rc)) open = false;
            }
        }
        const sim::SimStats stats = sim().stats();
        std::printf("hostile probe: %u calls succeeded, %u failed, %llu hostile answers (%llu of "
                    "the wrong code)\n",
                    tally_.succeeded, tally_.failed,
                    static_cast<unsigned long long>(stats.hostileAnswers),
                    static_cast<unsigned long long>(stats.wrongCodeAnswers));
        EXPECT_GT(stats.hostileAnswers, 20u);
        EXPECT_GT(tally_.failed, 0u);
        EXPECT_GT(tally_.succeeded, 0u);
    }

    std::vector<HostileCall> linkCalls();
    std::vector<HostileCall> rdiCalls();
    bool openRdi();

    std::string address_;
    std::unique_ptr<SimOnPty> probe_;
    std::filesystem::path dir_;
    std::vector<uint8_t> data_;
    CallTally tally_;
    ConfigTable config_ = {};
    RDI_HostosInterface host_{};
};

// Each call below checks its own caller buffers; the request families follow the header's order.
std::vector<HostileCall> HostileProbe::linkCalls() {
    const std::string port = linkPort();
    const uint8_t* data = data_.data();
    auto guarded = [](GuardedBuffer& b, const char* what) {
        EXPECT_TRUE(b.tailIntact()) << what << " wrote past the caller's buffer";
    };
    return {
        {"TOV_Transaction", [=] {
             GuardedBuffer answer(8);
             const uint8_t request[] = {0xC1};
             int32_t rc = TOV_Transaction(1, request, 8, answer.data(), 0);
             guarded(answer, "TOV_Transaction");
             EXPECT_LE(rc, 8);
             return rc;
         }},
        {"TOV_GetPendingEvents", [] { return static_cast<int32_t>(TOV_GetPendingEvents()); }},
        {"TOV_TargetStart", [] { return TOV_TargetStart(); }, 10000, false, true},
        {"TOV_TargetHalt", [] { return TOV_TargetHalt(); }, 10000, false, true},
        {"TOV_TargetReset2", [] { return TOV_TargetReset2(10); }, 10000, false, true},
        {"TOV_TargetReset", [] { return TOV_TargetReset(); }, 30000, false, true},
        {"TOV_TargetStep", [=] {
             GuardedBuffer result(4);
             int32_t rc = TOV_TargetStep(0, 0, 10, result.as<uint32_t>());
             guarded(result, "TOV_TargetStep");
             return rc;
         }, 10000, false, true},
        {"TOV_StateGet", [=] {
             GuardedBuffer values(4 * 4), state(2), error(4), value(4);
             uint16_t count = 4;
             int32_t rc = TOV_StateGet(state.as<uint16_t>(), error.as<int32_t>(),
                                       value.as<uint32_t>(), &count, values.as<uint32_t>());
             for (GuardedBuffer* b : {&values, &state, &error, &value})
                 guarded(*b, "TOV_StateGet");
             EXPECT_LE(count, 4);
             return rc;
         }, 10000, false, true},
        {"TOV_TargetStartup", [] {
             const StartupEntry entries[2] = {{1, 0x1000, 2}, {2, 0x2000, 3}};
             return TOV_TargetStartup(0, 0, 2, entries);
         }, 10000, false, true},
        {"TOV_InfoGet", [=] {
             GuardedBuffer info(sizeof(TargetInfo));
             int32_t rc = TOV_InfoGet(info.as<TargetInfo>());
             guarded(info, "TOV_InfoGet");
             if (rc >= 0) {
                 EXPECT_LT(std::strlen(info.as<TargetInfo>()->setupId), 41u);
             }
             return rc;
         }, 10000, false, true},
        {"TOV_SetBdmSpeed", [] { return TOV_SetBdmSpeed(4); }, 10000, false, true},
        {"TOV_RegisterGet/Set", [=] {
             const RegisterDescriptor regs[3] = {{0, 0}, {0, 1}, {0, 15}};
             GuardedBuffer values(3 * 4);
             int32_t rc = TOV_RegisterGet(3, regs, values.as<uint32_t>());
             guarded(values, "TOV_RegisterGet");
             const int32_t set[3] = {1, 2, 3};
             return rc < 0 ? rc : TOV_RegisterSet(3, regs, set);
         }},
        {"TOV_FPRegGet/Set", [=] {
             GuardedBuffer values(3 * 8);
             int32_t rc = TOV_FPRegGet(0, 2, values.data());
             guarded(values, "TOV_FPRegGet");
             return rc < 0 ? rc : TOV_FPRegSet(0, 2, data);
         }},
        {"TOV_VRegGet/Set", [=] {
             GuardedBuffer values(2 * 16);
             int32_t rc = TOV_VRegGet(0, 1, values.data());
             guarded(values, "TOV_VRegGet");
             return rc < 0 ? rc : TOV_VRegSet(0, 1, data);
         }},
        {"TOV_MemoryWrite", [=] { return TOV_MemoryWrite(kRam, 0, 300, data); }},
        {"TOV_MemoryRead", [this, guarded] {
             GuardedBuffer buffer(1500);
             int32_t rc = TOV_MemoryRead(kRam, 0, 1500, buffer.data());
             guarded(buffer, "TOV_MemoryRead");
             expectTrueMemory("TOV_MemoryRead", rc, kRam, buffer);
             return rc;
         }, 20000},
        {"TOV_Get/Set Byte/Word/Long", [=] {
             GuardedBuffer b(1), w(2), l(4);
             int32_t rc = TOV_GetByte(kRam, b.data());
             if (rc >= 0) rc = TOV_GetWord(kRam, w.as<uint16_t>());
             if (rc >= 0) rc = TOV_GetLong(kRam, l.as<uint32_t>());
             guarded(b, "TOV_GetByte");
             guarded(w, "TOV_GetWord");
             guarded(l, "TOV_GetLong");
             if (rc >= 0) rc = TOV_SetByte(kRam + 8, 0x5A);
             if (rc >= 0) rc = TOV_SetWord(kRam + 10, 0x1234);
             if (rc >= 0) rc = TOV_SetLong(kRam + 12, 0x89ABCDEF);
             return rc;
         }, 30000},
        {"TOV_Break*", [=] {
             int32_t id = TOV_BreakAdd(kRam + 0x100, 0);
             GuardedBuffer value(4);
             int32_t rc = TOV_BreakRead(static_cast<uint16_t>(id < 0 ? 0 : id),
                                        value.as<uint32_t>());
             guarded(value, "TOV_BreakRead");
             return rc < 0 ? rc : TOV_BreakDelete(id);
         }, 20000},
        {"TOV_Watch*", [] {
             int32_t id = TOV_WatchAdd(1, kRam, kRam + 4, 0, 0);
             return id < 0 ? id : TOV_WatchDelete(id);
         }},
        {"TOV_Terminal*", [=] {
             GuardedBuffer text(1500);
             int32_t rc = TOV_TerminalRead(reinterpret_cast<char*>(text.data()));
             guarded(text, "TOV_TerminalRead");
             return rc < 0 ? rc : TOV_TerminalWrite('x');
         }},
        {"TOV_Channel*", [=] {
             GuardedBuffer buffer(64);
             int32_t rc = TOV_ChannelRead(1, 64, buffer.data());
             guarded(buffer, "TOV_ChannelRead");
             EXPECT_LE(rc, 64);
             return rc < 0 ? rc : TOV_ChannelWrite(1, 32, data);
         }},
        {"TOV_DirectCommand", [=] {
             GuardedBuffer reply(16);
             int32_t rc = TOV_DirectCommand("help", 16, reinterpret_cast<char*>(reply.data()));
             guarded(reply, "TOV_DirectCommand");
             return rc;
         }, 10000, false, true},
        {"TOV_*Download", [=] {
             int32_t rc = TOV_InitDownload(0, 1);
             if (rc >= 0) rc = TOV_Download(kRam + 0x2000, 512, data);
             GuardedBuffer detail(4);
             const int32_t end = TOV_EndDownload(detail.as<uint32_t>());
             guarded(detail, "TOV_EndDownload");
             return rc < 0 ? rc : end;
         }, 30000},
        {"TOV_Load/VerifyBlock", [=] {
             GuardedBuffer result(4);
             int32_t rc = TOV_LoadBlock(kRam + 0x3000, 256, data, result.as<uint32_t>());
             if (rc >= 0) rc = TOV_VerifyBlock(kRam + 0x3000, 256, data, result.as<uint32_t>());
             guarded(result, "TOV_LoadBlock");
             return rc;
         }, 20000},
        {"TOV_Load/VerifyFile", [this, guarded] {
             GuardedBuffer detail(4);
             const std::string path = file("ram.srec");
             int32_t rc = TOV_LoadFile(path.c_str(), detail.as<uint32_t>());
             if (rc >= 0) rc = TOV_VerifyFile(path.c_str(), detail.as<uint32_t>());
             if (rc >= 0) rc = TOV_LoadFile2(path.c_str(), 0x100, detail.as<uint32_t>());
             if (rc >= 0) rc = TOV_VerifyFile2(path.c_str(), 0x100, detail.as<uint32_t>());
             guarded(detail, "TOV_LoadFile");
             return rc;
         }, 40000},
        {"TOV_DumpBlock", [this, guarded] {
             GuardedBuffer buffer(700);
             int32_t rc = TOV_DumpBlock(kRam, 700, buffer.data());
             guarded(buffer, "TOV_DumpBlock");
             expectTrueMemory("TOV_DumpBlock", rc, kRam, buffer);
             return rc;
         }},
        {"TOV_DumpFile", [this] {
             const std::string path = file("dump.srec");
             int32_t rc = TOV_DumpFile(path.c_str(), kRam, 256);
             return rc < 0 ? rc : TOV_DumpFileFast(path.c_str(), kRam, 2048);
         }, 60000},
        {"TOV_Flash external", [this, guarded] {
             GuardedBuffer result(4);
             int32_t rc = TOV_FlashSetType(2, 0x80000, 0, 32, kWorkspace);
             if (rc >= 0) rc = TOV_FlashEraseSector(kFlash);
             if (rc >= 0) rc = TOV_FlashErase(0, kFlash);
             if (rc >= 0) rc = TOV_FlashWriteBlock(kFlash, 64, data_.data(), result.as<uint32_t>());
             const std::string path = file("flash.srec");
             if (rc >= 0) rc = TOV_FlashWriteFile(path.c_str(), result.as<uint32_t>());
             if (rc >= 0) rc = TOV_FlashWriteFile2(path.c_str(), 0x1000, result.as<uint32_t>());
             guarded(result, "TOV_FlashWriteBlock");
             return rc;
         }, 60000},
        {"TOV_Flash on-chip", [this] {
             uint32_t detail = 0;
             int32_t rc = TOV_FlashSetupHC12(1, 14, 16, 0x40000, kWorkspace);
             if (rc >= 0) rc = TOV_FlashEraseHC12(0x20, 0);
             int32_t other = TOV_FlashSetup555(16, 0, kWorkspace);
             if (other >= 0) other = TOV_FlashErase555(0, 0, 1, 0, kWorkspace);
             if (other >= 0) other = TOV_FlashWrite555(file("ram.srec").c_str(), &detail);
             if (other >= 0) other = TOV_FlashSetupUC3F(25, kWorkspace);
             if (other >= 0) other = TOV_FlashEraseUC3F(0, 5, 1, kWorkspace);
             if (other >= 0) other = TOV_FlashSetupSGFM(0, kWorkspace);
             return rc < 0 ? rc : other;
         }, 60000},
        {"TOV_GetConfiguration", [=] {
             GuardedBuffer d(27), f(14), v(14), m(18), ip(16), mask(16), gw(16);
             auto c = [](GuardedBuffer& b) { return reinterpret_cast<char*>(b.data()); };
             int32_t rc = TOV_GetConfiguration(port.c_str(), c(d), c(f), c(v), c(m), c(ip),
                                               c(mask), c(gw));
             for (GuardedBuffer* b : {&d, &f, &v, &m, &ip, &mask, &gw})
                 guarded(*b, "TOV_GetConfiguration");
             return rc;
         }, kLongCall, true},
        {"TOV_ConfigNetwork", [=] {
             return TOV_ConfigNetwork(port.c_str(), "10.0.0.2", "255.0.0.0", "");
         }, kLongCall, true},
        {"TOV_UpdateFirmwareLogic", [this, port] {
             return TOV_UpdateFirmwareLogic(port.c_str(), (dir_.string() + "/").c_str(), 40, 0);
         }, kLongCall, true},
        {"TOV_Enable/DisableAutoProgHC12", [=] {
             int32_t rc = TOV_EnableAutoProgHC12(port.c_str(), 2, 0, 0, 0, 0, nullptr, 0, 0,
                                                 nullptr, 0, 0, nullptr);
             int32_t off = TOV_DisableAutoProgHC12(port.c_str());
             return rc < 0 ? rc : off;
         }, 2 * kLongCall, true},
    };
}

constexpr unsigned kCurrentMode = 255;
constexpr uint32_t kCpuMask = 0x3FFFF;  // r0-r15, PC and CPSR

bool HostileProbe::openRdi() {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        rdi::closeAgent(nullptr);
        RDI_AgentHandle agent = nullptr;
        const int rc = rdi::openAgent(&agent, 2u << 2, &config_, &host_, nullptr);
        if (rc != RDIError_LittleEndian && rc != RDIError_BigEndian) continue;
        const int opened = rdi::open(&rdi::session().module(), 2u << 2, &config_, &host_, nullptr);
        if (opened == RDIError_LittleEndian || opened == RDIError_BigEndian) return true;
    }
    return false;
}

std::vector<HostileCall> HostileProbe::rdiCalls() {
    RDI_ModuleHandle module = &rdi::session().module();
    const uint8_t* data = data_.data();
    auto guarded = [](GuardedBuffer& b, const char* what) {
        EXPECT_TRUE(b.tailIntact()) << what << " wrote past the caller's buffer";
    };
    auto infoCall = [module](unsigned type, ARMword value) {
        return [module, type, value] {
            ARMword arg = value;
            return static_cast<int32_t>(rdi::info(module, type, &arg, nullptr));
        };
    };
    return {
        {"RDI_Open warm", [module] {
             return static_cast<int32_t>(
                 rdi::open(module, RDIOpen_Warm | (2u << 2), nullptr, nullptr, nullptr));
         }},
        {"RDI_Read", [this, module, guarded] {
             GuardedBuffer buffer(2000);
             unsigned count = 2000;
             int32_t rc = rdi::read(module, kRam, buffer.data(), &count, 0);
             guarded(buffer, "RDI_Read");
             expectTrueMemory("RDI_Read", rc == 0 ? 0 : -1, kRam, buffer);
             return rc;
         }, 20000},
        {"RDI_Write", [module, data] {
             unsigned count = 300;
             return static_cast<int32_t>(rdi::write(module, data, kRam, &count, 0));
         }},
        {"RDI_CPURead/Write", [module, guarded] {
             GuardedBuffer state(18 * 4);
             int32_t rc = rdi::cpuRead(module, kCurrentMode, kCpuMask, state.as<ARMword>());
             guarded(state, "RDI_CPURead");
             const ARMword r0 = 7;
             return rc != 0 ? rc : rdi::cpuWrite(module, kCurrentMode, 1, &r0);
         }},
        {"RDI_CPRead/Write", [module, guarded] {
             GuardedBuffer state(2 * 4);
             int32_t rc = rdi::cpRead(module, 15, 0x3, state.as<ARMword>());
             guarded(state, "RDI_CPRead");
             return rc != 0 ? rc : rdi::cpWrite(module, 15, 0x1, state.as<ARMword>());
         }},
        {"RDI_SetBreak/ClearBreak", [module] {
             RDI_PointHandle handle = 0;
             int32_t rc = rdi::setBreak(module, kRam + 0x100, RDIPoint_EQ, 0, 0, &handle);
             return rc != 0 ? rc : rdi::clearBreak(module, handle);
         }, 20000},
        {"RDI_SetWatch/ClearWatch", [module] {
             RDI_PointHandle handle = 0;
             int32_t rc =
                 rdi::setWatch(module, kRam, RDIPoint_EQ, RDIWatch_ByteRead, 0, 0, &handle);
             return rc != 0 ? rc : rdi::clearWatch(module, handle);
         }, 20000},
        {"RDI_Execute", [] {
             rdi::session().setYieldCallback(
                 [](WinRDI_YieldArg*) { rdi::session().stopRequest = true; }, nullptr);
             RDI_ModuleHandle returned = nullptr;
             RDI_PointHandle point = 0;
             int32_t rc = rdi::execute(nullptr, &returned, 0, &point);
             rdi::session().setYieldCallback(nullptr, nullptr);
             return rc;
         }, 30000},
        {"RDI_Step", [] {
             RDI_ModuleHandle returned = nullptr;
             RDI_PointHandle point = 0;
             return static_cast<int32_t>(rdi::step(nullptr, &returned, 0, 1, &point));
         }, 10000, false, true},
        {"RDIInfo_CanTargetExecute", infoCall(RDIInfo_CanTargetExecute, 0), 10000, false, true},
        {"RDIVector_Catch", infoCall(RDIVector_Catch, 0x1F), 10000, false, true},
        {"RDISemiHosting_SetState", infoCall(RDISemiHosting_SetState, 1), 10000, false, true},
        {"RDISemiHosting_SetVector", infoCall(RDISemiHosting_SetVector, 8), 10000, false,
         true},
        {"RDIInfo_*Download", [module, data] {
             ARMword unused = 0;
             int32_t rc = rdi::info(module, RDIInfo_BeginDownload, &unused, nullptr);
             unsigned count = 512;
             if (rc == 0) rc = rdi::write(module, data, kRam + 0x2000, &count, 0);
             const int32_t end = rdi::info(module, RDIInfo_EndDownload, &unused, nullptr);
             return rc != 0 ? rc : end;
         }, 30000},
        {"RDIInfo_ForceSystemReset", infoCall(RDIInfo_ForceSystemReset, 0), 30000, false, true},
    };
}

TEST_P(HostileProbe, EveryRequestFamilyReturnsACodeInTimeWithinItsBuffers) {
    if (GetParam().library == Library::Link) {
        const std::string port = linkPort();
        runAll(
            linkCalls(),
            [&] {
                for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
                    if (TOV_Connect(port.c_str()) == 0) return true;
                }
                return false;
            },
            [](int32_t rc) { return rc < 0; },
            [](int32_t rc) { return rc == -1201 || rc == -1203; });
        TOV_Close();
    } else {
        if (udp()) {
            ASSERT_TRUE(rdi::configUpdate(&config_, "SERIALPORT", "0"));
            ASSERT_TRUE(rdi::configUpdate(&config_, "ETHERNETTARGET", address_.c_str()));
        } else {
            ::setenv("TOV_COM1", probe_->path().c_str(), 1);
            ASSERT_TRUE(rdi::configUpdate(&config_, "SERIALPORT", "1"));
            ASSERT_TRUE(rdi::configUpdate(&config_, "SERIALLINESPEED", "115200"));
        }
        runAll(
            rdiCalls(), [this] { return openRdi(); },
            [](int32_t rc) {
                return rc != RDIError_NoError && rc != RDIError_LittleEndian &&
                       rc != RDIError_BigEndian;
            },
            [](int32_t rc) { return rc == TOVRDI_LinkError; });
        rdi::closeAgent(nullptr);
        rdi::configClear(&config_);
    }
}

std::vector<HostileCase> cases() {
    std::vector<HostileCase> out;
    for (Library library : {Library::Link, Library::Rdi}) {
        for (Transport transport : {Transport::Pty, Transport::Udp}) {
            for (uint64_t seed : {1u, 2u, 3u}) out.push_back({library, transport, seed});
        }
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Seeds, HostileProbe, ::testing::ValuesIn(cases()), caseName);

}  // namespace
}  // namespace tov::test
