// The RDI library's own logic without a probe: the configuration table, the dialog's logic,
// the register translations and the error mapping with its log line.
#include <gtest/gtest.h>

#include "captured_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "rdi/config_dialog.h"
#include "rdi/config_table.h"
#include "rdi/rdi_session.h"
#include "rdi/register_map.h"

namespace tov::rdi {
namespace {

struct Table {
    ConfigTable t = {};
    ~Table() { configClear(&t); }
};

TEST(ConfigTable, SlotsFollowTheHashAndGrowFourfoldWhenAProbeComesBack) {
    Table table;
    // "A": (0 * 29 + 65) * 29 = 1885, slot 1885 & 15 = 13 of the first 16 slots; "ab" is stored
    // upper-cased: ((65 * 29) + 66) * 29 = 56579, slot 3.
    EXPECT_EQ(tagHash("A"), 1885u);
    ASSERT_TRUE(configUpdate(&table.t, "A", "1"));
    ASSERT_EQ(table.t.size, 16);
    EXPECT_STREQ(table.t.entries[13].tag, "A");
    ASSERT_TRUE(configUpdate(&table.t, "ab", "2"));
    EXPECT_STREQ(table.t.entries[3].tag, "AB");
    // "Q": 81 * 29 = 2349, also slot 13, so it goes 8 further on, to slot 5.
    ASSERT_TRUE(configUpdate(&table.t, "Q", "3"));
    EXPECT_STREQ(table.t.entries[5].tag, "Q");
    // "AD" (56637, slot 13 again) probes 13, 5 and comes back to 13: the table grows to 64 and
    // every entry moves to its slot there (1885 & 63 = 29, 2349 & 63 = 45, 56637 & 63 = 61).
    ASSERT_TRUE(configUpdate(&table.t, "AD", "4"));
    ASSERT_EQ(table.t.size, 64);
    EXPECT_STREQ(table.t.entries[29].tag, "A");
    EXPECT_STREQ(table.t.entries[45].tag, "Q");
    EXPECT_STREQ(table.t.entries[61].tag, "AD");
    // Many more entries: every one is still found after the growths they cause.
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(configUpdateInteger(&table.t, ("KEY" + std::to_string(i)).c_str(), i));
    }
    EXPECT_GE(table.t.size, 256);
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(configInteger(&table.t, ("key" + std::to_string(i)).c_str(), -1), i) << i;
    }
    for (const char* tag : {"a", "AB", "q", "ad"}) EXPECT_NE(configLookup(&table.t, tag), nullptr);
}

TEST(ConfigTable, LookupIgnoresCaseWalksParentsAndParsesIntegers) {
    Table parent;
    Table child;
    child.t.parent = &parent.t;
    ASSERT_TRUE(configUpdate(&child.t, "SERIALPORT", "0x10"));
    ASSERT_TRUE(configUpdate(&parent.t, "SERIALLINESPEED", "057600"));
    ASSERT_TRUE(configUpdate(&parent.t, "TOVSTARTUP=7", nullptr));
    ASSERT_TRUE(configUpdate(&child.t, "EMPTY", nullptr));
    EXPECT_STREQ(configLookup(&child.t, "serialport"), "0x10");
    EXPECT_STREQ(configLookup(&child.t, "SerialPort\n"), "0x10");
    EXPECT_EQ(configInteger(&child.t, "serialport", 1), 16);
    // Found from the child although only the parent holds it; a leading 0 is octal.
    EXPECT_EQ(configInteger(&child.t, "SERIALLINESPEED", 9600), 057600);
    EXPECT_EQ(configInteger(&child.t, "TOVSTARTUP", 0), 7);
    EXPECT_STREQ(configLookup(&child.t, "EMPTY"), "");
    EXPECT_EQ(configInteger(&child.t, "EMPTY", 5), 0);
    EXPECT_EQ(configLookup(&parent.t, "SERIALPORT"), nullptr);
    EXPECT_EQ(configInteger(&child.t, "ABSENT", 9600), 9600);
    // Integers are written back in decimal, replacing the old value; ":" steps into a child.
    ASSERT_TRUE(configUpdateInteger(&child.t, "serialport", -3));
    EXPECT_STREQ(configLookup(&child.t, "SERIALPORT"), "-3");
    ASSERT_TRUE(configUpdate(&child.t, "PROBE:NAME", "x"));
    const ConfigEntry* probe = findEntry(&child.t, "probe");
    ASSERT_NE(probe, nullptr);
    ASSERT_NE(probe->child, nullptr);
    EXPECT_STREQ(configLookup(probe->child, "name"), "x");
    EXPECT_STREQ(configLookup(probe->child, "serialport"), "-3");
}

