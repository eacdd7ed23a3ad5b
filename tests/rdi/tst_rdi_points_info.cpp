// The RDI procedures' requests byte for byte on a scripted probe: points with their types and
// modes, the step, the information codes with their settings, log lines and coprocessor
// descriptions; and the stop-code table by family.
#include <gtest/gtest.h>

#include "captured_log.h"

#include <cstring>
#include <string>
#include <vector>

#include "rdi/procedures.h"
#include "rdi/stop_codes.h"
#include "tests/support/scripted_transport.h"

namespace tov::test {
namespace {

std::string& logged = CapturedLog::text();

// The library's session on a scripted probe: point identifier 5 exists, every other delete is
// an invalid parameter; register writes and steps succeed.
class ScriptedProcedures : public ::testing::Test {
protected:
    void SetUp() override {
        auto transport = std::make_unique<ScriptedTransport>([](const Bytes& m) -> std::vector<Bytes> {
            switch (m[0]) {
                case 0xBD:
                case 0xBF:
                    return {{m[0], 0, 0, 0, 5}};
                case 0xBE:
                case 0xC0:
                    if (m[2] == 5) return {{m[0], 0, 0}};
                    return {{m[0], 0xFB, 0x4E}};  // -1202
                case 0xB7:
                    return {{0xB7, 0, 0}};
                case 0xBC:
                    return {{0xBC, 0, 0, 0, 0, 0, 1}};
                case 0x82:
                    return {{0x82}};
                case 0xB4:  // in the error state with cause -2041
                    return {{0xB4, 3, 0xF8, 0x07, 0, 0, 0, 0, 0}};
                default:
                    return {};
            }
        });
        transport->log = &sent;
        s.connection().link().adopt(std::move(transport));
        s.setHost(&log.host);
        s.setOpen(true);
        s.callLog = 1;
        s.module().info.family = 40;
        logged.clear();
    }
    void TearDown() override {
        s.callLog = 0;
        s.setOpen(false);
        s.setHost(nullptr);
    }
    std::vector<Bytes> messages() const {
        std::vector<Bytes> out;
        for (const SentRequest& r : sent) out.push_back(r.message);
        return out;
    }
    RDI_ModuleHandle module() { return &s.module(); }

