// The RDI library's run control on the simulator's emulated ARM core over UDP: programs loaded
// through the download bracket, stopped by points, steps and the stop request, a console read
// cut short and repeated, and crafted semihosting calls. Each test runs for ARM and for Thumb.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "files/srecord_reader.h"
#include "rdi/config_table.h"
#include "rdi/procedures.h"
#include "tests/integration/arm_program.h"
#include "tests/support/sim_fixture.h"

namespace tov::test {
namespace {

constexpr unsigned kCurrentMode = 255;
constexpr uint32_t kPcBit = 1u << 16;
constexpr uint32_t kCpsrBit = 1u << 17;

// The debugger's console: what the program wrote, and a script for its reads.
struct TestConsole {
    static std::string& output() {
        static std::string text;
        return text;
    }
    static int& characters() {
        static int count = 0;
        return count;
    }
    static std::function<const char*()>& onRead() {
        static std::function<const char*()> script;
        return script;
    }
    static void writeC(RDI_Hif_HostArg*, int c) {
        output() += static_cast<char>(c);
        ++characters();
    }
    static int write(RDI_Hif_HostArg*, const char* buffer, int length) {
        output().append(buffer, static_cast<size_t>(length));
        return 0;
    }
    static char* getS(RDI_Hif_HostArg*, char* buffer, int length) {
        const char* line = onRead() ? onRead()() : nullptr;
        if (!line) return nullptr;
        std::snprintf(buffer, static_cast<size_t>(length), "%s", line);
        return buffer;
    }
};

class RdiOnArmCore : public ::testing::TestWithParam<const char*> {
protected:
    // Each test has its own pair of simulator addresses (ARM, Thumb), so that tests run side by
    // side do not meet.
    void open(int pair) {
        address_ = "127.0.0." + std::to_string(100 + 2 * pair + (thumb() ? 1 : 0));
        sim::SimOptions options;
        options.core = sim::CoreKind::Arm1136;
        options.udpAddress = address_;
        probe_ = std::make_unique<SimOnPty>(options);
        ASSERT_TRUE(probe_->started());
        ASSERT_TRUE(rdi::configUpdate(&config_, "SERIALPORT", "0"));
        ASSERT_TRUE(rdi::configUpdate(&config_, "ETHERNETTARGET", address_.c_str()));
        host_.writec = TestConsole::writeC;
        host_.write = TestConsole::write;
        host_.gets = TestConsole::getS;
        TestConsole::output().clear();
        TestConsole::characters() = 0;
        TestConsole::onRead() = nullptr;
        RDI_AgentHandle agent = nullptr;
        ASSERT_EQ(rdi::openAgent(&agent, 2u << 2, &config_, &host_, nullptr),
                  RDIError_LittleEndian);
        agent_ = agent;
        ASSERT_EQ(rdi::open(module(), 2u << 2, &config_, &host_, nullptr), RDIError_LittleEndian);
    }
    void TearDown() override {
        if (agent_) rdi::closeAgent(agent_);
        rdi::session().setEventPass(nullptr);
        rdi::session().setYieldCallback(nullptr, nullptr);
        rdi::session().rdiVersion = 150;
        rdi::configClear(&config_);
    }

    bool thumb() const { return std::string(GetParam()) == "thumb"; }
    uint32_t instructionSize() const { return thumb() ? 2 : 4; }
    ArmProgram program(const std::string& name) const { return ArmProgram(name, GetParam()); }
    RDI_ModuleHandle module() const { return &rdi::session().module(); }