TEST(ConfigDialogModel, ShowsChoicesAndWritesBackWhatWasConfirmedOrLoaded) {
    Table table;
    configUpdate(&table.t, "SERIALPORT", "7");
    configUpdate(&table.t, "SERIALLINESPEED", "4800");
    ConfigDialogModel model;
    model.load(&table.t);
    EXPECT_EQ(model.checkedChannel(), 4);  // Network
    EXPECT_EQ(model.checkedSpeed(), 0);    // 9600
    EXPECT_FALSE(model.haltChecked());
    EXPECT_EQ(model.networkTarget(), "TOV-B01");
    EXPECT_EQ(model.commandPath(), "");

    // Closed without reading the controls: the values as loaded, default host included.
    model.store(&table.t);
    EXPECT_STREQ(configLookup(&table.t, "SERIALPORT"), "7");
    EXPECT_STREQ(configLookup(&table.t, "SERIALLINESPEED"), "4800");
    EXPECT_STREQ(configLookup(&table.t, "ETHERNETTARGET"), "TOV-B01");
    EXPECT_STREQ(configLookup(&table.t, "TOVSTARTUP"), "0");

    // OK with Network, 9600 and Halt checked writes the numbers the buttons stand for.
    const std::string path(259, 'p');
    model.confirm(model.checkedChannel(), model.checkedSpeed(), true, "10.0.0.9", path);
    model.store(&table.t);
    EXPECT_STREQ(configLookup(&table.t, "SERIALPORT"), "0");
    EXPECT_STREQ(configLookup(&table.t, "SERIALLINESPEED"), "9600");
    EXPECT_STREQ(configLookup(&table.t, "TOVSTARTUP"), "1");
    EXPECT_STREQ(configLookup(&table.t, "ETHERNETTARGET"), "10.0.0.9");
    EXPECT_EQ(std::string(configLookup(&table.t, "COMMANDPATH")), path);
    model.confirm(2, 3, false, "h", "");
    EXPECT_EQ(model.port(), 3);
    EXPECT_EQ(model.speed(), 57600);
}

std::string listText(const RegisterList& list) {
    std::string text;
    for (uint16_t i = 0; i < list.count; ++i) {
        text +=
            std::to_string(list.items[i].group) + ":" + std::to_string(list.items[i].number) + " ";
    }
    return text;
}

