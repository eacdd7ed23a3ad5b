// The working-mode dialog, offscreen: range checks, trap boxes, the run-time edit by startup
// mode, and what Close and Escape leave in the document.
#include <QCheckBox>
#include <QLineEdit>

#include "gui_fixture.h"
#include "setup/hex_edit.h"
#include "setup/mode_dialog.h"

namespace tov::setup::test {
namespace {

using ModeDialog = GuiTest;

QLineEdit* runTimeEdit(CModeDlg& d) {
    for (auto* edit : d.findChildren<QLineEdit*>()) {
        if (edit->text() == "2000") return edit;
    }
    return nullptr;
}

TEST_F(ModeDialog, RangesTrapsAndRunTime) {
    CTovDoc doc;
    doc.mode.trapMask = 0xFF;
    whenShown<CModeDlg>([this](CModeDlg& d) {
        EXPECT_EQ(d.windowTitle(), "TOV Working Mode");
        int checked = 0;
        for (auto* box : d.findChildren<QCheckBox*>()) {
            if (box->text() != "Big Endian memory format") checked += box->isChecked();
            if (box->text() == "rsv") {
                EXPECT_FALSE(box->isEnabled());
            }
        }
        EXPECT_EQ(checked, 7);
        auto workspace = d.findChildren<CHexEdit*>();
        ASSERT_EQ(workspace.size(), 1);
        EXPECT_EQ(workspace[0]->text(), "FFFFFFFF");
        EXPECT_FALSE(workspace[0]->isEnabled());

        QLineEdit* runTime = runTimeEdit(d);
        ASSERT_NE(runTime, nullptr);
        EXPECT_FALSE(runTime->isEnabled());
        const auto clickStartup = [&d](const QString& text) {
            for (auto* radio : d.findChildren<QRadioButton*>()) {
                if (radio->text() == text) radio->click();
            }
        };
        clickStartup("Run");
        EXPECT_FALSE(runTime->isEnabled());
        check(d, "Stop");  // as the arrow keys or a screen reader choose it: no click
        EXPECT_TRUE(runTime->isEnabled());
        clickStartup("Run");
        EXPECT_FALSE(runTime->isEnabled());
        clickStartup("Stop");
        EXPECT_TRUE(runTime->isEnabled());
        for (const char* bad : {"99", "32001"}) {
            runTime->setText(bad);
            d.accept();
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(texts().last(), "Please enter an integer between 100 and 32000.");
        }
        // Transmit with a value out of range sends nothing.
        d.onTransmit();
        EXPECT_EQ(d.statusText(), "");
        runTime->setText("1500");
        screenshot(d, "working_mode");
        d.accept();
    });
    runModeDialog(doc, nullptr);
    EXPECT_EQ(doc.mode.trapMask, 0xDFu);
    EXPECT_EQ(doc.mode.runTime, 1500u);
    EXPECT_EQ(doc.mode.startupMode, 1u);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(ModeDialog, CloseWithoutChangeAndEscapeKeepTheDocument) {
    CTovDoc doc;
    whenShown<CModeDlg>([](CModeDlg& d) { d.accept(); });
    runModeDialog(doc, nullptr);
    EXPECT_FALSE(doc.isModified());
    whenShown<CModeDlg>([](CModeDlg& d) {
        check(d, "Hardware");
        d.reject();
    });
    runModeDialog(doc, nullptr);
    EXPECT_EQ(doc.mode.breakMode, 0u);
    EXPECT_FALSE(doc.isModified());
}

}  // namespace
}  // namespace tov::setup::test