    // Loads the program through the download bracket and points the PC at its entry.
    void load(const ArmProgram& program) {
        ARMword unused = 0;
        ASSERT_EQ(rdi::info(module(), RDIInfo_BeginDownload, &unused, nullptr), 0);
        files::SRecordReader reader;
        ASSERT_TRUE(reader.open(program.srecords().c_str()));
        files::SRecord record;
        while (reader.next(record) == files::SRecordReader::Status::kRecord) {
            unsigned count = record.length;
            ASSERT_EQ(rdi::write(module(), record.data, record.address, &count, 0), 0);
        }
        ASSERT_EQ(rdi::info(module(), RDIInfo_EndDownload, &unused, nullptr), 0);
        ASSERT_TRUE(program.entry());
        setRegisters(kPcBit, {*program.entry()});
    }
    void setRegisters(uint32_t mask, std::vector<ARMword> values) {
        ASSERT_EQ(rdi::cpuWrite(module(), kCurrentMode, mask, values.data()), 0);
    }
    ARMword reg(unsigned number) {
        ARMword value = 0;
        EXPECT_EQ(rdi::cpuRead(module(), kCurrentMode, 1u << number, &value), 0);
        return value;
    }
    ARMword pc() { return reg(16); }
    int execute() {
        RDI_ModuleHandle returned = nullptr;
        RDI_PointHandle point = 0;
        const int rc = rdi::execute(agent_, &returned, 0, &point);
        EXPECT_EQ(returned, module());
        EXPECT_EQ(point, static_cast<RDI_PointHandle>(-1));
        return rc;
    }
    // Raises the stop request from another thread after `delay`.
    std::thread stopAfter(std::chrono::milliseconds delay) {
        return std::thread([delay] {
            std::this_thread::sleep_for(delay);
            ARMword unused = 0;
            rdi::info(nullptr, RDISignal_Stop, &unused, nullptr);
        });
    }
    void writeMemory(uint32_t address, std::vector<uint8_t> bytes) {
        unsigned count = static_cast<unsigned>(bytes.size());
        ASSERT_EQ(rdi::write(module(), bytes.data(), address, &count, 0), 0);
    }

