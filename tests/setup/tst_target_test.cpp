// The target test dialog against the simulator: a running target halted, a target held in
// reset, the probe's information lines, and the reset button.
#include <QLabel>

#include "include/tovlink.h"
#include "probe_on_com1.h"
#include "setup/target_test_dialog.h"

namespace tov::setup::test {
namespace {

using TargetTest = ProbeTest;

sim::SimOptions familyAndVersion(uint8_t family, uint16_t version, uint16_t cpu) {
    sim::SimOptions options;
    options.family = family;
    options.firmwareVersion = version;
    options.cpu = cpu;
    return options;
}

TEST_F(TargetTest, RunningTargetIsHaltedAndPasses) {
    startProbe(familyAndVersion(40, 5, 0x8821));
    onProbe([](sim::Probe& p) {
        p.storedSetup().id = "bench board";
        p.storedSetup().time = 1700000000;
        p.target().start();
    });
    CTargetTestDlg dialog;
    dialog.onStart();
    const QStringList lines = dialog.lines();
    ASSERT_GE(lines.size(), 12);
    EXPECT_EQ(lines.mid(0, 5),
              (QStringList{"Connecting to TOV firmware passed", "Reading TOV information passed",
                           "- Firmware:\tV 0.05 for ARM11", "- CPU Type:\tARM1136",
                           "- Setup ID:\tbench board"}));
    EXPECT_TRUE(lines[5].startsWith("- Setup Time:\t"));
    EXPECT_EQ(lines.mid(6, 4),
              (QStringList{"Reading target state passed", "Halting target  passed",
                           "Reading target state passed", "- Target State:\tREADY"}));
    EXPECT_TRUE(lines[10].startsWith("- Reset Time:\t"));
    EXPECT_TRUE(lines[11].startsWith("- Program Counter:\t0x"));
    EXPECT_EQ(lines.last(), "All tests successfully passed");
    EXPECT_FALSE(lines.join("\n").contains(" ..."));
    screenshot(dialog, "target_test");
    onProbe([](sim::Probe& p) { EXPECT_EQ(p.target().state(), sim::TargetState::Ready); });
}

TEST_F(TargetTest, TargetInResetIsAnInvalidState) {
    startProbe(familyAndVersion(40, 0, 0x03C2));
    onProbe([](sim::Probe& p) { p.target().holdInReset(); });
    CTargetTestDlg dialog;
    dialog.onStart();
    const QStringList lines = dialog.lines();
    EXPECT_TRUE(lines.contains("- Firmware:\tV unknown for ARM11"));
    EXPECT_TRUE(lines.contains("- CPU Type:\tunknown"));
    EXPECT_TRUE(lines.contains("- Setup ID:\t"));
    // Setup time 0: no time line.
    for (const QString& line : lines) EXPECT_FALSE(line.startsWith("- Setup Time:"));
    EXPECT_EQ(lines.mid(lines.size() - 2),
              (QStringList{"- Target State:\tRESETED", "### invalid target state"}));

    // Reset Target releases the target: the next test passes.
    dialog.onResetTarget();
    EXPECT_EQ(dialog.lines(),
              (QStringList{"Connecting to TOV firmware passed", "Reseting target passed"}));
    dialog.onStart();
    EXPECT_EQ(dialog.lines().last(), "All tests successfully passed");
}

TEST_F(TargetTest, NoProbeFailsTheFirstStep) {
    startProbe(familyAndVersion(40, 5, 0x8404));
    buildConnectionParameters(1, 0, "");  // COM2: nothing answers
    CTargetTestDlg dialog;
    dialog.onStart();
    EXPECT_EQ(dialog.lines(), QStringList{"Connecting to TOV firmware failed"});
    dialog.onResetTarget();
    EXPECT_EQ(dialog.lines(), QStringList{"Connecting to TOV firmware failed"});
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace tov::setup::test
