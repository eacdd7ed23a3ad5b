// The setup text file: the exact export, the lenient import and their round trip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "setup/text_file.h"

namespace tov::setup {
namespace {

TEST(TextFile, NewDocumentExportsFourteenCrLfLines) {
    CTovDoc doc;
    EXPECT_EQ(exportText(doc.mode, doc.initList),
              "[MODE]\r\n"
              "ID         \r\n"
              "CPUTYPE    ARM1136\r\n"
              "JTAGCLOCK  3\r\n"
              "TRAPMASK   0x00\r\n"
              "STARTUP    RESET\r\n"
              "RUNTIME    2000\r\n"
              "BREAKMODE  SOFT\r\n"
              "WORKSPACE  0xFFFFFFFF\r\n"
              "ENDIAN     LITTLE\r\n"
              "SCANPRED   0 0\r\n"
              "SCANSUCC   0 0\r\n"
              "\r\n"
              "[INIT]\r\n");
}

TEST(TextFile, InitLinesAndRoundTrip) {
    WorkingMode mode;
    mode.setupId = "Board  rev B ";
    mode.startupMode = 1;
    mode.breakMode = 1;
    mode.jtagClock = 10;
    mode.runTime = 500;
    mode.trapMask = 0xDF;
    mode.bigEndian = 1;
    mode.workspace = 0x10000000;
    mode.scanPredCount = 2;
    mode.scanPredIrLength = 9;
    mode.scanSuccCount = 1;
    mode.scanSuccIrLength = 4;
    CCodeList list;
    list.append(makeItem(kWm32, 0x10000000, 0x12345678, "init"));
    list.append(makeItem(kWcp15, 0x0102, 0x00050078, "mmu; caches"));
    list.append(makeItem(kDelay, 0, 100, ""));
    list.append(makeItem(kNop, 0, 0, "n"));
    list.append(makeItem(kWm8, 0x20, 0x7F, ""));
    list.append(makeItem(kWm16, 0x22, 0xBEEF, ""));
    list.append(makeItem(kWgpr, 13, 0x8000, "sp"));
    list.append(makeItem(kWcpsr, 0, 0xD3, ""));
    const std::string text = exportText(mode, list);
    EXPECT_NE(text.find("\r\nWM32    0x10000000 0x12345678 ;init\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nWCP15   0x0102     0x00050078 ;mmu; caches\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nDELAY              100        ;\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nNOP                           ;n\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nWM8     0x00000020 0x7F       ;\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nWM16    0x00000022 0xBEEF     ;\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nWGPR    13         0x00008000 ;sp\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nWCPSR              0x000000D3 ;\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nTRAPMASK   0xDF\r\n"), std::string::npos);

    WorkingMode back;
    CCodeList backList;
    backList.append(makeItem(kNop, 0, 0, "replaced"));
    const ImportOutcome outcome = importText(text, back, backList);
    EXPECT_TRUE(outcome.listReplaced);
    EXPECT_EQ(back, mode);
    EXPECT_EQ(backList.texts(), list.texts());
}

TEST(TextFile, ImportRules) {
    const auto read = [](std::string_view text) {
        WorkingMode mode;
        mode.runTime = 7;  // values before any "[MODE]" stay
        CCodeList list;
        list.append(makeItem(kNop, 0, 0, "old"));
        importText(text, mode, list);
        return std::pair(mode, list.texts());
    };
    EXPECT_EQ(read("JTAGCLOCK 5\n").first.runTime, 7u);
    EXPECT_EQ(read("[MODE]\nRUNTIME 9\n").first.jtagClock, 0u);
    for (const char* mask : {"0x1F", "31", "037"}) {
        EXPECT_EQ(read(std::string("[MODE]\nTRAPMASK ") + mask + "\n").first.trapMask, 31u);
    }
    EXPECT_EQ(read("[MODE]\nWORKSPACE FFFF0000\n").first.workspace, 0xFFFF0000u);
    EXPECT_EQ(read("[MODE]\nWORKSPACE 0xFFFF0000\n").first.workspace, 0xFFFF0000u);
    EXPECT_EQ(read("[MODE]\nID    a b  \r\n").first.setupId, "a b  ");
    EXPECT_EQ(read("[MODE]\nSTARTUP RUN\nSTARTUP\n").first.startupMode, 0u);
    EXPECT_EQ(read("[MODE]\nSTARTUP run\n").first.startupMode, 0u);
    EXPECT_EQ(read("[MODE]\nBREAKMODE HARD\nENDIAN BIG\nSCANPRED 3 0x10\nJTAGCLOCK x\n").first,
              ([] {
                  WorkingMode m = importDefaults();
                  m.breakMode = 1;
                  m.bigEndian = 1;
                  m.scanPredCount = 3;
                  m.scanPredIrLength = 16;
                  return m;
              }()));
    EXPECT_EQ(read("[MODE]\nRUNTIME 9\n[MODE]\n").first, importDefaults());
    EXPECT_EQ(read("[MODE]\n" + std::string(32, 'I') + "D x\nSTARTUP " + std::string(40, 'R') +
                   "\n")
                  .first,
              importDefaults());

    // Init lines: case-sensitive mnemonics, the comment after the first ";", missing numbers 0.
    EXPECT_EQ(read("[INIT]\nwm32 0x0 0x1\n; WM32 1 2\nWM32 1\nDELAY 010;a;b\nWCP3 2 3\n").second,
              (std::vector<std::string>{"WM32\t00000001\t00000000\t",
                                        "DELAY\t00000000\t00000008\ta;b",
                                        "WCP3\t00000002\t00000003\t"}));
    EXPECT_EQ(read("[INIT]\nNOP ;a\n[INIT]\nNOP ;b\n").second,
              (std::vector<std::string>{"NOP\t00000000\t00000000\tb"}));
    EXPECT_EQ(read("WM32 1 2\n").second, (std::vector<std::string>{"NOP\t00000000\t00000000\told"}));

    std::string many = "[INIT]\n";
    for (int i = 0; i < 300; ++i) many += "WM32 " + std::to_string(i) + " 0\n";
    EXPECT_EQ(read(many).second.size(), 300u);
}

TEST(TextFile, FileMessages) {
    const auto dir = std::filesystem::temp_directory_path() / ("tovtext-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    WorkingMode mode;
    CCodeList list;
    ImportOutcome outcome;
    const std::string missing = (dir / "none.txt").string();
    EXPECT_EQ(importTextFile(missing, mode, list, outcome),
              "File " + missing + " could not be opened !");
    const std::string noDir = (dir / "no" / "x.txt").string();
    EXPECT_EQ(exportTextFile(noDir, mode, list), "File " + noDir + " could not be opened !");
    const std::string good = (dir / "a.txt").string();
    EXPECT_EQ(exportTextFile(good, mode, list), "");
    EXPECT_EQ(importTextFile(good, mode, list, outcome), "");
    EXPECT_TRUE(outcome.listReplaced);
    EXPECT_EQ(importTextFile(dir.string(), mode, list, outcome),
              "File " + dir.string() + " could not be read !");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tov::setup