    std::string address_;
    std::unique_ptr<SimOnPty> probe_;
    ConfigTable config_ = {};
    RDI_HostosInterface host_ = {};
    RDI_AgentHandle agent_ = nullptr;
};

TEST_P(RdiOnArmCore, HelloWorldRunsToItsEndOnTheDebuggersConsole) {
    open(0);
    load(program("hello"));
    EXPECT_EQ(execute(), RDIError_TargetStopped);
    EXPECT_EQ(TestConsole::output(), "Hello, world!\n");
}

TEST_P(RdiOnArmCore, BreakpointStepAndWatchpointStopTheBusyLoop) {
    open(1);
    const ArmProgram busy = program("busy_loop");
    load(busy);
    const uint32_t tick = busy.symbol("tick").value();
    const uint32_t ticks = busy.symbol("ticks").value();
    RDI_PointHandle point = 0;
    ASSERT_EQ(rdi::setBreak(module(), tick, thumb() ? RDIPoint_16Bit : RDIPoint_EQ, 0, 0, &point),
              0);
    EXPECT_EQ(execute(), RDIError_BreakpointReached);
    EXPECT_EQ(pc(), tick);
    EXPECT_EQ(rdi::clearBreak(module(), point), 0);
    EXPECT_EQ(rdi::clearBreak(module(), point), RDIError_NoSuchPoint);

    RDI_ModuleHandle returned = nullptr;
    EXPECT_EQ(rdi::step(agent_, &returned, 0, 10, &point), 0);
    EXPECT_EQ(pc(), tick + instructionSize());

    ASSERT_EQ(rdi::setWatch(module(), ticks, RDIPoint_EQ, RDIWatch_WordWrite, 0, 0, &point), 0);
    EXPECT_EQ(execute(), RDIError_WatchpointAccessed);
    EXPECT_EQ(rdi::clearWatch(module(), point), 0);
}

TEST_P(RdiOnArmCore, StopRequestEndsTheBusyLoopWhileTheDebuggerYields) {
    open(2);
    load(program("busy_loop"));
    static std::atomic<int> yields;
    static std::atomic<int> passes;
    yields = 0;
    passes = 0;
    rdi::session().setEventPass([] { ++passes; });
    rdi::session().setYieldCallback([](WinRDI_YieldArg*) { ++yields; }, nullptr);
    std::thread stopper = stopAfter(std::chrono::milliseconds(300));
    EXPECT_EQ(execute(), RDIError_UserInterrupt);
    stopper.join();
    EXPECT_GT(yields.load(), 0);
    EXPECT_EQ(passes.load(), 0);

    // Without a callback, version 150 runs the event pass between polls; 151 does not yield.
    rdi::session().setYieldCallback(nullptr, nullptr);
    stopper = stopAfter(std::chrono::milliseconds(200));
    EXPECT_EQ(execute(), RDIError_UserInterrupt);
    stopper.join();
    const int passesAt150 = passes.load();
    EXPECT_GT(passesAt150, 0);
    rdi::session().rdiVersion = 151;
    stopper = stopAfter(std::chrono::milliseconds(200));
    EXPECT_EQ(execute(), RDIError_UserInterrupt);
    stopper.join();
    EXPECT_EQ(passes.load(), passesAt150);
}

TEST_P(RdiOnArmCore, ConsoleReadCutByAStopIsRepeatedOnResumption) {
    open(3);
    load(program("console_read"));
    // The user stops the program while it waits for its line.
    TestConsole::onRead() = []() -> const char* {
        ARMword unused = 0;
        rdi::info(nullptr, RDISignal_Stop, &unused, nullptr);
        return nullptr;
    };
    EXPECT_EQ(execute(), RDIError_UserInterrupt);
    const ARMword call = pc();
    uint8_t instruction[4] = {};
    unsigned count = 4;
    ASSERT_EQ(rdi::read(module(), call, instruction, &count, 0), 0);
    const std::vector<uint8_t> semihosting = thumb() ? std::vector<uint8_t>{0xAB, 0xDF}
                                                     : std::vector<uint8_t>{0x56, 0x34, 0x12, 0xEF};
    EXPECT_EQ(std::vector<uint8_t>(instruction, instruction + semihosting.size()), semihosting);

    int reads = 0;
    TestConsole::onRead() = [&reads] {
        ++reads;
        return "Ada\n";
    };
    EXPECT_EQ(execute(), RDIError_TargetStopped);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(TestConsole::output(), "name? echo: Ada\n");
}

// Calls made by hand: the call at 0x1000, its result kept in r4, then an exception report that
// ends the run with 163.
TEST_P(RdiOnArmCore, CraftedCallsOutOfRangeUnknownAndOnUnopenedHandles) {
    open(4);
    if (thumb()) {
        writeMemory(0x1000, {0xAB, 0xDF,    // svc 0xab
                             0x04, 0x1C,    // adds r4, r0, #0
                             0x18, 0x20,    // movs r0, #0x18
                             0xAB, 0xDF});  // svc 0xab
    } else {
        writeMemory(0x1000, {0x56, 0x34, 0x12, 0xEF,    // svc 0x123456
                             0x00, 0x40, 0xA0, 0xE1,    // mov r4, r0
                             0x18, 0x00, 0xA0, 0xE3,    // mov r0, #0x18
                             0x56, 0x34, 0x12, 0xEF});  // svc 0x123456
    }
    const ARMword cpsr = 0x1D3 | (thumb() ? 0x20 : 0);
    writeMemory(0x3000, std::vector<uint8_t>(300, 'a'));
    writeMemory(0x2800, {'h', 'e', 'l', 'l', 'o', 0});
    auto call = [&](uint32_t operation, std::vector<uint32_t> block) {
        std::vector<uint8_t> bytes;
        for (uint32_t word : block)
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(word >> (8 * i)));
        if (!bytes.empty()) writeMemory(0x2000, bytes);
        setRegisters(0x3 | kPcBit | kCpsrBit,
                     {operation, block.empty() ? 0x2800u : 0x2000u, 0x1000, cpsr});
        return execute();
    };
    EXPECT_EQ(call(1, {0x3000, 0, 261}), RDIError_SoftwareInterrupt);  // name too long
    EXPECT_EQ(pc(), 0x1000 + instructionSize());  // left halted after the call
    EXPECT_EQ(call(1, {0x3000, 12, 3}), RDIError_SoftwareInterrupt);   // no such mode
    EXPECT_EQ(call(0x99, {}), RDIError_SoftwareInterrupt);             // no such operation

    EXPECT_EQ(call(4, {}), RDIError_TargetStopped);  // write string at 0x2800
    EXPECT_EQ(TestConsole::output(), "hello");
    EXPECT_EQ(TestConsole::characters(), 5);
    EXPECT_EQ(reg(4), 4u);  // r0 left as it was
    for (auto [operation, handle] : {std::pair{2u, 7u}, {10u, 1u}, {12u, 1u}, {12u, 9u}}) {
        EXPECT_EQ(call(operation, {handle, 0}), RDIError_TargetStopped);
        EXPECT_EQ(reg(4), 0xFFFFFFFFu) << operation << " on " << handle;
    }
}

INSTANTIATE_TEST_SUITE_P(States, RdiOnArmCore, ::testing::Values("arm", "thumb"));

}  // namespace
}  // namespace tov::test