TEST(RegisterMap, ModesMasksAndCoprocessorNumbering) {
    const RegisterList current = cpuRegisters(0xFF, 0x1FFFF);
    ASSERT_EQ(current.count, 16);
    EXPECT_EQ(listText(current),
              "600:0 600:1 600:2 600:3 600:4 600:5 600:6 600:7 600:8 600:9 600:10 600:11 "
              "600:12 600:13 600:14 600:15 ");
    EXPECT_EQ(listText(cpuRegisters(0x11, 0x40000)), "605:0 ");
    EXPECT_EQ(listText(cpuRegisters(0x10, 0x40000)), "601:0 ");
    EXPECT_EQ(listText(cpuRegisters(0, 0x40000)), "601:0 ");
    EXPECT_EQ(listText(cpuRegisters(0x1F, 0x6000)), "603:13 603:14 ");
    EXPECT_EQ(listText(cpuRegisters(0x0F, 0x2000)), "603:13 ");
    EXPECT_EQ(listText(cpuRegisters(0x13, 0x68001)), "606:0 601:0 607:0 ");  // bit 15 dropped
    EXPECT_EQ(listText(cpuRegisters(0x12, 0x20100)), "610:8 601:0 ");
    EXPECT_EQ(listText(cpuRegisters(0x17, 0x40000)), "609:0 ");
    EXPECT_EQ(listText(cpuRegisters(0x1B, 0x40001)), "612:0 613:0 ");

    EXPECT_EQ(listText(coprocessorRegisters(0, 0x80000005, 0x1234, {})), "602:0 602:2 602:31 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 1u << 6, 0x8802, {1, 3})), "614:275 ");  // 0x113
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x26D, 0x8801, {0, 0})),
              "614:0 614:4770 614:4099 614:4101 614:4102 614:9 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x26D, 0x8801, {1, 0})),
              "614:256 614:20911 614:29103 614:12293 614:12294 614:265 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x401, 0x8803, {1, 0})), "614:8 614:55 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x401, 0x8803, {0, 0})), "614:0 614:58 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x2002041, 0x8811, {0, 9})),
              "614:0 614:17 614:269 614:281 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x2021, 0x8813, {1, 0})),
              "614:256 614:261 614:269 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x3, 0x8821, {1, 0})), "614:8192 614:8193 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x8007, 0x8880, {1, 0})),
              "614:8192 614:8193 614:2 614:271 ");
    EXPECT_EQ(listText(coprocessorRegisters(15, 0x7, 0x8704, {1, 0})), "614:0 614:1 614:2 ");
    EXPECT_EQ(coprocessorRegisters(15, 0xFF, 0x8701, {}).count, 0);
    EXPECT_EQ(coprocessorRegisters(14, 0xFF, 0x8821, {}).count, 0);
}

std::string& captured = test::CapturedLog::text();

TEST(RdiSession, MapsProbeCodesAndLogsEveryErrorWhateverTheCallLog) {
    test::CapturedLog log;
    RdiSession& s = session();
    s.setHost(&log.host);
    s.callLog = 0;
    captured.clear();
    EXPECT_EQ(s.mapError(0), RDIError_NoError);
    EXPECT_EQ(captured, "");
    const std::pair<int32_t, int> table[] = {
        {-2041, 5},   {-2042, 162}, {-2043, 162}, {-2104, 148}, {-2000, 162}, {-2201, 162},
        {-1999, 200}, {-1201, 200}, {-1001, 200}, {-1207, 200}, {-5, 200},
    };
    for (const auto& [code, rdi] : table) EXPECT_EQ(s.mapError(code), rdi) << code;
    EXPECT_TRUE(captured.starts_with("### Error: ARM: Data abort (bus error)\n### Error: "))
        << captured;
    // The RDI library's own texts: the link's rows carry "LNK:".
    EXPECT_NE(captured.find("### Error: LNK: No response from TOV\n"), std::string::npos);
    EXPECT_NE(captured.find("### Error: TOV: Unknown error number (-2042)\n"), std::string::npos);
    // The call-log lines only with the switch on.
    captured.clear();
    s.trace("RDI_Read(0x%08lX, %u, %u)", 0x10UL, 4u, 0u);
    s.traceExit(-2041);
    EXPECT_EQ(captured, "");
    s.callLog = 1;
    s.trace("RDI_Read(0x%08lX, %u, %u)", 0x10UL, 4u, 0u);
    s.traceExit(-2041);
    EXPECT_EQ(captured, "RDI_Read(0x00000010, 4, 0) => FAILED (ARM: Data abort (bus error))\n");
    s.callLog = 0;
    s.setHost(nullptr);
}

TEST(RdiSession, ByteSexResults) {
    RdiSession& s = session();
    struct Case {
        bool big;
        unsigned requested;
        int result;
        int stored;
    };
    for (const Case& c : {Case{true, 0, 130, 0}, Case{true, 2, 241, 1}, Case{false, 2, 240, 0},
                          Case{false, 1, 130, 1}, Case{true, 1, 0, 1}, Case{false, 0, 0, 0}}) {
        s.bigEndian = c.big;
        EXPECT_EQ(s.settleByteSex(c.requested << 2), c.result);
        EXPECT_EQ(s.byteSex, c.stored);
    }
    s.bigEndian = false;
    s.byteSex = 2;
}

}  // namespace
}  // namespace tov::rdi