    rdi::RdiSession& s = rdi::session();
    CapturedLog log;
    std::vector<SentRequest> sent;
};

TEST_F(ScriptedProcedures, PointsCarryTheirTypesModesAndHandles) {
    RDI_PointHandle handle = 0;
    // A Thumb breakpoint at an even address asks for the address with bit 0 set, kind 1.
    EXPECT_EQ(rdi::setBreak(module(), 0x8000, 0x10, 0, 0, &handle), 0);
    EXPECT_EQ(handle, 5u);
    // Only equal-address breakpoints: no request, no exit line.
    EXPECT_EQ(rdi::setBreak(module(), 0x8000, 0x01, 0, 0, &handle), RDIError_UnimplementedType);
    // A masked watchpoint passes the bound as the mask with mode 0x80 plus the access bits.
    EXPECT_EQ(rdi::setWatch(module(), 0x9000, 7, RDIWatch_HalfRead | RDIWatch_WordWrite,
                            0xFFFFFF00, 0, &handle),
              0);
    // An equal-address word write watchpoint: mode 0x40 + 4, size 4.
    EXPECT_EQ(rdi::setWatch(module(), 0x9004, 0, 32, 0, 0, &handle), 0);
    EXPECT_EQ(rdi::setWatch(module(), 0x9004, 3, 32, 0, 0, &handle), RDIError_UnimplementedType);
    EXPECT_EQ(rdi::clearBreak(module(), 5), 0);
    EXPECT_EQ(rdi::clearWatch(module(), 6), RDIError_NoSuchPoint);
    // A count of 10 still steps one instruction.
    RDI_ModuleHandle returned = nullptr;
    EXPECT_EQ(rdi::step(nullptr, &returned, 0, 10, &handle), 0);
    EXPECT_EQ(returned, module());
    EXPECT_EQ(handle, static_cast<RDI_PointHandle>(-1));
    EXPECT_EQ(rdi::step(nullptr, &returned, 1, 1, &handle), RDIError_UnimplementedMessage);

    EXPECT_EQ(messages(),
              (std::vector<Bytes>{
                  {0xBD, 0, 0, 0x80, 0x01, 0, 0, 0, 1},
                  {0xBF, 0, 0x86, 0, 0, 0x90, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0, 0},
                  {0xBF, 0, 0x44, 0, 0, 0x90, 0x04, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0},
                  {0xBE, 0, 5},
                  {0xC0, 0, 6},
                  {0xBC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
              }));
    EXPECT_EQ(logged,
              "RDI_SetBreak(addr=0x00008000, type=0x10) => OKAY (5)\n"
              "RDI_SetBreak(addr=0x00008000, type=0x01)"
              "RDI_SetWatch(addr=0x00009000, bound=0xFFFFFF00, type=0x07, datatype=0x22)"
              " => OKAY (5)\n"
              "RDI_SetWatch(addr=0x00009004, bound=0x00000000, type=0x00, datatype=0x20)"
              " => OKAY (5)\n"
              "RDI_SetWatch(addr=0x00009004, bound=0x00000000, type=0x03, datatype=0x20)"
              " => FAILED (UnimplementedType)\n"
              "RDI_ClearBreak(5) => OKAY\n"
              "RDI_ClearWatch(6) => FAILED (LNK: Invalid function parameter)\n"
              "RDI_Step(n=10) => OKAY\n"
              "RDI_Step(n=1)");
}

TEST_F(ScriptedProcedures, InformationCodesAnswerAndLog) {
    ARMword a1 = 0x200;
    ARMword a2[64] = {};
    a2[0] = 0x77;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_Target, &a1, a2), RDIError_IncompatibleRDILevels);
    EXPECT_EQ(a1, 0x200u);
    EXPECT_EQ(a2[0], 0x77u);
    a1 = 0x100;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_Target, &a1, a2), 0);
    EXPECT_EQ(a1, 0x01009010u);
    EXPECT_EQ(a2[0], 0u);
    a1 = 0;
    a2[0] = 0x55;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_Modules, &a1, a2), 0);
    EXPECT_EQ(a1, 1u);
    EXPECT_EQ(a2[0], 0x55u);
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_MMU, &a1, nullptr), RDIError_UnimplementedMessage);
    EXPECT_EQ(logged,
              "RDI_Info(0, 0x00000200, 0x00000077) => (149, 0x00000200, 0x00000077)\n"
              "RDI_Info(0, 0x00000100, 0x00000077) => (0, 0x01009010, 0x00000000)\n"
              "RDI_Info(28, 0x00000000, 0x00000055) => (0, 0x00000001, 0x00000055)\n"
              "RDI_Info(3, 0x00000001, NULL) => (254, 0x00000001, NULL)\n");

    // Semihosting off writes 0 to the vector register, though the vector stays 8.
    a1 = 0;
    EXPECT_EQ(rdi::info(nullptr, RDISemiHosting_SetState, &a1, nullptr), 0);
    a1 = 9;
    EXPECT_EQ(rdi::info(nullptr, RDISemiHosting_GetState, &a1, nullptr), 0);
    EXPECT_EQ(a1, 0u);
    EXPECT_EQ(rdi::info(nullptr, RDISemiHosting_GetVector, &a1, nullptr), 0);
    EXPECT_EQ(a1, 8u);
    a1 = 1;
    EXPECT_EQ(rdi::info(nullptr, RDISemiHosting_SetState, &a1, nullptr), 0);
    // Vector catch: a CPU type with high byte 0x87 is refused without a request.
    s.module().info.cpuType = 0x8701;
    a1 = 0x1FF;
    EXPECT_EQ(rdi::info(nullptr, RDIVector_Catch, &a1, nullptr), RDIError_UnimplementedMessage);
    s.module().info.cpuType = 0x8812;
    EXPECT_EQ(rdi::info(nullptr, RDIVector_Catch, &a1, nullptr), 0);
    EXPECT_EQ(messages(), (std::vector<Bytes>{
                              {0xB7, 0, 1, 0x02, 0x58, 0x1F, 0xA5, 0, 0, 0, 0},
                              {0xB7, 0, 1, 0x02, 0x58, 0x1F, 0xA5, 0, 0, 0, 8},
                              {0xB7, 0, 1, 0x02, 0x58, 0x1F, 0xA6, 0, 0, 0, 0xFF},
                          }));

    // Coprocessor 15 of CPU type 0x8812 has two entries; coprocessor 14 none.
    a1 = 15;
    std::memset(a2, 0xEE, sizeof a2);
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_RequestCoProDesc, &a1, a2), 0);
    const uint8_t expected[] = {2, 0, 0, 0,                                   // count
                                0, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,   // 0-0:4:1
                                1, 0, 1, 0, 4, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0,   // 1-1:4:3
                                0xEE};
    EXPECT_EQ(std::memcmp(a2, expected, sizeof expected), 0);
    a1 = 14;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_RequestCoProDesc, &a1, a2), RDIError_UnknownCoPro);
    s.module().info.cpuType = 0x8701;
    a1 = 0;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_RequestCoProDesc, &a1, a2), 0);
    EXPECT_EQ(a2[0], 7u);

    // Settings: byte sex, the command line cut at 255 characters, the stop request.
    a1 = 1;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_SetByteSex, &a1, nullptr), 0);
    EXPECT_TRUE(s.bigEndian);
    a1 = 2;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_SetByteSex, &a1, nullptr), 0);
    EXPECT_FALSE(s.bigEndian);
    const std::string longLine(400, 'x');
    EXPECT_EQ(rdi::info(nullptr, RDISet_Cmdline,
                        reinterpret_cast<ARMword*>(const_cast<char*>(longLine.c_str())), nullptr),
              0);
    EXPECT_EQ(s.semihosting().commandLine(), std::string(255, 'x'));
    s.stopRequest = false;
    EXPECT_EQ(rdi::info(nullptr, RDISignal_Stop, &a1, nullptr), 0);
    EXPECT_TRUE(s.stopRequest);
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_GetAddressSetting, &a1, nullptr), 0);
    EXPECT_EQ(a1, 0x20u);

    // The probe's own requests: the state's error cause is mapped, the reset ends a download.
    sent.clear();
    logged.clear();
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_CanTargetExecute, nullptr, nullptr), RDIError_DataAbort);
    s.module().downloadActive = true;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_ForceSystemReset, nullptr, nullptr), 0);
    EXPECT_FALSE(s.module().downloadActive);
    EXPECT_EQ(messages(), (std::vector<Bytes>{{0xB4}, {0x82, 0, 0, 0}}));
    EXPECT_EQ(logged.substr(0, 58),
              "RDI_Info(20, NULL, NULL) CanTargetExecute### Error: ARM: D");

    // The command line request shows its text; the call that switches the log off still ends
    // its line, and the one that switches it on again is not half logged.
    logged.clear();
    char line[] = "prog -v";
    EXPECT_EQ(rdi::info(nullptr, RDISet_Cmdline, reinterpret_cast<ARMword*>(line), nullptr), 0);
    a1 = 0;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_SetLog, &a1, nullptr), 0);
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_Points, &a1, nullptr), 0);
    a1 = 1;
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_SetLog, &a1, nullptr), 0);
    EXPECT_EQ(rdi::info(nullptr, RDIInfo_GetLog, &a1, nullptr), 0);
    EXPECT_EQ(logged,
              "RDI_Info(768, \"prog -v\", NULL) => (0, \"prog -v\", NULL)\n"
              "RDI_Info(2049, 0x00000000, NULL) => (0, 0x00000000, NULL)\n"
              "RDI_Info(2048, 0x00000001, NULL) => (0, 0x00000001, NULL)\n");
}

