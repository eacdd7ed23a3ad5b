// The texts tov composes itself: the progress bar's sizes, rates, times, lines and redraw
// throttle, and the flash set-up's --type text and description.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "files/flash_plan.h"
#include "flash_setup.h"
#include "progress_text.h"

namespace tov::cli {
namespace {

using std::chrono::milliseconds;

TEST(ProgressText, SizesRatesAndTimesLeft) {
    EXPECT_EQ(formatBytes(0), "0 B");
    EXPECT_EQ(formatBytes(1023), "1023 B");
    EXPECT_EQ(formatBytes(1024), "1.0 KiB");
    EXPECT_EQ(formatBytes(1536), "1.5 KiB");
    EXPECT_EQ(formatBytes(1024 * 1024 - 1), "1024.0 KiB");
    EXPECT_EQ(formatBytes(3 * 1024 * 1024 + 256 * 1024), "3.25 MiB");
    EXPECT_EQ(formatBytes(0xFFFFFFFFull), "4.00 GiB");

    EXPECT_EQ(formatRate(0, 1.0), "-- KiB/s");
    EXPECT_EQ(formatRate(4096, 0.0), "-- KiB/s");
    EXPECT_EQ(formatRate(10240, 2.0), "5.0 KiB/s");
    EXPECT_EQ(formatRate(1000, 1.0), "1.0 KiB/s");

    // 1000 of 4000 bytes in 2 s: 3000 bytes at 500 bytes/s take 6 s.
    EXPECT_EQ(formatTimeLeft(1000, 4000, 2.0), "0:06");
    // A part of a second left counts as a whole one.
    EXPECT_EQ(formatTimeLeft(999, 1000, 1.0), "0:01");
    EXPECT_EQ(formatTimeLeft(1, 1000, 1.0), "16:39");
    EXPECT_EQ(formatTimeLeft(1, 7201, 1.0), "2:00:00");
    EXPECT_EQ(formatTimeLeft(1, 0xFFFFFFFF, 10.0), "99:59:59");
    EXPECT_EQ(formatTimeLeft(0, 1000, 3.0), "--:--");
    EXPECT_EQ(formatTimeLeft(500, 1000, 0.0), "--:--");
    EXPECT_EQ(formatTimeLeft(1000, 1000, 0.0), "0:00");
}

TEST(ProgressText, LineFitsTheWidthAndFillsTheBar) {
    // A wide terminal gets the longest bar, 40 cells.
    const std::string half = formatProgressLine("load", 2048, 4096, 1.0, 120);
    EXPECT_EQ(half, "load [" + std::string(20, '#') + std::string(20, '.') +
                        "]  50%  2.0 KiB / 4.0 KiB     2.0 KiB/s      0:01 left");

    // A narrower terminal gets a shorter bar that fills the line, a very narrow one none at all.
    const std::string narrow = formatProgressLine("load", 2048, 4096, 1.0, 80);
    EXPECT_EQ(narrow.size(), 80u) << narrow;
    const size_t open = narrow.find('[');
    const size_t close = narrow.find(']');
    ASSERT_LT(open, close) << narrow;
    const std::string bar = narrow.substr(open + 1, close - open - 1);
    EXPECT_LT(bar.size(), 40u) << narrow;
    EXPECT_EQ(bar,
              std::string(bar.size() / 2, '#') + std::string(bar.size() - bar.size() / 2, '.'));
    const std::string tiny = formatProgressLine("load", 2048, 4096, 1.0, 40);
    EXPECT_EQ(tiny, "load  50%  2.0 KiB / 4.0 KiB     2.0 KiB/s      0:01 left");

    // An empty file is complete at once; a report beyond the total is shown as the total.
    EXPECT_EQ(formatProgressLine("verify", 0, 0, 0.0, 30),
              "verify 100%  0 B / 0 B      -- KiB/s      0:00 left");
    const std::string over = formatProgressLine("dump", 5000, 4096, 1.0, 120);
    EXPECT_NE(over.find("[" + std::string(40, '#') + "] 100%  4.0 KiB / 4.0 KiB"),
              std::string::npos)
        << over;
    // The line keeps its length as the figures change.
    EXPECT_EQ(formatProgressLine("dump", 12, 4096, 0.5, 80).size(), 80u);
    EXPECT_EQ(formatProgressLine("dump", 2000, 4096, 0.5, 80).size(), 80u);
    // Just short of the total is not shown as complete.
    const std::string almost = formatProgressLine("dump", 4095, 4096, 1.0, 120);
    EXPECT_NE(almost.find("#.]  99%"), std::string::npos) << almost;
}

TEST(ProgressText, MeterDrawsAtMostTenTimesASecondAndTheEndOnce) {
    const ProgressMeter::Clock::time_point t0{};
    ProgressMeter meter("flash", t0);
    EXPECT_FALSE(meter.drawn());
    ASSERT_TRUE(meter.update(0, 1000, t0, 80).has_value());
    EXPECT_TRUE(meter.drawn());
    EXPECT_FALSE(meter.update(100, 1000, t0 + milliseconds(50), 80).has_value());
    EXPECT_FALSE(meter.update(200, 1000, t0 + milliseconds(99), 80).has_value());
    const auto later = meter.update(300, 1000, t0 + milliseconds(100), 80);
    ASSERT_TRUE(later.has_value());
    EXPECT_NE(later->find("30%"), std::string::npos) << *later;
    EXPECT_FALSE(meter.update(400, 1000, t0 + milliseconds(150), 80).has_value());

    // The report that completes is drawn however soon it comes, and only once.
    const auto end = meter.update(1000, 1000, t0 + milliseconds(160), 80);
    ASSERT_TRUE(end.has_value());
    EXPECT_NE(end->find("100%"), std::string::npos) << *end;
    EXPECT_FALSE(meter.update(1000, 1000, t0 + milliseconds(500), 80).has_value());
}

TEST(FlashSetupText, ParsesTheTypeTextAndRefusesAnythingElse) {
    const auto setup = parseFlashSetup("2,0x80000,32,0x20000000");
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->type, 2);
    EXPECT_EQ(setup->chipSize, 0x80000u);
    EXPECT_EQ(setup->busBits, 32);
    EXPECT_EQ(setup->workspace, 0x20000000u);
    EXPECT_EQ(flashSetupText(*setup), "2,0x80000,32,0x20000000");
    EXPECT_EQ(flashSetupText(*parseFlashSetup("36,1048576,64,0")), "36,0x100000,64,0");

    for (const char* bad :
         {"", "2", "2,0x80000,32", "2,0x80000,32,0,1", "2,,32,0", "2, 0x80000,32,0",
          "x,0x80000,32,0", "65536,0x80000,32,0", "2,0x100000000,32,0", "2,0x80000,65536,0",
          "2,0x80000,32,-1", "2;0x80000;32;0"}) {
        EXPECT_FALSE(parseFlashSetup(bad).has_value()) << bad;
    }
}

TEST(FlashSetupText, OnChipSetUpsRoundTripAndBadOnesAreRefused) {
    const auto paged = parseFlashSetup("hc12:17,20,16,0x100000,0x3800,paged");
    ASSERT_TRUE(paged.has_value());
    EXPECT_EQ(paged->kind, FlashKind::kPaged);
    EXPECT_EQ(paged->variant, 17);
    EXPECT_EQ(paged->type, 20);
    EXPECT_EQ(paged->chipSize, 0x100000u);
    EXPECT_TRUE(paged->paged);
    for (const char* text : {"hc12:17,20,16,0x100000,0x3800,paged", "hc12:3,15,8,0x20000,0",
                             "555:16,0x1234,0x3F9800", "uc3f:25,0x1000", "sgfm:0x5,0x20000000"}) {
        EXPECT_EQ(flashSetupText(*parseFlashSetup(text)), text);
    }
    const auto rows = parseFlashSetup("555:16,0x1234,0x3F9800");
    EXPECT_EQ(rows->parameter, 0x1234u);
    EXPECT_NE(describeFlashSetup(*rows).find("workspace:   0x003F9800\n"), std::string::npos);

    for (const char* bad :
         {"hc12:17,20,16,0x100000", "hc12:17,20,16,0x100000,0,banked", "hc12:1,0x8000,16,0,0",
          "555:16,0", "uc3f:25", "sgfm:1,2,3", "flash:1,2", "hc12:", ":1,2"}) {
        EXPECT_FALSE(parseFlashSetup(bad).has_value()) << bad;
    }
}

TEST(FlashSetupText, DescriptionShowsWidthsAndTheBankMask) {
    const std::string type2 = describeFlashSetup({2, 0x80000, 32, 0x20000000});
    EXPECT_NE(type2.find("bus width:   32 bits (4 bytes per access)\n"), std::string::npos);
    EXPECT_NE(type2.find("chip width:  8 bits\n"), std::string::npos);
    EXPECT_NE(type2.find("chips:       4 side by side\n"), std::string::npos);
    EXPECT_NE(type2.find("bank mask:   0xFFE00000\n"), std::string::npos) << type2;
    EXPECT_NE(type2.find("workspace:   0x20000000\n"), std::string::npos);

    // Word chips on a 16-bit bus: one chip, the bank is the chip.
    const std::string type6 = describeFlashSetup({6, 0x100000, 16, 0});
    EXPECT_NE(type6.find("chips:       1 side by side\n"), std::string::npos) << type6;
    EXPECT_NE(type6.find("bank mask:   0xFFF00000\n"), std::string::npos) << type6;
    EXPECT_NE(type6.find("command set B"), std::string::npos);

    // A bank as large as the address space masks nothing.
    const std::string whole = describeFlashSetup({2, 0x80000000, 64, 0});
    EXPECT_NE(whole.find("bank size:   0x400000000 bytes\n"), std::string::npos) << whole;
    EXPECT_NE(whole.find("bank mask:   0x00000000\n"), std::string::npos) << whole;
}

TEST(FlashPlan, SectorsOfTheSetUpAndRunsOfTheFile) {
    // Four byte-wide chips side by side: 64 KiB per chip make 256-KiB sectors on the bus; a
    // 16-bit chip alone on a 16-bit bus has 64-KiB sectors; small chips are one sector each.
    EXPECT_EQ(defaultSectorSize(*parseFlashSetup("2,0x80000,32,0")), 0x40000u);
    EXPECT_EQ(defaultSectorSize(*parseFlashSetup("6,0x100000,16,0")), 0x10000u);
    EXPECT_EQ(defaultSectorSize(*parseFlashSetup("2,0x8000,8,0")), 0x8000u);
    EXPECT_EQ(defaultSectorSize(*parseFlashSetup("34,0x80000,16,0")), 0u);  // chip wider than bus
    EXPECT_TRUE(flashTypeErases(2));
    EXPECT_FALSE(flashTypeErases(34));  // programmed as it is

    // Out of order, with one address given twice (the later byte wins), a gap and a run
    // across a sector boundary.
    const std::vector<files::ImageSegment> segments = {
        {0x20005, {4}}, {0x1FFFE, {1, 2, 3}}, {0x1FFFF, {9}}};
    const files::FlashPlan plan = files::planFlash(segments, 0x10000);
    ASSERT_EQ(plan.units.size(), 2u);
    const auto& low = plan.units.at(0x10000);
    ASSERT_EQ(low.size(), 1u);
    EXPECT_EQ(low[0].address, 0x1FFFEu);
    EXPECT_EQ(low[0].bytes, (std::vector<uint8_t>{1, 9}));
    const auto& high = plan.units.at(0x20000);
    ASSERT_EQ(high.size(), 2u);
    EXPECT_EQ(high[0].address, 0x20000u);
    EXPECT_EQ(high[1].address, 0x20005u);
    EXPECT_EQ(plan.bytesToProgram(), 4u);
}

}  // namespace
}  // namespace tov::cli