TEST(StopCodes, ByFamilyCauseAndVector) {
    EXPECT_EQ(rdi::stopCode(40, 0, 0), RDIError_UserInterrupt);
    EXPECT_EQ(rdi::stopCode(33, 0, 0), RDIError_TargetBroken);
    EXPECT_EQ(rdi::stopCode(10, 0, 0), RDIError_BreakpointReached);
    EXPECT_EQ(rdi::stopCode(40, 1, 0), RDIError_BreakpointReached);
    EXPECT_EQ(rdi::stopCode(10, 1, 0), RDIError_WatchpointAccessed);
    EXPECT_EQ(rdi::stopCode(33, 2, 0), RDIError_WatchpointAccessed);
    EXPECT_EQ(rdi::stopCode(40, 9, 0), RDIError_UserInterrupt);
    EXPECT_EQ(rdi::stopCode(10, 9, 0), RDIError_TargetBroken);
    EXPECT_EQ(rdi::stopCode(40, 10, 0), RDIError_TargetBroken);
    // Exceptions by their vector offset: 8 is the software interrupt.
    EXPECT_EQ(rdi::stopCode(33, 5, 8), RDIError_SoftwareInterrupt);
    EXPECT_EQ(rdi::stopCode(10, 4, 0), RDIError_Reset);
    EXPECT_EQ(rdi::stopCode(40, 5, 28), RDIError_FIQ);
    EXPECT_EQ(rdi::stopCode(40, 5, 6), RDIError_TargetBroken);
    EXPECT_EQ(rdi::stopCode(40, 5, 32), RDIError_TargetBroken);
    EXPECT_TRUE(rdi::isSemihostingStop(10, 5));
    EXPECT_TRUE(rdi::isSemihostingStop(40, 9));
    EXPECT_FALSE(rdi::isSemihostingStop(10, 9));
}

}  // namespace
}  // namespace tov::test
